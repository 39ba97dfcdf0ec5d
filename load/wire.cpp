// Encoding and decoding of the lines between a job and its parent.
#include <charconv>

#include "wire.h"

namespace {
constexpr const char* kEndTexts[] = {
    "completed",
    "stopped",
    "connection lost",
    "stopped by --on-error=stop",
    "ended by EXIT",
    "could not connect",
    "its output files could not be opened",
    "its script could not be copied",
    "the ODBC environment could not be set up",
    "its script could not be read again",
};
constexpr size_t kEnds = sizeof kEndTexts / sizeof kEndTexts[0];

// Tabs, line ends and backslashes escaped, so that a field stays one field.
void put_text(std::string& out, const std::string& text) {
    out += '\t';
    for (char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
}

void put_number(std::string& out, uint64_t n) {
    out += '\t';
    out += std::to_string(n);
}

// The fields of one line, tabs as separators, escapes undone.
std::vector<std::string> split_fields(std::string_view line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// A whole field of decimal digits; false for anything else.
bool read_number(std::string_view field, uint64_t& n) {
    const char* end = field.data() + field.size();
    const auto [at, ec] = std::from_chars(field.data(), end, n);
    return !field.empty() && ec == std::errc() && at == end;
}

// "index:count,index:count..." (empty: no bucket).
bool read_buckets(std::string_view field, std::vector<std::pair<uint64_t, uint64_t>>& out) {
    while (!field.empty()) {
        const size_t comma = field.find(',');
        const std::string_view one = field.substr(0, comma);
        const size_t colon = one.find(':');
        uint64_t index = 0, count = 0;
        if (colon == std::string_view::npos || !read_number(one.substr(0, colon), index) ||
            !read_number(one.substr(colon + 1), count))
            return false;
        out.emplace_back(index, count);
        field = comma == std::string_view::npos ? std::string_view() : field.substr(comma + 1);
        if (comma != std::string_view::npos && field.empty()) return false;
    }
    return true;
}

// The buckets as "index:count,index:count..." after a tab.
void put_buckets(std::string& out, const std::vector<std::pair<uint64_t, uint64_t>>& buckets) {
    out += '\t';
    for (size_t i = 0; i < buckets.size(); ++i) {
        if (i != 0) out += ',';
        out += std::to_string(buckets[i].first);
        out += ':';
        out += std::to_string(buckets[i].second);
    }
}

size_t fields_of(WireMessage::Kind kind) {
    using K = WireMessage::Kind;
    switch (kind) {
    case K::Text: return 3;
    case K::Second: return 2;
    case K::Stats: return 7;
    case K::Errors: return 4;
    case K::Job: return 5;
    case K::ConnectFailed: return 3;
    case K::Lost: case K::Ready: return 1;
    case K::End: return 5;
    case K::Passes: case K::Lag: return 4;
    }
    return 0;
}
}  // namespace

const char* job_end_text(JobEnd end) {
    const auto i = static_cast<size_t>(end);
    return i < kEnds ? kEndTexts[i] : "?";
}

std::string wire_encode(const WireMessage& m) {
    using K = WireMessage::Kind;
    std::string out(1, static_cast<char>(m.kind));
    switch (m.kind) {
    case K::Text:
        put_number(out, m.id);
        put_text(out, m.text);
        break;
    case K::Second:
        put_number(out, m.id);
        break;
    case K::Stats: {
        for (uint64_t n : {m.id, m.count, m.errors, m.sum, m.max}) put_number(out, n);
        put_buckets(out, m.buckets);
        break;
    }
    case K::Passes:
    case K::Lag:
        put_number(out, m.sum);
        put_number(out, m.max);
        put_buckets(out, m.buckets);
        break;
    case K::Errors:
        put_number(out, m.count);
        put_text(out, m.state);
        put_text(out, m.message);
        break;
    case K::Job:
        for (uint64_t n : {m.failed, m.passes, m.late, m.skipped}) put_number(out, n);
        break;
    case K::ConnectFailed:
        put_text(out, m.state);
        put_text(out, m.message);
        break;
    case K::Lost:
    case K::Ready:
        break;
    case K::End:
        put_number(out, m.micros);
        put_number(out, static_cast<uint64_t>(m.end));
        put_number(out, m.outputLost ? 1 : 0);
        put_number(out, m.firstPass);
        break;
    }
    out += '\n';
    return out;
}

bool wire_decode(std::string_view line, WireMessage& m, std::string& why) {
    using K = WireMessage::Kind;
    m = WireMessage{};
    const std::vector<std::string> f = split_fields(line);
    const std::string& kind = f[0];
    if (kind.size() != 1 || std::string_view("TSEJCLZPGRI").find(kind[0]) == std::string_view::npos) {
        why = "unknown message";
        return false;
    }
    m.kind = static_cast<K>(kind[0]);
    if (f.size() != fields_of(m.kind)) {
        why = "wrong number of fields";
        return false;
    }
    bool ok = true;
    switch (m.kind) {
    case K::Text:
        ok = read_number(f[1], m.id);
        m.text = f[2];
        break;
    case K::Second:
        ok = read_number(f[1], m.id);
        break;
    case K::Stats:
        ok = read_number(f[1], m.id) && read_number(f[2], m.count) && read_number(f[3], m.errors) &&
             read_number(f[4], m.sum) && read_number(f[5], m.max) && read_buckets(f[6], m.buckets);
        break;
    case K::Errors:
        ok = read_number(f[1], m.count);
        m.state = f[2];
        m.message = f[3];
        break;
    case K::Job:
        ok = read_number(f[1], m.failed) && read_number(f[2], m.passes) && read_number(f[3], m.late) &&
             read_number(f[4], m.skipped);
        break;
    case K::Passes:
    case K::Lag:
        ok = read_number(f[1], m.sum) && read_number(f[2], m.max) && read_buckets(f[3], m.buckets);
        break;
    case K::ConnectFailed:
        m.state = f[1];
        m.message = f[2];
        break;
    case K::Lost:
    case K::Ready:
        break;
    case K::End: {
        uint64_t end = 0, lost = 0;
        ok = read_number(f[1], m.micros) && read_number(f[2], end) && end < kEnds && read_number(f[3], lost) &&
             lost <= 1 && read_number(f[4], m.firstPass);
        m.end = static_cast<JobEnd>(end);
        m.outputLost = lost == 1;
        break;
    }
    }
    if (!ok) why = "a field that is not a number";
    return ok;
}
