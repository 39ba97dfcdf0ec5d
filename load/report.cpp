// The report of a load run: merging, the text for standard output, and the
// JSON form that carries the histogram buckets so that reports of several
// machines merge exactly (declarations in report.h). Pure: no output.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <random>

#include <nlohmann/json.hpp>

#include "report.h"

namespace {
constexpr const char kFormatName[] = "wsql load report";
constexpr long kFormatVersion = 1;
constexpr int kMaxJsonDepth = 16;  // the report nests 4 deep; deeper input is refused
constexpr const char kOtherStatements[] = "(other statements)";
constexpr const char kNoState[] = "-";
constexpr double kMicrosPerMs = 1000.0;
constexpr int kStateWidth = 8;  // of the SQLSTATE column, wider for a longer group name
constexpr const char kTooLarge[] = "its counts add up to more than 18446744073709551615";

// to += n; false when the sum passes what the type holds.
template <typename T> bool add_to(T& to, T n) { return !__builtin_add_overflow(to, n, &to); }

// ---- text -----------------------------------------------------------------


// printf into a string as long as the text needs: merged plans and job ends
// have no length limit. Empty on an encoding error.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[256];  // most lines fit: one vsnprintf
    va_list args, again;
    va_start(args, fmt);
    va_copy(again, args);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    std::string out;
    if (n > 0 && static_cast<size_t>(n) < sizeof buf) {
        out.assign(buf, static_cast<size_t>(n));
    } else if (n > 0) {
        out.resize(static_cast<size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, fmt, again);  // its NUL over out's own
    }
    va_end(again);
    return out;
}

double per_second(uint64_t n, double seconds) { return seconds > 0 ? static_cast<double>(n) / seconds : 0; }
double ms(uint64_t micros) { return static_cast<double>(micros) / kMicrosPerMs; }
double mean_ms(const LatencyHistogram& h) {
    return h.count() == 0 ? 0 : static_cast<double>(h.sum()) / static_cast<double>(h.count()) / kMicrosPerMs;
}

// ---- JSON -----------------------------------------------------------------

