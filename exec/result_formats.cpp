// Result-set layouts beside the tab-separated one: CSV (RFC 4180, LF line
// ends), JSON Lines, aligned columns and expanded records.
#include "zvunicode.h"
#include "isqlformat.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cwchar>
#include <strings.h>

namespace {

struct FormatName {
    const char* name;
    OutputFormat format;
};
constexpr FormatName kFormatNames[] = {
    {"tsv", OutputFormat::Tsv},         {"csv", OutputFormat::Csv},
    {"json", OutputFormat::Json},       {"aligned", OutputFormat::Aligned},
    {"expanded", OutputFormat::Expanded},
};

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr uint32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The next character of text in the locale's code set: its code and byte
// length; an undecodable byte gives U+FFFD and 1.
size_t next_char(std::string_view text, bool utf8, uint32_t& c) {
    if (static_cast<unsigned char>(text[0]) < 0x80) {
        c = static_cast<unsigned char>(text[0]);
        return 1;
    }
    if (utf8) {
        size_t n = utf8_sequence(text, c);
        if (n != 0) return n;
    } else {
        std::mbstate_t state{};
        wchar_t wc;
        size_t n = std::mbrtowc(&wc, text.data(), text.size(), &state);
        if (n != 0 && n <= text.size()) {
            c = static_cast<uint32_t>(wc);
            return n;
        }
    }
    c = kReplacement;
    return 1;
}

}  // namespace

std::optional<OutputFormat> isql_format_by_name(std::string_view name) {
    for (const FormatName& f : kFormatNames)
        if (name.size() == std::char_traits<char>::length(f.name) &&
            strncasecmp(name.data(), f.name, name.size()) == 0)
            return f.format;
    return std::nullopt;
}

const char* isql_format_name(OutputFormat format) {
    for (const FormatName& f : kFormatNames)
        if (f.format == format) return f.name;
    return "tsv";
}

bool csv_needs_quotes(std::string_view text) {
    if (text.empty()) return true;
#if defined(__SSE2__)
    // Sixteen bytes at a time, the last piece copied into zeros (no zero
    // byte needs quotes).
    const auto special = [](const char* p) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(',')), _mm_cmpeq_epi8(x, _mm_set1_epi8('"'))),
                                         _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\r'))));
        return _mm_movemask_epi8(hit) != 0;
    };
    size_t k = 0;
    for (; text.size() - k >= 16; k += 16)
        if (special(text.data() + k)) return true;
    if (k == text.size()) return false;
    char last[16] = {};
    std::memcpy(last, text.data() + k, text.size() - k);
    return special(last);
#else
    for (char ch : text)
        if (ch == ',' || ch == '"' || ch == '\n' || ch == '\r') return true;
    return false;
#endif
}

void csv_append_field(std::string& out, std::string_view text) {
    if (!csv_needs_quotes(text)) {
        out.append(text);
        return;
    }
    out.push_back('"');
    for (char ch : text) {
        if (ch == '"') out.push_back('"');
        out.push_back(ch);
    }
    out.push_back('"');
}

void json_append_string(std::string& out, std::string_view text, bool utf8Locale) {
    out.push_back('"');
    while (!text.empty()) {
        const auto b = static_cast<unsigned char>(text[0]);
        if (b >= 0x20 && b < 0x80 && b != '"' && b != '\\') {
            out.push_back(static_cast<char>(b));
            text.remove_prefix(1);
            continue;
        }
        if (b < 0x80) {
            out.push_back('\\');
            switch (b) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '\n': out.push_back('n'); break;
            case '\r': out.push_back('r'); break;
            case '\t': out.push_back('t'); break;
            case '\b': out.push_back('b'); break;
            case '\f': out.push_back('f'); break;
            default:
                out.append("u00");
                out.push_back(kHexDigits[b >> 4]);
                out.push_back(kHexDigits[b & 0xF]);
            }
            text.remove_prefix(1);
            continue;
        }
        uint32_t c;
        const size_t n = next_char(text, utf8Locale, c);
        if (utf8Locale && c != kReplacement)
            out.append(text.substr(0, n));  // already well-formed UTF-8
        else
            append_utf8(out, c);
        text.remove_prefix(n);
    }
    out.push_back('"');
}

