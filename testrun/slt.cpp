// sqllogictest files: parsing their records, converting values the way the
// format prints them, and writing completed result sections back.
#include "slt.h"

#include <md5.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <map>

namespace {

bool is_blank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

bool is_comment(const std::string& line) { return !line.empty() && line[0] == '#'; }

// The whitespace-separated words of a line.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (true) {
        i = line.find_first_not_of(" \t", i);
        if (i == std::string::npos) return out;
        const size_t j = line.find_first_of(" \t", i);
        out.push_back(line.substr(i, j == std::string::npos ? std::string::npos : j - i));
        if (j == std::string::npos) return out;
        i = j;
    }
}

// Words of a keyword line up to a trailing "# comment", which files use to
// say why a condition is there ("skipif mysql # no FULL JOIN").
std::vector<std::string> keyword_words(const std::string& line) {
    std::vector<std::string> w = words(line);
    const auto hash = std::find_if(w.begin() + (w.empty() ? 0 : 1), w.end(),
                                   [](const std::string& s) { return s[0] == '#'; });
    w.erase(hash, w.end());
    return w;
}

// The text after the word "error" on line, trimmed: the pattern the
// diagnostic must match. It may hold spaces and '#', so it is not split.
std::string error_text(const std::string& line) {
    const size_t at = line.find("error");
    if (at == std::string::npos) return "";
    const size_t b = line.find_first_not_of(" \t", at + 5);
    if (b == std::string::npos) return "";
    const size_t e = line.find_last_not_of(" \t");
    return line.substr(b, e + 1 - b);
}

// Case-insensitive ASCII equality, for engine names.
bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if ((x >= 'A' && x <= 'Z' ? x + 32 : x) != (y >= 'A' && y <= 'Z' ? y + 32 : y)) return false;
    }
    return true;
}

// Values come from the data source with a '.' decimal point whatever
// locale the session runs in, so numbers are read in the "C" locale.
locale_t c_locale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

struct Parser {
    const std::vector<std::string>& lines;
    std::vector<SltRecord>& records;
    std::string& error;
    size_t i = 0;

    bool fail(size_t index, const std::string& what) {
        error = "line " + std::to_string(index + 1) + ": " + what;
        return false;
    }

    bool at_end() const { return i >= lines.size() || is_blank(lines[i]); }

    // SQL lines from i up to a blank line, the end, or (for queries) a
    // "----" line; comment lines are left out of the SQL.
    void read_sql(SltRecord& r, bool stopAtSeparator) {
        bool first = true;
        for (; !at_end(); ++i) {
            if (stopAtSeparator && lines[i] == "----") break;
            if (is_comment(lines[i])) continue;
            if (!first) r.sql += '\n';
            r.sql += lines[i];
            first = false;
        }
    }

    // One statement record; i is at its keyword line.
    bool statement(SltRecord& r, const std::vector<std::string>& w) {
        r.kind = SltRecord::Kind::Statement;
        if (w.size() < 2) return fail(i, "statement needs ok or error");
        if (w[1] == "error") {
            r.expectError = true;
            r.errorPattern = error_text(lines[i]);
        } else if (w[1] != "ok") {
            return fail(i, "statement needs ok or error, not '" + w[1] + "'");
        } else if (w.size() > 2) {
            return fail(i, "unexpected '" + w[2] + "' after statement ok");
        }
        const size_t keyword = i++;
        read_sql(r, false);
        if (r.sql.empty()) return fail(keyword, "statement without SQL");
        r.end = i;
        return true;
    }

    // One query record; i is at its keyword line.
    bool query(SltRecord& r, const std::vector<std::string>& w) {
        r.kind = SltRecord::Kind::Query;
        const size_t keyword = i;
        if (w.size() < 2) return fail(i, "query needs column types");
        if (w[1] == "error") {
            r.expectError = true;
            r.errorPattern = error_text(lines[i]);
        } else {
            for (const char c : w[1])
                if (c != 'I' && c != 'T' && c != 'R')
                    return fail(i, std::string("column type '") + c + "' is not I, T or R");
            r.types = w[1];
            if (w.size() > 2) {
                if (w[2] == "nosort") r.sort = SltSort::NoSort;
                else if (w[2] == "rowsort") r.sort = SltSort::RowSort;
                else if (w[2] == "valuesort") r.sort = SltSort::ValueSort;
                else return fail(i, "unknown sort mode '" + w[2] + "'");
            }
            if (w.size() > 3) r.label = w[3];
            if (w.size() > 4) return fail(i, "unexpected '" + w[4] + "' after the query's label");
        }
        ++i;
        read_sql(r, true);
        if (r.sql.empty()) return fail(keyword, "query without SQL");
        if (i < lines.size() && lines[i] == "----") {
            if (r.expectError) return fail(i, "query error with a result section");
            r.hasSeparator = true;
            r.resultBegin = ++i;
            for (; !at_end(); ++i) r.expected.push_back(lines[i]);
        }
        r.end = i;
        return true;
    }

