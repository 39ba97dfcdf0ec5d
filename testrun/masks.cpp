// Masking of outputs before they are compared. The fixed masks look only at
// lines holding their marker text, so that a long output costs little.
#include "masks.h"

namespace {
struct FixedMask {
    const char* marker;  // a line without it is left alone
    std::regex pattern;
    const char* replacement;
};

const std::vector<FixedMask>& fixed_masks() {
    static const std::vector<FixedMask> masks = {
        {"Elapsed time", std::regex("Elapsed time -?[0-9]+ ms\\."), "Elapsed time N ms."},
        {"Elapsed time: Prepare",
         std::regex("Elapsed time: Prepare -?[0-9]+ ms\\.\t Execute -?[0-9]+ ms\\.\t Fetch results -?[0-9]+ ms\\."),
         "Elapsed time: Prepare N ms.\t Execute N ms.\t Fetch results N ms."},
        {"Time taken", std::regex("Time taken = -?[0-9]+(\\.[0-9]*)? sec\\(s\\)"), "Time taken = N sec(s)"},
        {"Rows selected",
         std::regex("(Rows selected = -?[0-9]+\\. Fetch results )-?[0-9]+( ms Elapased time )-?[0-9]+( ms Reading more\\.\\.\\.)"),
         "$1N$2N$3"},
        {"Compiled on", std::regex("Compiled on [0-9]{2}:[0-9]{2}:[0-9]{2},[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}"),
         "Compiled on DATE"},
    };
    return masks;
}

std::string trimmed(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}
}  // namespace

ScriptDirectives read_script_directives(const std::string& text) {
    ScriptDirectives d;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        const std::string line = trimmed(text.substr(pos, nl - pos));
        pos = nl + 1;
        // A comment of the command language ("#") or of SQL ("--").
        size_t mark = line.compare(0, 2, "--") == 0 ? 2 : line.compare(0, 1, "#") == 0 ? 1 : 0;
        if (mark == 0) continue;
        const std::string body = trimmed(line.substr(mark));
        if (body.compare(0, 6, "needs:") == 0) {
            std::string words = body.substr(6);
            for (size_t at = 0; (at = words.find_first_not_of(" \t,", at)) != std::string::npos;) {
                const size_t end = words.find_first_of(" \t,", at);
                d.needs.push_back(words.substr(at, end == std::string::npos ? std::string::npos : end - at));
                at = end;
            }
        } else if (body.compare(0, 5, "mask:") == 0) {
            d.masks.push_back(trimmed(body.substr(5)));
        }
    }
    return d;
}

std::string mask_output(const std::string& text, const std::vector<std::regex>& user) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        const bool ended = nl != std::string::npos;
        if (!ended) nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        for (const FixedMask& m : fixed_masks())
            if (line.find(m.marker) != std::string::npos) line = std::regex_replace(line, m.pattern, m.replacement);
        for (const std::regex& r : user) line = std::regex_replace(line, r, "<masked>");
        out += line;
        if (ended) out += '\n';
        pos = nl + 1;
    }
    return out;
}