namespace {

// True when none of the eight bytes of x needs escaping in a JSON string or
// starts a multi-byte character: all are in 0x20..0x7F but '"' and '\\'.
// Each test finds a byte in all eight lanes at once; the has-zero form is
// exact once no lane has its top bit set.
bool json_plain_ascii8(uint64_t x) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    const auto hasZero = [](uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
    if ((x & kHighs) != 0) return false;
    if (((x - 0x20 * kOnes) & ~x & kHighs) != 0) return false;  // a control character
    return !hasZero(x ^ ('"' * kOnes)) && !hasZero(x ^ ('\\' * kOnes));
}

}  // namespace

bool json_is_number(std::string_view t) {
    size_t i = 0;
    const auto digit = [&](size_t k) { return k < t.size() && t[k] >= '0' && t[k] <= '9'; };
    const auto digits = [&]() {
        size_t start = i;
        while (digit(i)) ++i;
        return i > start;
    };
    if (i < t.size() && t[i] == '-') ++i;
    if (!digit(i)) return false;
    if (t[i] == '0')
        ++i;
    else
        digits();
    if (i < t.size() && t[i] == '.') {
        ++i;
        if (!digits()) return false;
    }
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        if (!digits()) return false;
    }
    return i == t.size();
}

size_t display_width(std::string_view text) {
    size_t width = 0;
    std::mbstate_t state{};
    while (!text.empty()) {
        const auto b = static_cast<unsigned char>(text[0]);
        if (b >= 0x20 && b < 0x7F) {
            ++width;
            text.remove_prefix(1);
            continue;
        }
        wchar_t wc;
        size_t n = std::mbrtowc(&wc, text.data(), text.size(), &state);
        if (n == 0 || n > text.size()) {
            state = std::mbstate_t{};
            ++width;
            text.remove_prefix(1);
            continue;
        }
        const int w = wcwidth(wc);
        width += w > 0 ? static_cast<size_t>(w) : 0;
        text.remove_prefix(n);
    }
    return width;
}

void append_hex(std::string& out, const char* bytes, size_t n) {
    if (bytes == nullptr) return;
    for (size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out.push_back(kHexDigits[b >> 4]);
        out.push_back(kHexDigits[b & 0xF]);
    }
}

void append_one_line(std::string& out, std::string_view text) {
    for (char ch : text) {
        switch (ch) {
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default: out.push_back(ch);
        }
    }
}

namespace {

// The cut form of text: as many whole characters as leave room in width for
// the marker, then the marker.
std::string cut_to_width(std::string_view text, size_t width, bool utf8) {
    const std::string_view marker = utf8 ? "\u2026" : "~";
    std::string out;
    size_t used = 0;
    std::mbstate_t state{};
    while (!text.empty()) {
        wchar_t wc;
        size_t n = std::mbrtowc(&wc, text.data(), text.size(), &state);
        int w = 1;
        if (n == 0 || n > text.size()) {
            state = std::mbstate_t{};
            n = 1;
        } else {
            w = std::max(wcwidth(wc), 0);
        }
        if (used + static_cast<size_t>(w) + 1 > width) break;
        out.append(text.substr(0, n));
        used += static_cast<size_t>(w);
        text.remove_prefix(n);
    }
    out.append(marker);
    return out;
}

void pad(std::string& out, size_t n) { out.append(n, ' '); }

}  // namespace