    // The record starting at i (a condition or keyword line, not blank).
    bool record() {
        SltRecord r;
        r.begin = i;
        std::vector<std::string> w = keyword_words(lines[i]);
        while (!w.empty() && (w[0] == "skipif" || w[0] == "onlyif")) {
            if (w.size() < 2) return fail(i, w[0] + " needs an engine name");
            if (w.size() > 2) return fail(i, "unexpected '" + w[2] + "' after " + w[0] + " " + w[1]);
            r.conditions.push_back({w[0] == "onlyif", w[1]});
            const size_t condition = i++;
            while (i < lines.size() && is_comment(lines[i])) ++i;
            if (at_end()) return fail(condition, w[0] + " without a record");
            w = keyword_words(lines[i]);
        }
        r.line = static_cast<int>(i + 1);
        if (w[0] == "statement") {
            if (!statement(r, w)) return false;
        } else if (w[0] == "query") {
            if (!query(r, w)) return false;
        } else if (w[0] == "hash-threshold") {
            r.kind = SltRecord::Kind::HashThreshold;
            long long n = -1;
            if (w.size() == 2) {
                const auto [end, ec] = std::from_chars(w[1].data(), w[1].data() + w[1].size(), n);
                if (ec != std::errc() || end != w[1].data() + w[1].size()) n = -1;
            }
            if (n < 0) return fail(i, "hash-threshold needs a non-negative integer");
            r.threshold = n;
            r.end = ++i;
        } else if (w[0] == "halt") {
            r.kind = SltRecord::Kind::Halt;
            if (w.size() > 1) return fail(i, "unexpected '" + w[1] + "' after halt");
            r.end = ++i;
        } else {
            return fail(i, "unknown record '" + w[0] + "'");
        }
        records.push_back(std::move(r));
        return true;
    }

    bool run() {
        while (i < lines.size()) {
            if (is_blank(lines[i]) || is_comment(lines[i])) {
                ++i;
                continue;
            }
            if (!record()) return false;
        }
        return true;
    }
};

}  // namespace

// Splits text into lines (dropping one '\r' before each '\n' and the empty
// line a final '\n' would give), then reads the records in order. Records
// are separated by blank lines; hash-threshold and halt take one line.
bool slt_parse(const std::string& text, SltFile& file, std::string& error) {
    file = SltFile();
    error.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        file.lines.push_back(std::move(line));
        start = nl + 1;
    }
    Parser p{file.lines, file.records, error};
    return p.run();
}

bool slt_applies(const SltRecord& r, const std::string& engine) {
    for (const SltCondition& c : r.conditions)
        if (c.only != same_name(c.engine, engine)) return false;
    return true;
}

// NULL and the empty string have their own words; I is the integer the text
// begins with (a real truncated toward zero), R has three decimals, and
// text has its control characters shown as '@' so results stay one line.
std::string slt_value(char type, const std::optional<std::string>& value) {
    if (!value) return "NULL";
    const std::string& v = *value;
    if (v.empty()) return "(empty)";
    const size_t first = v.find_first_not_of(' ');
    const char* const start = v.c_str() + (first == std::string::npos ? v.size() : first);
    if (type == 'I') {
        char* intEnd = nullptr;
        const long long n = std::strtoll(start, &intEnd, 10);
        // Only a decimal point or an exponent makes it a real: hex, "inf"
        // and "nan" are no integers and print as 0.
        const char* after = intEnd;
        if (after == start && (*after == '-' || *after == '+')) ++after;
        if (*after == '.' || *after == 'e' || *after == 'E') {
            char* realEnd = nullptr;
            const double d = strtod_l(start, &realEnd, c_locale());
            if (realEnd > intEnd) {
                const double t = std::trunc(d);
                if (t >= 9223372036854775807.0) return std::to_string(LLONG_MAX);
                if (t <= -9223372036854775808.0) return std::to_string(LLONG_MIN);
                return std::to_string(static_cast<long long>(t));
            }
        }
        return std::to_string(n);
    }
    if (type == 'R') {
        const double d = strtod_l(start, nullptr, c_locale());
        // to_chars prints as "%.3f" does in the "C" locale, whatever the
        // session's LC_NUMERIC.
        char buf[400];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, 3);
        if (ec != std::errc()) return "0.000";
        return std::string(buf, end);
    }
    std::string out = v;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '@';
    return out;
}

