// JUnit XML for CI systems. Names, messages and diffs carry whatever bytes
// the tests produced, so everything written is made into well-formed XML.
#include "junit.h"

#include "zvunicode.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

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
            // A byte that starts no character becomes U+FFFD, as in json output.
            uint32_t ch = 0;
            const size_t length = utf8_sequence(std::string_view(s).substr(i), ch);
            // U+FFFE and U+FFFF are valid UTF-8 but not XML characters.
            if (length == 0 || ch == 0xFFFE || ch == 0xFFFF) out += kReplacement;
            else out.append(s, i, length);
            i += length == 0 ? 1 : length;
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
