// Fuzz target: the settings file reader on any file contents.
//
// Input: the whole input is the settings file. It is read through a path to
// an in-memory file, as the program reads "./odbcisql.ini": first for the two
// keys the program asks for, then for the section names and key names that
// the file itself holds (so lookups find something), with output buffers of
// exactly the given size around each value's length, so a cut one byte too
// late shows under the address sanitizer. Every value found must be the one
// the file gives when its lines are taken as the settings file format says.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>
#include <vector>

#include "fuzz_util.h"
#include "isqlini.h"

namespace {

constexpr size_t kSectionChars = 125;  // longest section name the reader supports
constexpr size_t kKeyChars = 127;      // longest key name
constexpr size_t kMaxSections = 3;
constexpr size_t kMaxKeys = 5;
constexpr size_t kFullSize = 4096;     // more than any value can hold (lines are cut at 1023)
const char kDefault[] = "\x01not found";

// The blank stripping and comment test on every line of the file, and the
// section names ("[name]" at the start of a line) and key names (the blank
// stripped text before the first "=") that appear in it.
void scan_lines(const std::string& file, std::vector<std::string>& sections,
                std::vector<std::string>& keys) {
    fuzz_for_each_line(file, [&](std::string line, bool) {
        const int comment = IsCommentLine(line.c_str());
        std::string copy = line;
        const char* blank = BlankStrip(copy.data());
        const size_t n = std::strlen(blank);
        FUZZ_CHECK(n == 0 || (blank[0] != ' ' && blank[n - 1] != ' '));
        FUZZ_CHECK(comment == (n == 0 || blank[0] == ';' ? 1 : 0));

        if (line.find('\0') != std::string::npos) return;
        if (!line.empty() && line[0] == '[') {
            const size_t close = line.find(']');
            if (close != std::string::npos && close - 1 <= kSectionChars && sections.size() < kMaxSections)
                sections.push_back(line.substr(1, close - 1));
            return;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || keys.size() >= kMaxKeys) return;
        std::string key = line.substr(0, eq);
        const char* name = BlankStrip(key.data());
        if (std::strlen(name) <= kKeyChars) keys.push_back(name);
    });
}

// The lines of the file as the reader sees them: pieces of at most 1023
// bytes or through a line feed, each ending at its first NUL, the line feed
// removed.
std::vector<std::string> lines_of(const std::string& file) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < file.size()) {
        size_t end = std::min(file.size(), start + kIniLineBytes);
        const size_t nl = file.find('\n', start);
        if (nl != std::string::npos && nl < end) end = nl + 1;
        std::string line = file.substr(start, end - start);
        start = end;
        line.resize(std::strlen(line.c_str()));
        if (!line.empty() && line.back() == '\n') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string stripped(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool comment_or_blank(const std::string& line) {
    const std::string s = stripped(line);
    return s.empty() || s[0] == ';';
}

// The value the file gives section and key, looked up line by line as a
// settings file is read: the first header line equal to "[section]" (ASCII
// case ignored), then the first key line of that section up to the next
// line that starts with "[" and holds a "]" after it.
std::string expected_value(const std::vector<std::string>& lines, const std::string& section,
                           const std::string& key) {
    const std::string header = "[" + section + "]";
    size_t i = 0;
    while (i < lines.size() &&
           (comment_or_blank(lines[i]) || strcasecmp(lines[i].c_str(), header.c_str()) != 0))
        ++i;
    for (++i; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (comment_or_blank(line)) continue;
        const std::string s = stripped(line);
        if (s[0] == '[' && s.find(']', 1) != std::string::npos) break;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (strcasecmp(stripped(line.substr(0, eq)).c_str(), key.c_str()) == 0)
            return stripped(line.substr(eq + 1));
    }
    return kDefault;
}

// One lookup into an output buffer of exactly size bytes.
int lookup(const char* section, const char* key, const char* path, size_t size,
           std::string& value) {
    std::unique_ptr<char[]> out(new char[size]);
    const int n = isql_GetPrivateProfileString(section, key, kDefault, out.get(), size, path);
    FUZZ_CHECK(n >= 0);
    if (size == 0) {
        FUZZ_CHECK(n == 0);
        value.clear();
    } else {
        FUZZ_CHECK(static_cast<size_t>(n) < size);
        FUZZ_CHECK(std::strlen(out.get()) == static_cast<size_t>(n));
        value.assign(out.get(), static_cast<size_t>(n));
    }
    return n;
}

// Looks key up with a large buffer, then with buffers around the value's
// length: the result is the value cut to size - 1 bytes, never more.
void check_lookup(const std::vector<std::string>& lines, const char* section, const char* key,
                  const char* path, bool sweep) {
    std::string full;
    const size_t n = static_cast<size_t>(lookup(section, key, path, kFullSize, full));
    FUZZ_CHECK(full == expected_value(lines, section, key));
    if (full != kDefault) {
        FUZZ_CHECK(full.find('\n') == std::string::npos);
        FUZZ_CHECK(n == 0 || (full[0] != ' ' && full[n - 1] != ' '));
    }
    if (!sweep) return;
    const size_t sizes[] = {0, 1, 2, n > 0 ? n - 1 : 0, n, n + 1};
    for (const size_t size : sizes) {
        std::string cut;
        const size_t got = static_cast<size_t>(lookup(section, key, path, size, cut));
        FUZZ_CHECK(got == (size == 0 ? 0 : std::min(n, size - 1)));
        FUZZ_CHECK(full.compare(0, got, cut) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = fuzz_fill_memfd(data, size);
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);

    const std::string file(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = lines_of(file);

    // The two values the program reads at start-up, with its buffer sizes.
    check_lookup(lines, "Common", "SetLocale", path, false);
    check_lookup(lines, "Common", "About", path, false);
    std::string value;
    lookup("Common", "SetLocale", path, 512, value);
    lookup("Common", "About", path, 4096, value);

    std::vector<std::string> sections;
    std::vector<std::string> keys;
    scan_lines(file, sections, keys);
    bool sweep = true;
    for (const std::string& section : sections) {
        for (const std::string& key : keys) {
            check_lookup(lines, section.c_str(), key.c_str(), path, sweep);
            sweep = false;
        }
    }
    return 0;
}
