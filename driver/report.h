// A driver report as data: sections of named values and the probes' verdicts,
// its two layouts, reading it back from JSON, and the diff of two reports.
#pragma once

#include <string>
#include <vector>

struct ReportEntry {
    std::string key, value;
};

struct ReportSection {
    std::string name;
    std::vector<ReportEntry> entries;
};

// Verdicts: agree, disagree, exceeds (does what it does not claim), cannot
// run (observed says why), lost (the probe crashed or hung).
struct ProbeResult {
    std::string name, claim, observed, verdict;
};

struct Report {
    std::string source;  // the data source, shown, never compared
    std::vector<ReportSection> sections;
    std::vector<ProbeResult> probes;
};

constexpr int kReportVersion = 1;

std::string report_text(const Report& r);
// One section: its "[name] N items" line, then one aligned line per item.
std::string section_text(const ReportSection& s);
std::string report_json(const Report& r);
// False with why when text is no JSON or no driver report.
bool report_from_json(const std::string& text, Report& r, std::string& why);

struct Difference {
    std::string kind;  // added, removed, changed, verdict
    std::string key;   // "<section>.<key>" or "probe.<name>"
    std::string before, after;
};

// What differs from a to b, in a's order then b's additions; keys matching
// one of the ignore patterns (shell wildcards) are left out.
std::vector<Difference> diff_reports(const Report& a, const Report& b, const std::vector<std::string>& ignore);
std::string diff_text(const std::vector<Difference>& d);
std::string diff_json(const std::vector<Difference>& d);

// A JSON string literal of text, quotes included; invalid UTF-8 bytes become
// U+FFFD so that the document stays valid.
std::string json_quote(const std::string& text);
