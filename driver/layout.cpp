// The two layouts of a report: aligned text for a person, one JSON document.
#include <algorithm>

#include "report.h"
#include "zvunicode.h"

namespace {
constexpr size_t kMaxKeyColumn = 40;  // longer keys push their value along
constexpr size_t kVerdictColumn = 11;

std::string padded(const std::string& s, size_t width) {
    return s.size() >= width ? s + ' ' : s + std::string(width - s.size(), ' ');
}
}  // namespace

std::string json_quote(const std::string& text) {
    std::string out = "\"";
    std::string_view rest = text;
    while (!rest.empty()) {
        uint32_t c = 0;
        const size_t n = utf8_sequence(rest, c);
        if (n == 0) {
            out += "\\ufffd";
            rest.remove_prefix(1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out.append(rest.substr(0, n));
        }
        rest.remove_prefix(n);
    }
    return out + '"';
}

std::string section_text(const ReportSection& s) {
    size_t width = 0;
    for (const ReportEntry& e : s.entries) width = std::max(width, std::min(e.key.size() + 2, kMaxKeyColumn));
    std::string out = "[" + s.name + "] " + std::to_string(s.entries.size()) + " items\n";
    for (const ReportEntry& e : s.entries) out += "  " + padded(e.key, width) + e.value + "\n";
    return out;
}

std::string report_text(const Report& r) {
    std::string out = "Driver report of " + r.source + "\n";
    for (const ReportSection& s : r.sections) out += "\n" + section_text(s);
    size_t width = 0;
    for (const ProbeResult& p : r.probes) width = std::max(width, std::min(p.name.size() + 2, kMaxKeyColumn));
    out += "\n[probes] " + std::to_string(r.probes.size()) + " items\n";
    for (const ProbeResult& p : r.probes)
        out += "  " + padded(p.name, width) + padded(p.verdict, kVerdictColumn) + "claim: " + p.claim +
               "; observed: " + p.observed + "\n";
    return out;
}

std::string report_json(const Report& r) {
    std::string out = "{\"wsql_driver_report\": " + std::to_string(kReportVersion) +
                      ",\n \"source\": " + json_quote(r.source) + ",\n \"sections\": {";
    for (size_t i = 0; i < r.sections.size(); ++i) {
        const ReportSection& s = r.sections[i];
        out += (i ? ",\n  " : "\n  ") + json_quote(s.name) + ": {";
        for (size_t k = 0; k < s.entries.size(); ++k)
            out += (k ? ",\n   " : "\n   ") + json_quote(s.entries[k].key) + ": " + json_quote(s.entries[k].value);
        out += "}";
    }
    out += "},\n \"probes\": [";
    for (size_t i = 0; i < r.probes.size(); ++i) {
        const ProbeResult& p = r.probes[i];
        out += std::string(i ? ",\n  " : "\n  ") + "{\"name\": " + json_quote(p.name) +
               ", \"claim\": " + json_quote(p.claim) + ", \"observed\": " + json_quote(p.observed) +
               ", \"verdict\": " + json_quote(p.verdict) + "}";
    }
    return out + "]}\n";
}