RowFormatter::RowFormatter(OutputFormat format, std::vector<FormatColumn> columns, bool utf8Locale)
    : format_(format), columns_(std::move(columns)), utf8_(utf8Locale) {
    if (format_ == OutputFormat::Json) {
        // Keys must differ: a repeated name gets "_2", "_3", ..., skipping
        // any that is taken or that another column is called.
        std::vector<std::string> names;
        const auto taken = [&](const std::string& name) {
            return std::find(names.begin(), names.end(), name) != names.end() ||
                   std::any_of(columns_.begin(), columns_.end(),
                               [&](const FormatColumn& o) { return o.name == name; });
        };
        for (const FormatColumn& c : columns_) {
            std::string name = c.name;
            if (std::find(names.begin(), names.end(), name) != names.end())
                for (int n = 2; taken(name = c.name + "_" + std::to_string(n)); ++n) {
                }
            names.push_back(name);
            std::string key(opens_.empty() ? "{" : ",");
            json_append_string(key, name, utf8_);
            key.push_back(':');
            opens_.push_back(c.numeric ? key : key + '"');
            nulls_.push_back(key + "null");
        }
    }
    for (const FormatColumn& c : columns_) {
        std::string shown;
        append_one_line(shown, c.name);
        nameWidth_ = std::max(nameWidth_, display_width(shown));
    }
}

void RowFormatter::header(std::string& out) {
    if (format_ != OutputFormat::Csv) return;
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (i != 0) out.push_back(',');
        csv_append_field(out, columns_[i].name);
    }
    out.push_back('\n');
}

size_t RowFormatter::begin_other_value(std::string& out, bool isNull) {
    const size_t i = column_;
    switch (format_) {
    case OutputFormat::Json:
        // The separator and the key, and the quote of a string (taken back
        // if the text needs escaping), in one piece.
        if (i >= opens_.size()) break;
        out.append(isNull ? nulls_[i] : opens_[i]);
        break;
    default: break;
    }
    return out.size();
}

// Most values need no quoting or escaping: they are checked where the caller
// wrote them, and only the rare one is copied out and written again.
void RowFormatter::end_other_value(std::string& out, size_t start, bool isNull, bool plain) {
    const size_t i = column_++;
    const std::string_view text(out.data() + start, out.size() - start);
    switch (format_) {
    case OutputFormat::Csv:
        if (isNull || plain) return;
        if (csv_needs_quotes(text)) {
            const std::string copy(text);
            out.resize(start);
            csv_append_field(out, copy);
        }
        return;
    case OutputFormat::Json: {
        if (isNull) return;
        const bool numeric = i < columns_.size() && columns_[i].numeric;
        if (numeric && (plain || (columns_[i].integer && !text.empty()) || json_is_number(text))) return;
        if (!numeric && (plain || json_plain(text))) {
            out.push_back('"');
            return;
        }
        const std::string copy(text);
        out.resize(numeric ? start : start - 1);
        json_append_string(out, copy, utf8_);
        return;
    }
    default: {
        std::string cell;
        if (isNull)
            cell = "NULL";
        else
            append_one_line(cell, text);
        out.resize(start);
        cells_.push_back(std::move(cell));
        return;
    }
    }
}

void RowFormatter::value(std::string& out, std::string_view text, bool isNull) {
    const size_t start = begin_value(out, isNull);
    if (!isNull) out.append(text);
    end_value(out, start, isNull);
}

// True when text goes into a JSON string as it is: no quote, backslash or
// control character, and (in a UTF-8 locale) well-formed UTF-8.
bool RowFormatter::json_plain(std::string_view text) const {
    for (size_t k = 0; k < text.size();) {
#if defined(__SSE2__)
        // Most text is plain ASCII: sixteen bytes at a time, the last piece
        // padded with a plain byte. As signed bytes, those below 0x20 and
        // those from 0x80 on are all less than 0x20.
        {
            char last[16];
            const char* p = text.data() + k;
            const size_t left = text.size() - k;
            if (left < 16) {
                std::memset(last, 'a', sizeof last);
                std::memcpy(last, p, left);
                p = last;
            }
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i hit = _mm_or_si128(_mm_cmplt_epi8(x, _mm_set1_epi8(0x20)),
                                             _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')),
                                                          _mm_cmpeq_epi8(x, _mm_set1_epi8('\\'))));
            if (_mm_movemask_epi8(hit) == 0) {
                k += std::min<size_t>(left, 16);
                continue;
            }
        }
#endif
        // Eight bytes at a time.
        if (text.size() - k >= 8) {
            uint64_t eight;
            std::memcpy(&eight, text.data() + k, 8);
            if (json_plain_ascii8(eight)) {
                k += 8;
                continue;
            }
        }
        const auto b = static_cast<unsigned char>(text[k]);
        if (b < 0x80) {
            if (b < 0x20 || b == '"' || b == '\\') return false;
            ++k;
            continue;
        }
        uint32_t c;
        const size_t n = utf8_ ? utf8_sequence(text.substr(k), c) : 0;
        if (n == 0) return false;
        k += n;
    }
    return true;
}

