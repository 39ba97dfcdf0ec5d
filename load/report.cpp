// The report of a load run: merging, the text for standard output, and the
// JSON form that carries the histogram buckets so that reports of several
// machines merge exactly (declarations in isqlload.h). Pure: no output.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "report.h"

namespace {
constexpr const char kFormatName[] = "wsql load report";
constexpr long kFormatVersion = 1;
constexpr int kMaxJsonDepth = 16;  // the report nests 4 deep; deeper input is refused
constexpr const char kOtherStatements[] = "(other statements)";
constexpr const char kNoState[] = "-";
constexpr double kMicrosPerMs = 1000.0;

// ---- text -----------------------------------------------------------------

// The text on one line: each run of blanks and line ends becomes one blank.
std::string one_line(const std::string& text) {
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

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[512];
    va_list args;
    va_start(args, fmt);
    const int n = vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return std::string(buf, static_cast<size_t>(std::clamp(n, 0, static_cast<int>(sizeof buf) - 1)));
}

double per_second(uint64_t n, double seconds) { return seconds > 0 ? static_cast<double>(n) / seconds : 0; }
double ms(uint64_t micros) { return static_cast<double>(micros) / kMicrosPerMs; }
double mean_ms(const LatencyHistogram& h) {
    return h.count() == 0 ? 0 : static_cast<double>(h.sum()) / static_cast<double>(h.count()) / kMicrosPerMs;
}

// ---- JSON -----------------------------------------------------------------

void json_string(std::string& out, const std::string& text) {
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += format("\\u%04x", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

// A parsed JSON value; numbers keep their literal text so that counts are
// read exactly.
struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    std::string text;  // String: the value; Number: the literal
    std::vector<Json> items;         // of an array, or the values of an object
    std::vector<std::string> names;  // of an object: the name of each of items

    const Json* get(const char* key) const {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == key) return &items[i];
        return nullptr;
    }
};

class JsonParser {
public:
    explicit JsonParser(const std::string& s) : s_(s) {}
    // The whole input as one value. False with error set.
    bool parse(Json& out, std::string& error) {
        if (value(out, 0) && (blanks(), pos_ == s_.size())) return true;
        error = "not valid JSON at byte " + std::to_string(pos_);
        return false;
    }

private:
    const std::string& s_;
    size_t pos_ = 0;

    void blanks() {
        while (pos_ < s_.size() && std::strchr(" \t\r\n", s_[pos_]) != nullptr && s_[pos_] != '\0') ++pos_;
    }
    bool take(char c) {
        blanks();
        if (pos_ >= s_.size() || s_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    bool word(const char* w, Json& out, Json::Type type) {
        const size_t n = std::strlen(w);
        if (s_.compare(pos_, n, w) != 0) return false;
        pos_ += n;
        out.type = type;
        out.text = w;
        return true;
    }
    bool string(std::string& out) {
        if (!take('"')) return false;
        out.clear();
        while (pos_ < s_.size() && s_[pos_] != '"') {
            char c = s_[pos_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= s_.size()) return false;
            c = s_[pos_++];
            switch (c) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (pos_ + 4 > s_.size()) return false;
                const unsigned long code = std::strtoul(s_.substr(pos_, 4).c_str(), nullptr, 16);
                pos_ += 4;
                // Our own reports escape control characters only; others
                // are written as UTF-8 of the basic plane.
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default: out += c; break;  // \" \\ \/
            }
        }
        return pos_++ < s_.size();
    }
    // The members of an object (named, up to '}') or the items of an array
    // (up to ']'), after the opening bracket at pos_.
    bool members(Json& out, char close, int depth) {
        ++pos_;
        if (take(close)) return true;
        do {
            if (close == '}') {
                out.names.emplace_back();
                if (!string(out.names.back()) || !take(':')) return false;
            }
            out.items.emplace_back();
            if (!value(out.items.back(), depth + 1)) return false;
        } while (take(','));
        return take(close);
    }
    bool value(Json& out, int depth) {
        if (depth > kMaxJsonDepth) return false;
        blanks();
        if (pos_ >= s_.size()) return false;
        const char c = s_[pos_];
        if (c == '"') {
            out.type = Json::Type::String;
            return string(out.text);
        }
        if (c == '{') {
            out.type = Json::Type::Object;
            return members(out, '}', depth);
        }
        if (c == '[') {
            out.type = Json::Type::Array;
            return members(out, ']', depth);
        }
        if (word("true", out, Json::Type::Bool) || word("false", out, Json::Type::Bool) ||
            word("null", out, Json::Type::Null))
            return true;
        const size_t start = pos_;
        while (pos_ < s_.size() && std::strchr("+-0123456789.eE", s_[pos_]) != nullptr && s_[pos_] != '\0')
            ++pos_;
        if (pos_ == start) return false;
        out.type = Json::Type::Number;
        out.text = s_.substr(start, pos_ - start);
        return true;
    }
};

// Readers of the fields of one object; each failure names the field.
struct Fields {
    const Json& object;
    std::string& error;

