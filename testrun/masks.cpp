// Masking of outputs before they are compared. The fixed masks look only at
// lines holding their marker text, so that a long output costs little.
#include <cctype>
#include <cstring>

#include "masks.h"

namespace {
// A line's form with figures in it: literal texts, and the figures between
// them, each masked as N or kept.
enum class Figure { None, Masked, MaskedDecimal, Kept };
struct Part {
    const char* text;
    Figure after;  // the figure that follows text
};
using Form = std::vector<Part>;

// The figures wsql prints that vary by nature. Matched by hand rather than
// with regular expressions: they are on every statement's lines.
const std::vector<Form>& fixed_forms() {
    static const std::vector<Form> forms = {
        {{"Elapsed time: Prepare ", Figure::Masked}, {" ms.\t Execute ", Figure::Masked},
         {" ms.\t Fetch results ", Figure::Masked}, {" ms.", Figure::None}},
        {{"Elapsed time ", Figure::Masked}, {" ms.", Figure::None}},
        {{"Time taken = ", Figure::MaskedDecimal}, {" sec(s)", Figure::None}},
        {{"Rows selected = ", Figure::Kept}, {". Fetch results ", Figure::Masked},
         {" ms Elapased time ", Figure::Masked}, {" ms Reading more...", Figure::None}},
    };
    return forms;
}

// The length of the figure at line[at] ("-", digits, and with decimal a
// "." and digits); 0 when there is none.
size_t figure_length(const std::string& line, size_t at, bool decimal) {
    size_t end = at;
    if (end < line.size() && line[end] == '-') ++end;
    const size_t digits = end;
    while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end]))) ++end;
    if (end == digits) return 0;
    if (decimal && end < line.size() && line[end] == '.') {
        ++end;
        while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end]))) ++end;
    }
    return end - at;
}

// Matches form at line[at]; on success appends the masked text to out and
// returns the length matched, else 0.
size_t match_form(const std::string& line, size_t at, const Form& form, std::string& out) {
    std::string masked;
    size_t pos = at;
    for (const Part& part : form) {
        const size_t len = std::strlen(part.text);
        if (line.compare(pos, len, part.text) != 0) return 0;
        masked.append(part.text, len);
        pos += len;
        if (part.after == Figure::None) continue;
        const size_t n = figure_length(line, pos, part.after == Figure::MaskedDecimal);
        if (n == 0) return 0;
        masked += part.after == Figure::Kept ? line.substr(pos, n) : "N";
        pos += n;
    }
    out += masked;
    return pos - at;
}

std::string mask_fixed(const std::string& line) {
    std::string out;
    for (size_t at = 0; at < line.size();) {
        size_t matched = 0;
        for (const Form& form : fixed_forms())
            if ((matched = match_form(line, at, form, out)) != 0) break;
        if (matched != 0) {
            at += matched;
        } else {
            out += line[at++];
        }
    }
    return out;
}

const std::regex& build_time() {
    static const std::regex pattern("Compiled on [0-9]{2}:[0-9]{2}:[0-9]{2},[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}");
    return pattern;
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
        // Most lines hold no figure: only those with a form's first letters are looked at.
        if (line.find("Elapsed time") != std::string::npos || line.find("Time taken") != std::string::npos ||
            line.find("Rows selected") != std::string::npos)
            line = mask_fixed(line);
        if (line.find("Compiled on") != std::string::npos) line = std::regex_replace(line, build_time(), "Compiled on DATE");
        for (const std::regex& r : user) line = std::regex_replace(line, r, "<masked>");
        out += line;
        if (ended) out += '\n';
        pos = nl + 1;
    }
    return out;
}
