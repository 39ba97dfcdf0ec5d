// Fuzz target: the settings file reader on any file contents.
//
// Input: the whole input is the settings file. It is read through a path to
// an in-memory file, as the program reads "./odbcisql.ini": first for the two
// keys the program asks for, then for the section names and key names that
// the file itself holds (so lookups find something), with output buffers of
// exactly the given size around each value's length, so a cut one byte too
// late shows under the address sanitizer. A value found must be a blank
// stripped piece of the file, the same whatever the case of the names asked
// for, and a smaller buffer must get its beginning.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_util.h"
#include "isqlini.h"

namespace {

constexpr size_t kSectionChars = 125;  // longest section name the reader supports
constexpr size_t kKeyChars = 127;      // longest key name
constexpr size_t kFullSize = 4096;     // more than any value can hold (lines are cut at 1023)
const char kDefault[] = "\x01not found";
char gPath[64];                        // the in-memory file, by path

// One lookup into an output buffer of exactly size bytes.
std::string lookup(const std::string& section, const std::string& key, size_t size) {
    std::unique_ptr<char[]> out(new char[size]);
    const int n = isql_GetPrivateProfileString(section.c_str(), key.c_str(), kDefault, out.get(), size,
                                               gPath);
    FUZZ_CHECK(n >= 0 && static_cast<size_t>(n) < std::max<size_t>(size, 1));
    if (size == 0) return std::string();
    FUZZ_CHECK(std::strlen(out.get()) == static_cast<size_t>(n));
    return std::string(out.get(), static_cast<size_t>(n));
}

// The names in upper case: the reader ignores the case of ASCII letters.
std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Looks key up with a large buffer, then, with sweep, with buffers around the
// value's length: the result is the value cut to size - 1 bytes, never more.
void check_lookup(const std::string& file, const std::string& section, const std::string& key,
                  bool sweep) {
    const std::string full = lookup(section, key, kFullSize);
    FUZZ_CHECK(lookup(upper(section), upper(key), kFullSize) == full);
    if (full != kDefault) {
        FUZZ_CHECK(full.find('\n') == std::string::npos && file.find(full) != std::string::npos);
        FUZZ_CHECK(full.empty() || (full.front() != ' ' && full.back() != ' '));
    }
    if (!sweep) return;
    const size_t n = full.size();
    for (const size_t size : {size_t{0}, size_t{1}, size_t{2}, n > 0 ? n - 1 : 0, n, n + 1}) {
        const std::string cut = lookup(section, key, size);
        FUZZ_CHECK(cut.size() == (size == 0 ? 0 : std::min(n, size - 1)));
        FUZZ_CHECK(full.compare(0, cut.size(), cut) == 0);
    }
}

// The section names ("[name]" at the start of a line) and key names (the
// blank stripped text before the first "=") that appear in the file, a few
// of each.
void scan_lines(const std::string& file, std::vector<std::string>& sections,
                std::vector<std::string>& keys) {
    fuzz_for_each_line(file, [&](std::string line, bool) {
        if (line.find('\0') != std::string::npos) return;
        if (line.starts_with('[')) {
            const size_t close = line.find(']');
            if (close != std::string::npos && close - 1 <= kSectionChars && sections.size() < 3)
                sections.push_back(line.substr(1, close - 1));
        } else if (const size_t eq = line.find('='); eq != std::string::npos && keys.size() < 5) {
            line.resize(eq);
            const char* name = BlankStrip(line.data());
            if (std::strlen(name) <= kKeyChars) keys.push_back(name);
        }
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::snprintf(gPath, sizeof gPath, "/proc/self/fd/%d", fuzz_fill_memfd(data, size));
    const std::string file(reinterpret_cast<const char*>(data), size);

    // The two values the program reads at start-up, with its buffer sizes.
    lookup("Common", "SetLocale", 512);
    for (const char* key : {"SetLocale", "About"}) check_lookup(file, "Common", key, false);

    std::vector<std::string> sections, keys;
    scan_lines(file, sections, keys);
    bool sweep = true;
    for (const std::string& section : sections)
        for (const std::string& key : keys) check_lookup(file, section, key, std::exchange(sweep, false));
    return 0;
}