// Several columns are written one row per line unless the expected lines
// are a hash or have too few spaces to hold a row each.
bool slt_row_layout(const std::vector<std::string>& expected, size_t ncols) {
    if (ncols <= 1 || expected.empty()) return false;
    if (expected.size() == 1) {
        const std::string& s = expected[0];
        const std::string mid = " values hashing to ";
        const size_t digits = s.find_first_not_of("0123456789");
        if (digits != std::string::npos && digits > 0 && s.compare(digits, mid.size(), mid) == 0) {
            const std::string hex = s.substr(digits + mid.size());
            if (hex.size() == 32 && hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos)
                return false;
        }
    }
    for (const std::string& line : expected)
        if (static_cast<size_t>(std::count(line.begin(), line.end(), ' ')) < ncols - 1) return false;
    return true;
}

// Sorts (rows compared value by value, or all values alone), then either
// the hash line when there are more values than a positive threshold, or
// the values one per line or one row per line. A short last row stays short.
std::vector<std::string> slt_result_lines(SltSort sort, std::vector<std::string> values, size_t ncols,
                                          long long threshold, bool rowLayout) {
    if (ncols == 0) ncols = 1;
    if (sort == SltSort::ValueSort) {
        std::sort(values.begin(), values.end());
    } else if (sort == SltSort::RowSort) {
        std::vector<std::vector<std::string>> rows;
        for (size_t i = 0; i < values.size(); i += ncols)
            rows.emplace_back(std::make_move_iterator(values.begin() + i),
                              std::make_move_iterator(values.begin() + std::min(values.size(), i + ncols)));
        std::sort(rows.begin(), rows.end());
        values.clear();
        for (auto& row : rows)
            for (auto& v : row) values.push_back(std::move(v));
    }
    if (threshold > 0 && values.size() > static_cast<unsigned long long>(threshold)) {
        std::string all;
        for (const std::string& v : values) all += v + "\n";
        return {std::to_string(values.size()) + " values hashing to " + slt_md5_hex(all)};
    }
    if (!rowLayout || ncols == 1) return values;
    std::vector<std::string> out;
    for (size_t i = 0; i < values.size(); i += ncols) {
        std::string line = values[i];
        for (size_t j = i + 1; j < std::min(values.size(), i + ncols); ++j) line += " " + values[j];
        out.push_back(std::move(line));
    }
    return out;
}

std::string slt_md5_hex(const std::string& bytes) {
    MD5_CTX ctx;
    MD5Init(&ctx);
    MD5Update(&ctx, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    unsigned char digest[MD5_DIGEST_LENGTH];
    MD5Final(digest, &ctx);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

// Copies the lines of file, swapping in each named query's new result
// section: after its "----" line when it has one, else after a "----" line
// added at its end. Indexes that name no query with results are ignored,
// and a record named twice takes its last lines.
std::string slt_complete(const SltFile& file, const std::vector<std::pair<size_t, std::vector<std::string>>>& results) {
    std::map<size_t, const std::vector<std::string>*> byRecord;
    for (const auto& [index, lines] : results)
        if (index < file.records.size() && file.records[index].kind == SltRecord::Kind::Query &&
            !file.records[index].expectError)
            byRecord[index] = &lines;

    const size_t n = file.lines.size();
    std::string out;
    size_t cursor = 0;
    auto copy_to = [&](size_t to) {
        for (; cursor < std::min(to, n); ++cursor) out += file.lines[cursor] + "\n";
    };
    for (const auto& [index, lines] : byRecord) {
        const SltRecord& r = file.records[index];
        const size_t end = std::max(cursor, std::min(r.end, n));
        if (r.hasSeparator) {
            copy_to(std::min(std::max(r.resultBegin, cursor), end));
        } else {
            copy_to(end);
            out += "----\n";
        }
        for (const std::string& line : *lines) out += line + "\n";
        cursor = end;
    }
    copy_to(n);
    return out;
}
