// Output formats of result sets beside the tab-separated default: CSV, JSON
// Lines, aligned columns and expanded records. Pure text work: no ODBC calls
// and no output; the row printer hands each formatted value in and writes
// what comes back.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class OutputFormat { Tsv, Csv, Json, Aligned, Expanded };

// The format of a name as --format, \format and the Format key take it
// (case-insensitive); nothing for another name.
std::optional<OutputFormat> isql_format_by_name(std::string_view name);
const char* isql_format_name(OutputFormat format);
// CSV and JSON keep the results stream for the rows alone: every other line
// that would go there goes to the error stream.
inline bool isql_format_is_data_only(OutputFormat f) {
    return f == OutputFormat::Csv || f == OutputFormat::Json;
}

// ---- the pieces, exposed for tests ------------------------------------------
// One CSV field: quoted when it holds a comma, quote, CR or LF, or is empty
// (so that an empty text differs from NULL, an empty unquoted field).
void csv_append_field(std::string& out, std::string_view text);
bool csv_needs_quotes(std::string_view text);
// A JSON string of text in the locale's multibyte code set. The result is
// always valid UTF-8: bytes that do not decode become U+FFFD.
void json_append_string(std::string& out, std::string_view text, bool utf8Locale);
// True when text is a number by JSON's grammar ("1E+20" is, "INF" and ".5"
// are not).
bool json_is_number(std::string_view text);
// Columns text takes on a terminal in the current locale: wide and combining
// characters counted as wcwidth says, an undecodable byte as one.
size_t display_width(std::string_view text);
// Two lowercase hex digits per byte.
void append_hex(std::string& out, const char* bytes, size_t n);
// Text made safe for one line of a column: CR, LF and TAB become \r, \n, \t.
void append_one_line(std::string& out, std::string_view text);

// ---- the formatter ------------------------------------------------------------
struct FormatColumn {
    std::string name;     // multibyte, as the header shows it
    bool numeric = false;  // JSON number, right-aligned
    bool integer = false;  // its text is always a JSON number: no need to check it
};

// Lays out the rows of one result set in a format other than Tsv. Each call
// appends the text to write next to out; nothing is written by itself.
class RowFormatter {
public:
    // Rows whose cells decide the widths of the aligned format; later rows
    // are padded to them, or cut where they are wider.
    static constexpr size_t kAlignedSampleRows = 1000;

    RowFormatter(OutputFormat format, std::vector<FormatColumn> columns, bool utf8Locale);
    void header(std::string& out);
    // The next value of the current row, in three steps: begin_value returns
    // where its text starts in out; the caller appends the text there (none
    // for NULL); end_value lays it out, quoting or escaping where needed.
    size_t begin_value(std::string& out, bool isNull) {
        if (format_ != OutputFormat::Csv) return begin_other_value(out, isNull);
        if (column_ != 0) out.append(1, ',');
        return out.size();
    }
    // plain: the caller knows the text needs no quoting or escaping in any
    // format (a number or a timestamp it wrote itself; a number that is
    // also a JSON number in a numeric column).
    void end_value(std::string& out, size_t start, bool isNull, bool plain = false) {
        // Plain text in csv and json is done here, the rest out of line.
        if (!plain || isNull || (format_ != OutputFormat::Csv && format_ != OutputFormat::Json) ||
            column_ >= columns_.size())
            return end_other_value(out, start, isNull, plain);
        if (format_ == OutputFormat::Json && !columns_[column_].numeric) out.append(1, '"');
        ++column_;
    }
    // The three steps with the text at hand.
    void value(std::string& out, std::string_view text, bool isNull);
    void end_row(std::string& out);
    // For JSON rows written in place by the caller: the text before value i
    // (the separator, the key, "null" for NULL, the quote of a string), and
    // whether the value goes in as it is (a string needs its closing quote
    // after it; a number column's text must be a JSON number).
    std::string_view json_before(size_t i, bool isNull) const { return isNull ? nulls_[i] : opens_[i]; }
    bool json_numeric(size_t i) const { return columns_[i].numeric; }
    bool json_fits(size_t i, std::string_view text) const {
        if (!columns_[i].numeric) return json_plain(text);
        return (columns_[i].integer && !text.empty()) || json_is_number(text);
    }
    // After the last row: the aligned format writes what it still holds.
    void finish(std::string& out);

private:
    size_t begin_other_value(std::string& out, bool isNull);
    void end_other_value(std::string& out, size_t start, bool isNull, bool plain);
    bool json_plain(std::string_view text) const;
    void decide_widths(std::string& out);
    void aligned_row(std::string& out, const std::vector<std::string>& cells);

    OutputFormat format_;
    std::vector<FormatColumn> columns_;
    bool utf8_;
    // JSON: '{' or ',', the quoted unique key, ':', and then the quote of a
    // string, or null.
    std::vector<std::string> opens_, nulls_;
    std::vector<std::string> cells_;          // aligned/expanded: the current row
    std::vector<std::vector<std::string>> sample_;  // aligned: rows before the widths
    std::vector<size_t> widths_;
    bool widthsDecided_ = false;
    size_t nameWidth_ = 0;                    // expanded: widest column name
    long long record_ = 0;                    // expanded: records so far
    size_t column_ = 0;                       // next column of the current row
};