// The length of the UTF-8 sequence that starts at text[i] when it is a
// well-formed one (shortest form, no surrogate, at most U+10FFFF), else 0.
size_t utf8_length(const std::string& text, size_t i) {
    const auto byte = [&text](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    const unsigned lead = byte(i);
    if (lead < 0x80) return 1;
    size_t n = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    return n;
}

// text as a JSON string. Texts come from scripts and drivers and may hold
// bytes that are no UTF-8 (a message cut in a character, a surrogate of a
// driver's UTF-16 converted alone); each becomes U+FFFD, since no JSON
// reader, ours included, takes them.
void json_string(std::string& out, const std::string& text) {
    out += '"';
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t n = utf8_length(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += format("\\u%04x", c);
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    out += '"';
}

using Json = nlohmann::json;

// The kinds of value a field of a report may have; a number is any of
// nlohmann's three.
enum class Kind { Number, String, Object, Array };

bool is(const Json& v, Kind kind) {
    switch (kind) {
    case Kind::Number: return v.is_number();
    case Kind::String: return v.is_string();
    case Kind::Object: return v.is_object();
    case Kind::Array: return v.is_array();
    }
    return false;
}

// Parses the whole of text into root. False with error set: where the
// syntax broke, or that the input nests deeper than any report does.
bool parse_json(const std::string& text, Json& root, std::string& error) {
    bool tooDeep = false;
    const Json::parser_callback_t keep = [&tooDeep](int depth, Json::parse_event_t, Json&) {
        if (depth > kMaxJsonDepth) tooDeep = true;
        return depth <= kMaxJsonDepth;
    };
    try {
        root = Json::parse(text, keep);
    } catch (const Json::parse_error& e) {
        // e.byte counts from 1 (the size + 1 at the end of input); ours from 0.
        error = "not valid JSON at byte " + std::to_string(e.byte > 0 ? e.byte - 1 : 0);
    } catch (const Json::exception&) {  // a number beyond the range of a double
        error = "a number is out of range";
    }
    // Met before any later syntax error: the one the text shows first.
    if (tooDeep) error = "not valid JSON: nested more than " + std::to_string(kMaxJsonDepth) + " deep";
    return error.empty();
}

// Readers of the fields of one object; each failure names the field.
struct Fields {
    const Json& object;
    std::string& error;

    const Json* field(const char* key, Kind kind) const {
        const auto v = object.find(key);  // end() when object is no object
        if (v == object.end() || !is(*v, kind)) {
            if (error.empty()) error = std::string("missing or wrong field \"") + key + "\"";
            return nullptr;
        }
        return &*v;
    }
    uint64_t count(const char* key) const {
        const Json* v = field(key, Kind::Number);
        return v == nullptr ? 0 : to_count(*v, key);
    }
    // Negative, fractional and too large numbers are parsed as other kinds
    // than unsigned.
    uint64_t to_count(const Json& v, const char* key) const {
        if (!v.is_number_unsigned()) {
            if (error.empty()) error = std::string("field \"") + key + "\" is not a count";
            return 0;
        }
        return v.get<uint64_t>();
    }
    double real(const char* key) const {
        const Json* v = field(key, Kind::Number);
        return v == nullptr ? 0 : v->get<double>();
    }
    std::string text(const char* key) const {
        const Json* v = field(key, Kind::String);
        return v == nullptr ? std::string() : v->get<std::string>();
    }
    // Fields that older reports lack: absent is no error.
    bool flag(const char* key, bool absent) const {
        const auto v = object.find(key);
        if (v == object.end()) return absent;
        if (v->is_boolean()) return v->get<bool>();
        if (error.empty()) error = std::string("field \"") + key + "\" is not true or false";
        return absent;
    }
    std::vector<std::string> texts(const char* key) const {
        std::vector<std::string> out;
        const auto v = object.find(key);
        if (v == object.end()) return out;
        const bool texts =
            v->is_array() && std::all_of(v->begin(), v->end(), [](const Json& t) { return t.is_string(); });
        if (!texts) {
            if (error.empty()) error = std::string("field \"") + key + "\" is not a list of texts";
            return out;
        }
        for (const Json& t : *v) out.push_back(t.get<std::string>());
        return out;
    }
};
// ---- interval series and thresholds -------------------------------------

// The buckets of h as JSON pairs, after "\"buckets\": ".
void buckets_json(std::string& out, const LatencyHistogram& h) {
    out += '[';
    bool first = true;
    for (size_t b = 0; b < LatencyHistogram::kBuckets && h.count() != 0; ++b) {
        if (h.bucket(b) == 0) continue;
        out += format("%s[%zu, %" PRIu64 "]", first ? "" : ", ", b, h.bucket(b));
        first = false;
    }
    out += ']';
}

// The interval series and the thresholds, each only when the report has it,
// so that a report without them reads as before.
void series_json(std::string& out, const LoadReport& r) {
    if (r.intervalSeconds > 0) {
        out += format(",\n  \"interval_seconds\": %.6f,\n  \"intervals\": [", r.intervalSeconds);
        for (size_t i = 0; i < r.intervals.size(); ++i) {
            const LoadInterval& v = r.intervals[i];
            const LatencyHistogram& h = v.latency;
            out += format("%s\n    {\"start\": %.6f, \"seconds\": %.6f, \"statements\": %" PRIu64
                          ", \"failures\": %" PRIu64 ", \"passes\": %" PRIu64 ",\n     \"latency_count\": %" PRIu64
                          ", \"latency_sum_us\": %" PRIu64 ", \"latency_max_us\": %" PRIu64
                          ", \"p50_ms\": %.3f, \"p95_ms\": %.3f, \"p99_ms\": %.3f, \"max_ms\": %.3f,\n"
                          "     \"buckets\": ",
                          i == 0 ? "" : ",", v.start, v.seconds, v.statements, v.failures, v.passes, h.count(),
                          h.sum(), h.max(), ms(h.percentile(50)), ms(h.percentile(95)), ms(h.percentile(99)),
                          ms(h.max()));
            buckets_json(out, h);
            out += '}';
        }
        out += "\n  ]";
    }
    if (r.thresholds.empty()) return;
    out += ",\n  \"thresholds\": [";
    for (size_t i = 0; i < r.thresholds.size(); ++i) {
        out += i == 0 ? "\n    {\"expression\": " : ",\n    {\"expression\": ";
        json_string(out, r.thresholds[i].expression);
        out += r.thresholds[i].passed ? ", \"passed\": true, \"measured\": " : ", \"passed\": false, \"measured\": ";
        json_string(out, r.thresholds[i].measured);
        out += '}';
    }
    out += "\n  ]";
}

// Reads the buckets and totals of f's object into h, under the names of
// prefix ("latency_" in statements and intervals, none in pass latencies
// and lag): false, with the error naming what, when a bucket is not [index,
// count] of this layout, the buckets do not add up to the count, or a count
// passes 2^64 - 1.
bool read_histogram_fields(const Fields& f, const std::string& prefix, const std::string& what, LatencyHistogram& h) {
    bool fits = true;
    if (const Json* buckets = f.field("buckets", Kind::Array)) {
        for (const Json& b : *buckets) {
            const bool pair = b.is_array() && b.size() == 2 && b[0].is_number() && b[1].is_number();
            const uint64_t index = pair ? f.to_count(b[0], "buckets") : 0;
            if (!pair || index >= LatencyHistogram::kBuckets) {
                if (f.error.empty()) f.error = "a bucket of " + what + " is not [index, count] of this layout";
                return false;
            }
            fits = h.add_bucket(index, f.to_count(b[1], "buckets")) && fits;
        }
    }
    fits = h.add_totals(f.count((prefix + "sum_us").c_str()), f.count((prefix + "max_us").c_str())) && fits;
    if (h.count() != f.count((prefix + "count").c_str()) && f.error.empty())
        f.error = "the buckets of " + what + " do not add up to its " + prefix + "count";
    if (!fits && f.error.empty()) f.error = kTooLarge;
    return f.error.empty();
}

// Reads the interval series and the thresholds, which older reports lack.
void read_series(const Fields& top, LoadReport& r) {
    if (top.object.contains("interval_seconds")) {
        r.intervalSeconds = top.real("interval_seconds");
        if (r.intervalSeconds <= 0 && top.error.empty()) top.error = "field \"interval_seconds\" is not positive";
        if (const Json* list = top.field("intervals", Kind::Array)) {
            for (const Json& v : *list) {
                const Fields f{v, top.error};
                LoadInterval& in = r.intervals.emplace_back();
                in.start = f.real("start");
                in.seconds = f.real("seconds");
                in.statements = f.count("statements");
                in.failures = f.count("failures");
                in.passes = f.count("passes");
                if (!read_histogram_fields(f, "latency_", "an interval", in.latency)) return;
            }
        }
    }
    if (!top.object.contains("thresholds")) return;
    if (const Json* list = top.field("thresholds", Kind::Array)) {
        for (const Json& t : *list) {
            const Fields f{t, top.error};
            r.thresholds.push_back({f.text("expression"), f.flag("passed", false), f.text("measured")});
        }
    }
}

// Adds the series of other to r's, interval by interval; false when a count
// passes 2^64 - 1 or the intervals are of other lengths. Thresholds were of
// the runs apart: they go, to be checked again on the merged report.
bool merge_series(LoadReport& r, const LoadReport& other) {
    r.thresholds.clear();
    if (other.intervalSeconds != r.intervalSeconds) return false;
    if (r.intervals.size() < other.intervals.size()) r.intervals.resize(other.intervals.size());
    bool fits = true;
    for (size_t i = 0; i < other.intervals.size(); ++i) {
        LoadInterval& mine = r.intervals[i];
        const LoadInterval& o = other.intervals[i];
        mine.start = o.start;
        mine.seconds = std::max(mine.seconds, o.seconds);
        fits = add_to(mine.statements, o.statements) && fits;
        fits = add_to(mine.failures, o.failures) && fits;
        fits = add_to(mine.passes, o.passes) && fits;
        fits = mine.latency.add(o.latency) && fits;
    }
    return fits;
}

// ---- passes -----------------------------------------------------------------

// "Label: mean x ms, p50 x ms, p95 x ms, p99 x ms, max x ms", as the columns
// of the statement table.
std::string latency_line(const char* label, const LatencyHistogram& h) {
    return format("%s: mean %.3f ms, p50 %.3f ms, p95 %.3f ms, p99 %.3f ms, max %.3f ms\n", label, mean_ms(h),
                  ms(h.percentile(50)), ms(h.percentile(95)), ms(h.percentile(99)), ms(h.max()));
}

// The lines of the pass latencies and, under --rate or --latency-limit, of
// the schedule; none for reports without them (older ones merged).
std::string pass_lines(const LoadReport& r) {
    std::string out;
    if (r.passLatency.count() != 0) out += latency_line("Pass latency", r.passLatency);
    if (r.lag.count() != 0) out += latency_line("Schedule lag", r.lag);
    if (r.lag.count() != 0 || r.latePasses != 0 || r.skippedPasses != 0)
        out += format("Late passes: %" PRIu64 ", skipped passes: %" PRIu64 "\n", r.latePasses, r.skippedPasses);
    return out.empty() ? out : "\n" + out;
}

// h as an object of the JSON report: the form of the statements' latencies.
std::string histogram_json(const LatencyHistogram& h) {
    std::string out = format("{\"count\": %" PRIu64 ", \"sum_us\": %" PRIu64 ", \"max_us\": %" PRIu64
                             ",\n     \"mean_ms\": %.3f, \"p50_ms\": %.3f, \"p95_ms\": %.3f, \"p99_ms\": %.3f, "
                             "\"max_ms\": %.3f,\n     \"buckets\": ",
                             h.count(), h.sum(), h.max(), mean_ms(h), ms(h.percentile(50)), ms(h.percentile(95)),
                             ms(h.percentile(99)), ms(h.max()));
    buckets_json(out, h);
    return out + "}";
}

// The members of the report object for the passes, each line ending in ",".
std::string pass_json(const LoadReport& r) {
    return "  \"pass_latency\": " + histogram_json(r.passLatency) + ",\n  \"lag\": " + histogram_json(r.lag) +
           format(",\n  \"late_passes\": %" PRIu64 ", \"skipped_passes\": %" PRIu64 ",\n", r.latePasses,
                  r.skippedPasses);
}

// Reads the histogram of key into h when object has it (older reports do
// not). False with error set when it is there but malformed.
bool read_histogram(const Json& object, const char* key, LatencyHistogram& h, std::string& error) {
    const auto v = object.find(key);
    return v == object.end() || read_histogram_fields(Fields{*v, error}, "", std::string("\"") + key + "\"", h);
}

// The pass latencies, schedule lag and late and skipped passes of root into r.
void read_pass_json(const Json& root, LoadReport& r, std::string& error) {
    if (!read_histogram(root, "pass_latency", r.passLatency, error) || !read_histogram(root, "lag", r.lag, error))
        return;
    for (auto [key, into] : {std::pair{"late_passes", &r.latePasses}, {"skipped_passes", &r.skippedPasses}})
        if (root.contains(key)) *into = Fields{root, error}.count(key);
}
}  // namespace

std::string load_one_line(const std::string& text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (space) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// ---- the report -------------------------------------------------------------

LoadStatement& LoadReport::statement(const std::string& text) {
    for (LoadStatement& s : statements)
        if (s.text == text) return s;
    if (statements.size() + 1 >= kMaxLoadStatementTexts) {
        if (statements.back().text != kOtherStatements) statements.emplace_back().text = kOtherStatements;
        return statements.back();
    }
    statements.emplace_back().text = text;
    return statements.back();
}

bool LoadReport::add_error(const std::string& state, const std::string& message, uint64_t count) {
    LoadError& e = errors[state.empty() ? kNoState : state];
    if (e.count == 0 && e.message.empty()) e.message = message;
    return add_to(e.count, count);
}

uint64_t LoadReport::total_statements() const {
    uint64_t n = 0;
    for (const LoadStatement& s : statements) n += s.count;
    return n;
}

uint64_t LoadReport::total_failures() const {
    uint64_t n = 0;
    for (const LoadJob& j : jobs) n += j.failedCommands;
    return n;
}

uint64_t LoadReport::total_passes() const {
    uint64_t n = 0;
    for (const LoadJob& j : jobs) n += j.passes;
    return n;
}

bool LoadReport::totals_fit() const {
    uint64_t statementsSum = 0, failures = 0, passes = 0;
    bool fits = true;
    for (const LoadStatement& s : statements) fits = add_to(statementsSum, s.count) && fits;
    for (const LoadJob& j : jobs) {
        fits = add_to(failures, j.failedCommands) && fits;
        fits = add_to(passes, j.passes) && fits;
    }
    return fits;
}

// Every sum is checked: a count that wrapped would pass for a small one (a
// run with failures merged into one without any).
bool LoadReport::merge(const LoadReport& other) {
    bool fits = add_to(runs, other.runs);
    seconds = std::max(seconds, other.seconds);
    if (plan != other.plan) plan = plan.empty() ? other.plan : plan + "; " + other.plan;
    jobs.insert(jobs.end(), other.jobs.begin(), other.jobs.end());
    runIds.insert(runIds.end(), other.runIds.begin(), other.runIds.end());
    for (const LoadStatement& s : other.statements) {
        LoadStatement& mine = statement(s.text);
        fits = add_to(mine.count, s.count) && fits;
        fits = add_to(mine.errors, s.errors) && fits;
        fits = mine.latency.add(s.latency) && fits;
    }
    for (const auto& [state, e] : other.errors) fits = add_error(state, e.message, e.count) && fits;
    fits = add_to(connectFailures, other.connectFailures) && fits;
    fits = add_to(connectionsLost, other.connectionsLost) && fits;
    fits = merge_series(*this, other) && fits;
    fits = passLatency.add(other.passLatency) && lag.add(other.lag) && fits;
    fits = add_to(latePasses, other.latePasses) && add_to(skippedPasses, other.skippedPasses) && fits;
    return fits && totals_fit();
}

std::string load_run_id() {
    uint64_t halves[2] = {0, 0};
    try {
        std::random_device device;
        for (uint64_t& h : halves) h = (uint64_t{device()} << 32) ^ device();
    } catch (const std::exception&) {
        // No source of randomness: the clock and the stack's place tell runs apart.
        const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        std::mt19937_64 mix(static_cast<uint64_t>(now) ^ reinterpret_cast<uintptr_t>(&halves));
        for (uint64_t& h : halves) h = mix();
    }
    return format("%016" PRIx64 "%016" PRIx64, halves[0], halves[1]);
}

std::string load_report_text(const LoadReport& r) {
    const uint64_t statements = r.total_statements();
    const uint64_t passes = r.total_passes();
    std::string out;
    if (r.runs > 1)
        out += format("Merged report of %ld load runs: %zu jobs, %s\n", r.runs, r.jobs.size(), r.plan.c_str());
    else
        out += format("Load run: %zu jobs, %s\n", r.jobs.size(), r.plan.c_str());
    out += format("Elapsed time %.0f ms.%s\n", r.seconds * kMicrosPerMs, r.runs > 1 ? " (the longest run)" : "");
    out += format("Statements: %" PRIu64 " (%.1f/s), failed commands: %" PRIu64 "\n", statements,
                  per_second(statements, r.seconds), r.total_failures());
    out += format("Passes (complete runs of the script): %" PRIu64 " (%.1f/s)\n", passes,
                  per_second(passes, r.seconds));
    out += format("Connections: %" PRIu64 " failed, %" PRIu64 " lost\n\n", r.connectFailures,
                  r.connectionsLost);

    out += format("%5s %12s %10s %12s %10s %8s  %s\n", "job", "statements", "stmt/s", "passes",
                  "passes/s", "failed", "end");
    for (size_t i = 0; i < r.jobs.size(); ++i) {
        const LoadJob& j = r.jobs[i];
        const long number = r.runs > 1 ? static_cast<long>(i + 1) : j.number;
        out += format("%5ld %12" PRIu64 " %10.1f %12" PRIu64 " %10.1f %8" PRIu64 "  %s%s\n", number,
                      j.statements, per_second(j.statements, j.seconds), j.passes,
                      per_second(j.passes, j.seconds), j.failedCommands, j.end.c_str(),
                      j.complete ? "" : " (counts incomplete)");
    }

    out += format("\n%10s %8s %9s %9s %9s %9s %9s  %s\n", "count", "errors", "mean ms", "p50 ms", "p95 ms",
                  "p99 ms", "max ms", "statement");
    for (const LoadStatement& s : r.statements) {
        const LatencyHistogram& h = s.latency;
        out += format("%10" PRIu64 " %8" PRIu64 " %9.3f %9.3f %9.3f %9.3f %9.3f  ", s.count, s.errors,
                      mean_ms(h), ms(h.percentile(50)), ms(h.percentile(95)), ms(h.percentile(99)),
                      ms(h.max()));
        out += load_one_line(s.text) + "\n";
    }
    out += pass_lines(r);

    if (r.errors.empty()) return out + "\nErrors by SQLSTATE: none\n";
    int width = kStateWidth;
    for (const auto& [state, e] : r.errors) width = std::max(width, static_cast<int>(state.size()));
    out += format("\nErrors by SQLSTATE:\n%-*s %10s  %s\n", width, "SQLSTATE", "count", "first message");
    for (const auto& [state, e] : r.errors)
        out += format("%-*s %10" PRIu64 "  ", width, state.c_str(), e.count) + load_one_line(e.message) + "\n";
    return out;
}

std::string load_report_json(const LoadReport& r) {
    std::string out = "{\n  \"format\": ";
    json_string(out, kFormatName);
    out += format(",\n  \"version\": %ld,\n", kFormatVersion);
    out += format("  \"histogram\": {\"unit\": \"microseconds\", \"sub_bucket_bits\": %d, "
                  "\"max_value_bits\": %d},\n",
                  LatencyHistogram::kSubBucketBits, LatencyHistogram::kMaxValueBits);
    out += format("  \"runs\": %ld,\n  \"run_ids\": [", r.runs);
    for (size_t i = 0; i < r.runIds.size(); ++i) {
        if (i != 0) out += ", ";
        json_string(out, r.runIds[i]);
    }
    out += "],\n  \"plan\": ";
    json_string(out, r.plan);
    out += format(",\n  \"elapsed_seconds\": %.6f,\n", r.seconds);
    out += format("  \"statements\": %" PRIu64 ",\n  \"failed_commands\": %" PRIu64 ",\n", r.total_statements(),
                  r.total_failures());
    out += format("  \"passes\": %" PRIu64 ",\n", r.total_passes());
    out += format("  \"connection_failures\": %" PRIu64 ",\n  \"connections_lost\": %" PRIu64 ",\n",
                  r.connectFailures, r.connectionsLost);
    out += "  \"jobs\": [";
    for (size_t i = 0; i < r.jobs.size(); ++i) {
        const LoadJob& j = r.jobs[i];
        out += format("%s\n    {\"job\": %ld, \"statements\": %" PRIu64 ", \"failed_commands\": %" PRIu64
                      ", \"passes\": %" PRIu64 ", \"seconds\": %.6f, \"end\": ",
                      i == 0 ? "" : ",", j.number, j.statements, j.failedCommands, j.passes, j.seconds);
        json_string(out, j.end);
        out += j.complete ? ", \"complete\": true}" : ", \"complete\": false}";
    }
    out += "\n  ],\n  \"per_statement\": [";
    for (size_t i = 0; i < r.statements.size(); ++i) {
        const LoadStatement& s = r.statements[i];
        const LatencyHistogram& h = s.latency;
        out += i == 0 ? "\n    {\"text\": " : ",\n    {\"text\": ";
        json_string(out, s.text);
        out += format(", \"count\": %" PRIu64 ", \"errors\": %" PRIu64 ",\n     \"latency_count\": %" PRIu64
                      ", \"latency_sum_us\": %" PRIu64 ", \"latency_max_us\": %" PRIu64 ",\n",
                      s.count, s.errors, h.count(), h.sum(), h.max());
        out += format("     \"mean_ms\": %.3f, \"p50_ms\": %.3f, \"p95_ms\": %.3f, \"p99_ms\": %.3f, "
                      "\"max_ms\": %.3f,\n     \"buckets\": ",
                      mean_ms(h), ms(h.percentile(50)), ms(h.percentile(95)), ms(h.percentile(99)), ms(h.max()));
        buckets_json(out, h);
        out += '}';
    }
    out += "\n  ],\n";
    out += pass_json(r);
    out += "  \"errors\": [";
    bool first = true;
    for (const auto& [state, e] : r.errors) {
        out += first ? "\n    {\"sqlstate\": " : ",\n    {\"sqlstate\": ";
        json_string(out, state);
        out += format(", \"count\": %" PRIu64 ", \"first_message\": ", e.count);
        json_string(out, e.message);
        out += "}";
        first = false;
    }
    out += "\n  ]";
    series_json(out, r);
    return out + "\n}\n";
}

bool load_report_from_json(const std::string& json, LoadReport& report, std::string& error) {
    report = LoadReport{};
    error.clear();
    Json root;
    if (!parse_json(json, root, error)) return false;
    if (!root.is_object()) {
        error = "not a JSON object";
        return false;
    }
    const Fields top{root, error};
    if (top.text("format") != kFormatName || top.count("version") != kFormatVersion) {
        error = "not a wsql load report of version " + std::to_string(kFormatVersion);
        return false;
    }
    if (const Json* h = top.field("histogram", Kind::Object)) {
        const Fields layout{*h, error};
        if (layout.count("sub_bucket_bits") != LatencyHistogram::kSubBucketBits ||
            layout.count("max_value_bits") != LatencyHistogram::kMaxValueBits)
            error = "its histogram has buckets of another layout";
    }
    const uint64_t runs = top.count("runs");
    report.runs = static_cast<long>(std::min<uint64_t>(runs, LONG_MAX));
    if (runs > LONG_MAX && error.empty()) error = kTooLarge;
    report.runIds = top.texts("run_ids");
    report.plan = top.text("plan");
    report.seconds = top.real("elapsed_seconds");
    report.connectFailures = top.count("connection_failures");
    report.connectionsLost = top.count("connections_lost");
    if (const Json* jobs = top.field("jobs", Kind::Array)) {
        for (const Json& j : *jobs) {
            const Fields f{j, error};
            report.jobs.push_back({static_cast<long>(f.count("job")), f.count("statements"),
                                   f.count("failed_commands"),
                                   // "transactions" in reports written before passes were called so
                                   f.count(j.contains("passes") ? "passes" : "transactions"), f.real("seconds"),
                                   f.text("end"), f.flag("complete", true)});
        }
    }
    if (const Json* list = top.field("per_statement", Kind::Array)) {
        for (const Json& s : *list) {
            const Fields f{s, error};
            LoadStatement& st = report.statement(f.text("text"));
            // Texts met twice (or beyond the kept ones) add up here already.
            bool fits = add_to(st.count, f.count("count")) && add_to(st.errors, f.count("errors"));
            LatencyHistogram h;
            fits = read_histogram_fields(f, "latency_", "a statement", h) && fits;
            fits = st.latency.add(h) && fits;
            if (!fits && error.empty()) error = kTooLarge;
        }
    }
    read_pass_json(root, report, error);
    if (const Json* list = top.field("errors", Kind::Array)) {
        for (const Json& e : *list) {
            const Fields f{e, error};
            if (!report.add_error(f.text("sqlstate"), f.text("first_message"), f.count("count")) && error.empty())
                error = kTooLarge;
        }
    }
    read_series(top, report);
    if (!report.totals_fit() && error.empty()) error = kTooLarge;
    return error.empty();
}
