// Reading a report back from its JSON, and what differs between two.
#include <fnmatch.h>

#include <map>
#include <nlohmann/json.hpp>

#include "report.h"

bool report_from_json(const std::string& text, Report& r, std::string& why) {
    using nlohmann::ordered_json;
    const ordered_json doc = ordered_json::parse(text, nullptr, false);
    if (doc.is_discarded()) return why = "is not JSON", false;
    if (!doc.is_object() || !doc.contains("wsql_driver_report") || !doc["wsql_driver_report"].is_number_integer())
        return why = "is no driver report (no \"wsql_driver_report\" version)", false;
    if (doc["wsql_driver_report"].get<int>() != kReportVersion)
        return why = "is a driver report of another version", false;
    if (!doc.contains("sections") || !doc["sections"].is_object() || !doc.contains("probes") ||
        !doc["probes"].is_array())
        return why = "is no driver report (its sections or probes are missing)", false;
    r = Report{};
    if (doc.contains("source") && doc["source"].is_string()) r.source = doc["source"].get<std::string>();
    for (const auto& [name, items] : doc["sections"].items()) {
        if (!items.is_object()) return why = "has a section \"" + name + "\" that is no object", false;
        ReportSection& s = r.sections.emplace_back(ReportSection{name, {}});
        for (const auto& [key, value] : items.items()) {
            if (!value.is_string()) return why = "has a value of " + name + "." + key + " that is no string", false;
            s.entries.push_back({key, value.get<std::string>()});
        }
    }
    for (const auto& p : doc["probes"]) {
        auto field = [&](const char* k) { return p.is_object() && p.contains(k) && p[k].is_string() ? p[k].get<std::string>() : std::string(); };
        if (field("name").empty() || field("verdict").empty()) return why = "has a probe without name or verdict", false;
        r.probes.push_back({field("name"), field("claim"), field("observed"), field("verdict")});
    }
    return true;
}

namespace {
using Flat = std::vector<std::pair<std::string, std::string>>;

Flat flatten(const Report& r) {
    Flat out;
    for (const ReportSection& s : r.sections)
        for (const ReportEntry& e : s.entries) out.emplace_back(s.name + "." + e.key, e.value);
    for (const ProbeResult& p : r.probes) out.emplace_back("probe." + p.name, p.verdict);
    return out;
}

bool ignored(const std::string& key, const std::vector<std::string>& ignore) {
    for (const std::string& pattern : ignore)
        if (fnmatch(pattern.c_str(), key.c_str(), 0) == 0) return true;
    return false;
}
}  // namespace

std::vector<Difference> diff_reports(const Report& a, const Report& b, const std::vector<std::string>& ignore) {
    const Flat fa = flatten(a), fb = flatten(b);
    std::map<std::string, const std::string*> inA, inB;
    for (const auto& [k, v] : fa) inA.emplace(k, &v);
    for (const auto& [k, v] : fb) inB.emplace(k, &v);
    std::vector<Difference> out;
    for (const auto& [k, v] : fa) {
        if (ignored(k, ignore)) continue;
        const auto it = inB.find(k);
        const bool probe = k.starts_with("probe.");
        if (it == inB.end())
            out.push_back({"removed", k, v, ""});
        else if (*it->second != v)
            out.push_back({probe ? "verdict" : "changed", k, v, *it->second});
    }
    for (const auto& [k, v] : fb)
        if (!ignored(k, ignore) && !inA.count(k)) out.push_back({"added", k, "", v});
    return out;
}

std::string diff_text(const std::vector<Difference>& d) {
    std::string out;
    for (const Difference& x : d) {
        out += x.kind + std::string(x.kind.size() < 8 ? 8 - x.kind.size() : 1, ' ') + x.key + ": ";
        if (x.kind == "added") out += x.after;
        else if (x.kind == "removed") out += x.before;
        else out += x.before + " -> " + x.after;
        out += "\n";
    }
    return out + std::to_string(d.size()) + (d.size() == 1 ? " difference\n" : " differences\n");
}

std::string diff_json(const std::vector<Difference>& d) {
    std::string out = "{\"wsql_report_diff\": 1, \"differences\": [";
    for (size_t i = 0; i < d.size(); ++i)
        out += std::string(i ? ",\n  " : "\n  ") + "{\"kind\": " + json_quote(d[i].kind) + ", \"key\": " +
               json_quote(d[i].key) + ", \"before\": " + json_quote(d[i].before) + ", \"after\": " +
               json_quote(d[i].after) + "}";
    return out + "]}\n";
}
