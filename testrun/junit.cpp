// JUnit XML for CI systems. Names, messages and diffs carry whatever bytes
// the tests produced, so everything written is made into well-formed XML.
#include "junit.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at s[i], or 0 when there is
// none; `maximal` is then the length of its longest valid start (at least
// 1), which becomes one U+FFFD, as decoders commonly do.
size_t utf8_length(const std::string& s, size_t i, size_t& maximal) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;       // overlong
        else if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;       // overlong
        else if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        maximal = 1;
        return 0;
    }
    size_t k = 1;
    for (; k < length && i + k < s.size(); ++k) {
        const unsigned char c = byte(i + k);
        if (k == 1 ? c < low || c > high : c < 0x80 || c > 0xBF) break;
    }
    if (k == length) return length;
    maximal = k;
    return 0;
}

// s with markup escaped and every character XML 1.0 cannot hold replaced.
// In attributes, tabs and line breaks are written as references: a parser
// would turn them into spaces otherwise. A carriage return is one in text
// too, lest it be read as a line end.
std::string escaped(const std::string& s, bool attribute) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) {
            size_t maximal = 0;
            const size_t length = utf8_length(s, i, maximal);
            // U+FFFE and U+FFFF are valid UTF-8 but not XML characters.
            const bool nonCharacter = length == 3 && u == 0xEF && s[i + 1] == '\xBF' &&
                                      (s[i + 2] == '\xBE' || s[i + 2] == '\xBF');
            if (length == 0 || nonCharacter) out += kReplacement;
            else out.append(s, i, length);
            i += length == 0 ? maximal : length;
            continue;
        }
        ++i;
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;  // also keeps "]]>" out of text
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            case '\r': out += "&#13;"; break;
            case '\t': out += attribute ? "&#9;" : "\t"; break;
            case '\n': out += attribute ? "&#10;" : "\n"; break;
            default:
                if (u < 0x20) out += kReplacement;  // the C0 controls XML 1.0 forbids
                else out += c;
        }
    }
    return out;
}

std::string attribute(const char* name, const std::string& value) {
    return std::string(" ") + name + "=\"" + escaped(value, true) + "\"";
}

// Whole milliseconds, for sums that agree with what each case shows;
// negative and not-a-number times count as none.
int64_t milliseconds(double seconds) {
    if (!(seconds > 0)) return 0;
    if (seconds > 1e12) return INT64_C(1000000000000000);
    return std::llround(seconds * 1000);
}

// "S.mmm", built from the integer so that no locale can change the point.
std::string seconds_text(int64_t ms) {
    std::string frac = std::to_string(ms % 1000);
    return std::to_string(ms / 1000) + "." + std::string(3 - frac.size(), '0') + frac;
}

struct Counts {
    size_t tests = 0, failures = 0, skipped = 0;

    void add(JunitCase::Outcome o) {
        ++tests;
        failures += o == JunitCase::Outcome::Failed;
        skipped += o == JunitCase::Outcome::Skipped;
    }
    std::string attributes() const {
        return attribute("tests", std::to_string(tests)) + attribute("failures", std::to_string(failures)) +
               attribute("skipped", std::to_string(skipped));
    }
};

}  // namespace

// One line per element, a failure's details as its text, nothing indented:
// the details are diffs, whose lines must stay as they are.
std::string junit_xml(const std::vector<JunitSuite>& suites) {
    Counts all;
    for (const JunitSuite& s : suites)
        for (const JunitCase& c : s.cases) all.add(c.outcome);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + all.attributes() + ">\n";
    for (const JunitSuite& s : suites) {
        Counts counts;
        int64_t ms = 0;
        for (const JunitCase& c : s.cases) counts.add(c.outcome), ms += milliseconds(c.seconds);
        out += "<testsuite" + attribute("name", s.name) + counts.attributes() + attribute("time", seconds_text(ms)) +
               ">\n";
        for (const JunitCase& c : s.cases) {
            out += "<testcase" + attribute("classname", s.name) + attribute("name", c.name) +
                   attribute("time", seconds_text(milliseconds(c.seconds)));
            switch (c.outcome) {
                case JunitCase::Outcome::Passed:
                    out += "/>\n";
                    break;
                case JunitCase::Outcome::Failed:
                    out += ">\n<failure" + attribute("message", c.message) + ">" + escaped(c.details, false) +
                           "</failure>\n</testcase>\n";
                    break;
                case JunitCase::Outcome::Skipped:
                    out += ">\n<skipped" + attribute("message", c.message) + "/>\n</testcase>\n";
                    break;
            }
        }
        out += "</testsuite>\n";
    }
    return out + "</testsuites>\n";
}