void RowFormatter::end_row(std::string& out) {
    column_ = 0;
    switch (format_) {
    case OutputFormat::Csv: out.push_back('\n'); return;
    case OutputFormat::Json:
        out.append(columns_.empty() ? "{}\n" : "}\n");
        return;
    case OutputFormat::Expanded: {
        ++record_;
        out.append("-[ RECORD " + std::to_string(record_) + " ]\n");
        for (size_t i = 0; i < cells_.size() && i < columns_.size(); ++i) {
            std::string name;
            append_one_line(name, columns_[i].name);
            out.append(name);
            pad(out, nameWidth_ - display_width(name));
            out.append(" | ");
            out.append(cells_[i]);
            out.push_back('\n');
        }
        cells_.clear();
        return;
    }
    default:
        if (widthsDecided_) {
            aligned_row(out, cells_);
            cells_.clear();
            return;
        }
        sample_.push_back(std::move(cells_));
        cells_.clear();
        if (sample_.size() >= kAlignedSampleRows) decide_widths(out);
        return;
    }
}

void RowFormatter::finish(std::string& out) {
    if (format_ == OutputFormat::Aligned && !widthsDecided_) decide_widths(out);
}

// Widths from the names and the rows held so far; writes the header, its rule
// and those rows.
void RowFormatter::decide_widths(std::string& out) {
    widthsDecided_ = true;
    std::vector<std::string> names;
    widths_.assign(columns_.size(), 0);
    for (size_t i = 0; i < columns_.size(); ++i) {
        std::string name;
        append_one_line(name, columns_[i].name);
        widths_[i] = display_width(name);
        names.push_back(std::move(name));
    }
    for (const auto& row : sample_)
        for (size_t i = 0; i < row.size() && i < widths_.size(); ++i)
            widths_[i] = std::max(widths_[i], display_width(row[i]));
    // The header is left-aligned whatever the column holds.
    for (size_t i = 0; i < names.size(); ++i) {
        out.append(i == 0 ? " " : " | ");
        out.append(names[i]);
        if (i + 1 < names.size()) pad(out, widths_[i] - display_width(names[i]));
    }
    out.push_back('\n');
    for (size_t i = 0; i < widths_.size(); ++i) {
        if (i != 0) out.push_back('+');
        out.append(widths_[i] + 2, '-');
    }
    out.push_back('\n');
    for (const auto& row : sample_) aligned_row(out, row);
    sample_.clear();
    sample_.shrink_to_fit();
}

void RowFormatter::aligned_row(std::string& out, const std::vector<std::string>& cells) {
    for (size_t i = 0; i < cells.size() && i < widths_.size(); ++i) {
        out.append(i == 0 ? " " : " | ");
        // The last column cuts nothing: its width moves no other column.
        const bool last = i + 1 == cells.size();
        const bool cut = !last && display_width(cells[i]) > widths_[i];
        const std::string shown = cut ? cut_to_width(cells[i], widths_[i], utf8_) : cells[i];
        const size_t room = widths_[i] - std::min(widths_[i], display_width(shown));
        if (columns_[i].numeric && !cut) pad(out, room);
        out.append(shown);
        if ((!columns_[i].numeric || cut) && !last) pad(out, room);
    }
    out.push_back('\n');
}