    const Json* field(const char* key, Json::Type type) const {
        const Json* v = object.get(key);
        if (v == nullptr || v->type != type) {
            if (error.empty()) error = std::string("missing or wrong field \"") + key + "\"";
            return nullptr;
        }
        return v;
    }
    uint64_t count(const char* key) const {
        const Json* v = field(key, Json::Type::Number);
        return v == nullptr ? 0 : to_count(*v, key);
    }
    uint64_t to_count(const Json& v, const char* key) const {
        char* end = nullptr;
        errno = 0;
        const unsigned long long n = std::strtoull(v.text.c_str(), &end, 10);
        if (v.text.empty() || v.text[0] == '-' || *end != '\0' || errno == ERANGE) {
            if (error.empty()) error = std::string("field \"") + key + "\" is not a count";
            return 0;
        }
        return n;
    }
    double real(const char* key) const {
        const Json* v = field(key, Json::Type::Number);
        return v == nullptr ? 0 : std::strtod(v->text.c_str(), nullptr);
    }
    std::string text(const char* key) const {
        const Json* v = field(key, Json::Type::String);
        return v == nullptr ? std::string() : v->text;
    }
};
}  // namespace

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

void LoadReport::add_error(const std::string& state, const std::string& message, uint64_t count) {
    LoadError& e = errors[state.empty() ? kNoState : state];
    if (e.count == 0 && e.message.empty()) e.message = message;
    e.count += count;
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

void LoadReport::merge(const LoadReport& other) {
    runs += other.runs;
    seconds = std::max(seconds, other.seconds);
    if (plan != other.plan) plan = plan.empty() ? other.plan : plan + "; " + other.plan;
    jobs.insert(jobs.end(), other.jobs.begin(), other.jobs.end());
    for (const LoadStatement& s : other.statements) {
        LoadStatement& mine = statement(s.text);
        mine.count += s.count;
        mine.errors += s.errors;
        mine.latency.add(s.latency);
    }
    for (const auto& [state, e] : other.errors) add_error(state, e.message, e.count);
    connectFailures += other.connectFailures;
    connectionsLost += other.connectionsLost;
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
    out += format("Transactions (complete passes of the script): %" PRIu64 " (%.1f/s)\n", passes,
                  per_second(passes, r.seconds));
    out += format("Connections: %" PRIu64 " failed, %" PRIu64 " lost\n\n", r.connectFailures,
                  r.connectionsLost);

    out += format("%5s %12s %10s %12s %10s %8s  %s\n", "job", "statements", "stmt/s", "transactions",
                  "trans/s", "failed", "end");
    for (size_t i = 0; i < r.jobs.size(); ++i) {
        const LoadJob& j = r.jobs[i];
        const long number = r.runs > 1 ? static_cast<long>(i + 1) : j.number;
        out += format("%5ld %12" PRIu64 " %10.1f %12" PRIu64 " %10.1f %8" PRIu64 "  %s\n", number,
                      j.statements, per_second(j.statements, j.seconds), j.passes,
                      per_second(j.passes, j.seconds), j.failedCommands, j.end.c_str());
    }

    out += format("\n%10s %8s %9s %9s %9s %9s %9s  %s\n", "count", "errors", "mean ms", "p50 ms", "p95 ms",
                  "p99 ms", "max ms", "statement");
    for (const LoadStatement& s : r.statements) {
        const LatencyHistogram& h = s.latency;
        out += format("%10" PRIu64 " %8" PRIu64 " %9.3f %9.3f %9.3f %9.3f %9.3f  ", s.count, s.errors,
                      mean_ms(h), ms(h.percentile(50)), ms(h.percentile(95)), ms(h.percentile(99)),
                      ms(h.max()));
        out += one_line(s.text) + "\n";
    }

    if (r.errors.empty()) return out + "\nErrors by SQLSTATE: none\n";
    out += format("\nErrors by SQLSTATE:\n%-8s %10s  %s\n", "SQLSTATE", "count", "first message");
    for (const auto& [state, e] : r.errors)
        out += format("%-8s %10" PRIu64 "  ", state.c_str(), e.count) + one_line(e.message) + "\n";
    return out;
}

std::string load_report_json(const LoadReport& r) {
    std::string out = "{\n  \"format\": ";
    json_string(out, kFormatName);
    out += format(",\n  \"version\": %ld,\n", kFormatVersion);
    out += format("  \"histogram\": {\"unit\": \"microseconds\", \"sub_bucket_bits\": %d, "
                  "\"max_value_bits\": %d},\n",
                  LatencyHistogram::kSubBucketBits, LatencyHistogram::kMaxValueBits);
    out += format("  \"runs\": %ld,\n  \"plan\": ", r.runs);
    json_string(out, r.plan);
    out += format(",\n  \"elapsed_seconds\": %.6f,\n", r.seconds);
    out += format("  \"statements\": %" PRIu64 ",\n  \"failed_commands\": %" PRIu64 ",\n", r.total_statements(),
                  r.total_failures());
    out += format("  \"transactions\": %" PRIu64 ",\n", r.total_passes());
    out += format("  \"connection_failures\": %" PRIu64 ",\n  \"connections_lost\": %" PRIu64 ",\n",
                  r.connectFailures, r.connectionsLost);
    out += "  \"jobs\": [";
    for (size_t i = 0; i < r.jobs.size(); ++i) {
        const LoadJob& j = r.jobs[i];
        out += format("%s\n    {\"job\": %ld, \"statements\": %" PRIu64 ", \"failed_commands\": %" PRIu64
                      ", \"transactions\": %" PRIu64 ", \"seconds\": %.6f, \"end\": ",
                      i == 0 ? "" : ",", j.number, j.statements, j.failedCommands, j.passes, j.seconds);
        json_string(out, j.end);
        out += "}";
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
                      "\"max_ms\": %.3f,\n     \"buckets\": [",
                      mean_ms(h), ms(h.percentile(50)), ms(h.percentile(95)), ms(h.percentile(99)), ms(h.max()));
        bool first = true;
        for (size_t b = 0; b < LatencyHistogram::kBuckets; ++b) {
            if (h.bucket(b) == 0) continue;
            out += format("%s[%zu, %" PRIu64 "]", first ? "" : ", ", b, h.bucket(b));
            first = false;
        }
        out += "]}";
    }
    out += "\n  ],\n  \"errors\": [";
    bool first = true;
    for (const auto& [state, e] : r.errors) {
        out += first ? "\n    {\"sqlstate\": " : ",\n    {\"sqlstate\": ";
        json_string(out, state);
        out += format(", \"count\": %" PRIu64 ", \"first_message\": ", e.count);
        json_string(out, e.message);
        out += "}";
        first = false;
    }
    return out + "\n  ]\n}\n";
}

bool load_report_from_json(const std::string& json, LoadReport& report, std::string& error) {
    report = LoadReport{};
    error.clear();
    Json root;
    if (!JsonParser(json).parse(root, error)) return false;
    if (root.type != Json::Type::Object) {
        error = "not a JSON object";
        return false;
    }
    const Fields top{root, error};
    if (top.text("format") != kFormatName || top.count("version") != kFormatVersion) {
        error = "not a wsql load report of version " + std::to_string(kFormatVersion);
        return false;
    }
    if (const Json* h = top.field("histogram", Json::Type::Object)) {
        const Fields layout{*h, error};
        if (layout.count("sub_bucket_bits") != LatencyHistogram::kSubBucketBits ||
            layout.count("max_value_bits") != LatencyHistogram::kMaxValueBits)
            error = "its histogram has buckets of another layout";
    }
    report.runs = static_cast<long>(top.count("runs"));
    report.plan = top.text("plan");
    report.seconds = top.real("elapsed_seconds");
    report.connectFailures = top.count("connection_failures");
    report.connectionsLost = top.count("connections_lost");
    if (const Json* jobs = top.field("jobs", Json::Type::Array)) {
        for (const Json& j : jobs->items) {
            const Fields f{j, error};
            report.jobs.push_back({static_cast<long>(f.count("job")), f.count("statements"),
                                   f.count("failed_commands"), f.count("transactions"), f.real("seconds"),
                                   f.text("end")});
        }
    }
    if (const Json* list = top.field("per_statement", Json::Type::Array)) {
        for (const Json& s : list->items) {
            const Fields f{s, error};
            LoadStatement& st = report.statement(f.text("text"));
            st.count += f.count("count");
            st.errors += f.count("errors");
            LatencyHistogram h;
            if (const Json* buckets = f.field("buckets", Json::Type::Array)) {
                for (const Json& b : buckets->items) {
                    if (b.type != Json::Type::Array || b.items.size() != 2 || b.items[0].type != Json::Type::Number ||
                        b.items[1].type != Json::Type::Number ||
                        !h.add_bucket(f.to_count(b.items[0], "buckets"), f.to_count(b.items[1], "buckets"))) {
                        if (error.empty()) error = "a bucket is not [index, count] of this layout";
                        break;
                    }
                }
            }
            h.add_totals(f.count("latency_sum_us"), f.count("latency_max_us"));
            if (h.count() != f.count("latency_count") && error.empty())
                error = "the buckets of a statement do not add up to its latency_count";
            st.latency.add(h);
        }
    }
    if (const Json* list = top.field("errors", Json::Type::Array)) {
        for (const Json& e : list->items) {
            const Fields f{e, error};
            report.add_error(f.text("sqlstate"), f.text("first_message"), f.count("count"));
        }
    }
    return error.empty();
}
