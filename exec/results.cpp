// Result-set printing: the header of column names, one tab-separated line per
// row, the closing count; the benchmark mode that only counts; and the column
// description table of DESCRIBE for a query.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <langinfo.h>
#include <memory>
#include <tuple>
#include <utility>

#include "isqlexec.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "value_text.h"

const wchar_t wsSqlNullable[] = L"SQL_NULLABLE";
const wchar_t wsSqlNoNulls[] = L"SQL_NO_NULLS";

namespace {

constexpr SQLSMALLINT kMaxResultCols = 10240;
constexpr SQLSMALLINT kColNameChars = 129;   // name buffer given to SQLDescribeColW
constexpr SQLSMALLINT kColNamePrinted = 128;  // longest name printed
constexpr int kFallbackBytes = 32767;          // buffer used when a large one cannot be had
constexpr size_t kRowFlushBytes = 64 * 1024;   // a row longer than this is written in pieces
constexpr size_t kRowReserveBytes = 4096;
// First SQLGetData of a long value. Small, because some drivers pad the whole
// buffer they are given; longer values double it on every further call.
constexpr SQLLEN kFirstLongChunk = 512;
// Room the exact numerics of csv, json, aligned, expanded and --lenient need
// beside the digits, the sign and the point: the zero before the point of a
// value below one ("-0.5" in numeric(1,1)).
constexpr SQLLEN kLeadingZeroBytes = 1;
// The formats other than tsv print a value whole or not at all: a value read
// with SQLGetData may grow to this many bytes.
constexpr SQLLEN kWholeValueBytes = 256 * 1024 * 1024;
// Benchmark mode: every column fetched as text into a buffer of its display
// size + 1, at most this many bytes; a longer value is read whole after.
constexpr SQLLEN kBenchmarkTextBytes = 256;

struct IsqlFree {
    void operator()(void* p) const { isql_free(p); }
};
using IsqlBlock = std::unique_ptr<char, IsqlFree>;

// One column of the current result set.
struct ResultColumn {
    SQLSMALLINT sqlType = 0;
    SQLULEN columnSize = 0;
    SQLSMALLINT targetType = 0;    // SQL_C_* chosen for the binding
    SQLLEN bufferLength = 0;       // bytes of buffer, as bound
    SQLLEN printBufferLength = 0;  // bound on the printable text of wide/binary values
    IsqlBlock buffer;              // fetch buffer; null when the column is not bound
    SQLLEN indicator = SQL_NULL_DATA;
    bool toFile = false;           // long value written to a file of its own
    bool viaGetData = false;       // long value read with SQLGetData instead of bound
    bool boundShort = false;       // viaGetData, but bound with a short buffer first
    SQLLEN shortLength = 0;        // bytes of that short buffer
    bool readWhole = false;        // lenient: text read up to the long-column cap
    bool hexOut = false;           // not Tsv: binary fetched as bytes, shown as hex digits
    // Exact values (formats other than Tsv, --lenient): how this column is
    // printed where the specified rules would not print what the database holds.
    enum class Exact { No, Signed, Unsigned, SignedByte, Float, Wide } exact = Exact::No;
    // The types most result sets hold, formatted where the row is written
    // (choose_inline_kinds); every other column goes through append_value.
    enum class Inline : unsigned char { No, Int32, Int16, Int64, Double, Shortest, Text, Timestamp } inlined = Inline::No;
    std::vector<char> longValue;   // the value of a viaGetData column, grown as needed
    SQLLEN longValueBytes = 0;     // bytes of longValue in use, terminator included
    char noRoom = 0;               // bind target of a column of an unsupported type
};

// A column name as SQLDescribeColW delivers it; big enough for either width
// of wide character.
struct ColumnName {
    wchar_t wide[kColNameChars + 1] = {};
    zvutf16 utf16[kColNameChars + 1] = {};
    SQLWCHAR* target() {
        return gUnicodeEnc ? reinterpret_cast<SQLWCHAR*>(utf16) : reinterpret_cast<SQLWCHAR*>(wide);
    }
};

bool is_long_type(SQLSMALLINT t) {
    return t == SQL_LONGVARCHAR || t == SQL_WLONGVARCHAR || t == SQL_LONGVARBINARY;
}

// Lenient mode and the formats other than tsv: a character column (in those
// formats a binary one too) gets the buffer of its long kind, read with
// SQLGetData like one, so a value longer than the declared size (SQLite does
// not enforce it) prints whole instead of cut. Values that fit print as ever.
void read_text_whole(ResultColumn& c, bool bytesToo) {
    SQLSMALLINT longType;
    switch (c.sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR: longType = SQL_LONGVARCHAR; break;
    case SQL_WCHAR:
    case SQL_WVARCHAR: longType = SQL_WLONGVARCHAR; break;
    case SQL_BINARY:
    case SQL_VARBINARY:
        if (!bytesToo) return;
        longType = SQL_LONGVARBINARY;
        break;
    default: return;
    }
    // Bound short, the buffer the declared size asks for is enough for most
    // values (drivers that fill the whole buffer fill less).
    if (c.bufferLength > 0) c.shortLength = std::min(c.bufferLength, kFirstLongChunk);
    c.bufferLength = isql_get_datalen(longType, 0, &c.targetType);
    c.printBufferLength = isql_get_printbuflen(c.sqlType, static_cast<int>(c.bufferLength));
    c.readWhole = true;
}

bool large_col_output() {
    const ClientState* first = gClientStateList.first();
    return first != nullptr && first->largeColOutput != 0;
}

// Describes column col into the out-parameters and name (widened from UTF-16
// with gUnicodeEnc). A failure is reported and whatever was delivered is used.
void describe_column(SQLHDBC hdbc, SQLHSTMT hstmt, SQLUSMALLINT col, ColumnName& name,
                     SQLSMALLINT* nameLength, SQLSMALLINT* sqlType, SQLULEN* columnSize,
                     SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
    name = ColumnName{};
    SQLRETURN rc = SQLDescribeColW(hstmt, col, name.target(), kColNameChars, nameLength, sqlType,
                                   columnSize, decimalDigits, nullable);
    if (rc != SQL_SUCCESS) print_err("SQLDescribeColW", hdbc, hstmt);
    if (gUnicodeEnc) {
        int units = 0;
        while (units < kColNameChars && name.utf16[units] != 0) ++units;
        utf16towcs(name.utf16, units, name.wide, kColNameChars);
        name.wide[units] = L'\0';
    }
    name.wide[kColNameChars] = L'\0';
}

// Cuts the name to what is printed and returns the length shown in a
// description: -3 for a name the driver gave as NUL-terminated, else the
// length after the cut. Other negative lengths are taken as NUL-terminated.
int cut_column_name(ColumnName& name, SQLSMALLINT nameLength) {
    if (nameLength == SQL_NTS) return SQL_NTS;
    int len = nameLength;
    if (len < 0) {
        len = 0;
        while (len < kColNamePrinted && name.wide[len] != L'\0') ++len;
    }
    if (len > kColNamePrinted) len = kColNamePrinted;
    name.wide[len] = L'\0';
    return len;
}

// Reads the number of result columns into ncols. -1 to go on; otherwise the
// caller returns the value: print_err's result when the count cannot be read,
// 0 (after the message) when there are more columns than are supported.
int count_columns(SQLHDBC hdbc, SQLHSTMT hstmt, SQLSMALLINT& ncols) {
    if (SQLNumResultCols(hstmt, &ncols) != SQL_SUCCESS)
        return print_err("SQLNumResultCols", hdbc, hstmt);
    if (ncols > kMaxResultCols) {
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: The number of result cols = %d exceed the maximum columns supported %d\n",
                   ncols, kMaxResultCols);
        return 0;
    }
    return -1;
}

// Allocates len bytes; a length without a usable size, or a large one that
// cannot be had, falls back to kFallbackBytes with a notice. On return len is
// the size of the block, which is null when even that failed.
IsqlBlock alloc_column_buffer(SQLLEN& len, int column) {
    IsqlBlock block;
    if (len >= 0) block.reset(static_cast<char*>(isql_alloc(static_cast<size_t>(len))));
    if (!block && (len < 0 || len > kFallbackBytes)) {
        len = kFallbackBytes;
        block.reset(static_cast<char*>(isql_alloc(kFallbackBytes)));
        if (!gTestMode)
            isql_trace(gfpResFile, TRACE_NOTICE, "Results of Column:%d are truncated.\n\n", column);
    }
    return block;
}

// What SQLGetData may read (SQL_GD_* bits); none when the driver does not say.
SQLUINTEGER getdata_extensions(SQLHDBC hdbc) {
    SQLUINTEGER extensions = 0;
    if (SQLGetInfo(hdbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr) !=
        SQL_SUCCESS)
        return 0;
    return extensions;
}

// Long columns are not bound with their full size: some drivers fill the
// whole multi-megabyte buffer of a bound long column on every fetch, whatever
// the value's length. They are read with SQLGetData instead, in growing
// chunks up to the same size a bound buffer would have, so the printed text
// is the same. Where the driver allows SQLGetData on bound columns, they are
// bound with a short buffer and read that way only when a value did not fit,
// which saves a call per row for the usual short value. Without the driver's
// leave to read any column with SQLGetData, only long columns after the last
// bound one qualify.
void choose_long_columns(SQLHDBC hdbc, std::vector<ResultColumn>& cols) {
    const SQLUINTEGER extensions = getdata_extensions(hdbc);
    const bool anyColumn = (extensions & SQL_GD_ANY_COLUMN) != 0;
    const bool bound = anyColumn && (extensions & SQL_GD_BOUND) != 0;
    bool inTail = true;  // still in the run of long columns that ends the row
    for (size_t i = cols.size(); i-- > 0;) {
        ResultColumn& c = cols[i];
        const bool isLong = (is_long_type(c.sqlType) || c.readWhole) && c.bufferLength > 0;
        if (!isLong) inTail = false;
        if (isLong && !c.toFile && (anyColumn || inTail)) {
            c.viaGetData = true;
            c.boundShort = bound;
        }
    }
}

SQLLEN terminator_bytes(const ResultColumn& c) {
    return c.targetType == SQL_C_WCHAR ? (gUnicodeEnc ? 2 : 4) : (c.targetType == SQL_C_BINARY ? 0 : 1);
}

// Reads the value of a viaGetData column of the current row as a bound fetch
// would have delivered it: at most bufferLength - terminator bytes, NUL
// terminated, with the indicator of the first call (the whole length).
void read_long_value(SQLHDBC hdbc, SQLHSTMT hstmt, SQLUSMALLINT column, ResultColumn& c) {
    const SQLLEN term = terminator_bytes(c);
    const SQLLEN cap = c.bufferLength;
    SQLLEN chunk = kFirstLongChunk;
    SQLLEN have = 0;
    // The indicator of the first call (the whole length), or 0 when there was
    // none. Kept apart until the end: a driver may write the indicator of a
    // column bound short at every call.
    SQLLEN whole = 0;
    bool first = true;
    for (;;) {
        SQLLEN room = std::min(cap, have + chunk) - have;
        try {
            if (static_cast<SQLLEN>(c.longValue.size()) < have + room)
                c.longValue.resize(static_cast<size_t>(have + room));
        } catch (const std::bad_alloc&) {
            break;  // no room for more: the value stays cut, as at the cap
        }
        SQLLEN ind = 0;
        SQLRETURN rc = SQLGetData(hstmt, column, c.targetType, c.longValue.data() + have, room, &ind);
        if (rc == SQL_NO_DATA) break;
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            print_err("SQLGetData", hdbc, hstmt);
            isql_note_result_fault();
            break;
        }
        if (first) {
            whole = ind;
            first = false;
            if (ind == SQL_NULL_DATA) {
                c.indicator = SQL_NULL_DATA;
                return;
            }
        }
        if (rc == SQL_SUCCESS) {
            SQLLEN got = ind >= 0 ? std::min(ind, room - term) : 0;
            if (ind < 0) {  // no length given: the text ends at its terminator
                while (got + term <= room - term &&
                       std::any_of(c.longValue.begin() + have + got,
                                   c.longValue.begin() + have + got + term,
                                   [](char b) { return b != 0; }))
                    got += term;
            }
            have += got;
            break;
        }
        have += room - term;  // a full chunk: the driver kept room for its terminator
        if (have + term >= cap) break;
        chunk *= 2;
    }
    c.indicator = whole;
    c.longValue.resize(static_cast<size_t>(std::max<SQLLEN>(have + term,
                                                             static_cast<SQLLEN>(c.longValue.size()))));
    std::fill(c.longValue.begin() + have, c.longValue.begin() + have + term, 0);
    c.longValueBytes = have + term;
}

// value_bytes of a viaGetData column. A value of a column bound short is read
// again only when it did not fit there: its first SQLGetData would have got
// exactly the bytes the fetch delivered (the short buffer is no longer than
// that call's chunk), so the text is the same either way.
std::pair<const char*, SQLLEN> long_value_bytes(SQLHDBC hdbc, SQLHSTMT hstmt, size_t i,
                                                ResultColumn& c) {
    if (c.boundShort && (c.indicator == SQL_NULL_DATA ||
                         (c.indicator >= 0 && c.indicator <= c.shortLength - terminator_bytes(c))))
        return {c.buffer.get(), c.shortLength};
    read_long_value(hdbc, hstmt, static_cast<SQLUSMALLINT>(i + 1), c);
    return {c.longValue.data(), c.longValueBytes};
}

// The bytes of the value of column i of the current row and their buffer
// length, as a bound buffer of the column's full size would hold them: the
// bound buffer, or what read_long_value read.
inline std::pair<const char*, SQLLEN> value_bytes(SQLHDBC hdbc, SQLHSTMT hstmt, size_t i,
                                                  ResultColumn& c) {
    if (!c.viaGetData) return {c.buffer.get(), c.bufferLength};
    return long_value_bytes(hdbc, hstmt, i, c);
}

// Binds a long column with a short buffer. One that cannot be bound so is
// read with SQLGetData alone, as where the driver does not allow the former.
void bind_short(SQLHSTMT hstmt, SQLUSMALLINT column, ResultColumn& c) {
    if (c.shortLength == 0) c.shortLength = std::min(kFirstLongChunk, c.bufferLength);
    c.buffer.reset(static_cast<char*>(isql_alloc(static_cast<size_t>(c.shortLength))));
    c.indicator = SQL_NULL_DATA;
    if (!c.buffer) {
        c.boundShort = false;
        return;
    }
    if (SQLBindCol(hstmt, column, c.targetType, c.buffer.get(), c.shortLength, &c.indicator) !=
        SQL_SUCCESS)
        c.boundShort = false;
}

// Binds every column that is printed from a buffer. Long columns written to
// files and columns of unsupported types stay unbound.
void bind_columns(SQLHSTMT hstmt, std::vector<ResultColumn>& cols) {
    const bool toFiles = large_col_output();
    for (size_t i = 0; i < cols.size(); ++i) {
        ResultColumn& c = cols[i];
        const int column = static_cast<int>(i + 1);
        if (toFiles && is_long_type(c.sqlType)) {
            c.toFile = true;
            c.boundShort = false;
            continue;
        }
        if (c.viaGetData) {
            if (c.boundShort) bind_short(hstmt, static_cast<SQLUSMALLINT>(column), c);
            continue;
        }
        if (c.bufferLength == 0) {
            // An unsupported type has no target type of its own. Bound as binary
            // with no room, the fetch still tells NULL from a value, so each
            // value can be reported as not printable.
            c.indicator = SQL_NULL_DATA;
            SQLBindCol(hstmt, static_cast<SQLUSMALLINT>(column), SQL_C_BINARY, &c.noRoom, 0,
                       &c.indicator);
            continue;
        }
        c.buffer = alloc_column_buffer(c.bufferLength, column);
        if (c.printBufferLength != 0) {
            // The text is built in memory; only the bound on its length is kept,
            // with the same fallback as a real buffer would get.
            if (c.printBufferLength < 0) {
                c.printBufferLength = kFallbackBytes;
                if (!gTestMode)
                    isql_trace(gfpResFile, TRACE_NOTICE, "Results of Column:%d are truncated.\n\n",
                               column);
            }
        }
        c.indicator = SQL_NULL_DATA;
        if (!c.buffer) continue;
        // A failed bind leaves the column unbound: its indicator stays
        // SQL_NULL_DATA and its values print as NULL.
        SQLBindCol(hstmt, static_cast<SQLUSMALLINT>(column), c.targetType, c.buffer.get(),
                   c.bufferLength, &c.indicator);
    }
}

// Benchmark mode prints no value, so the typed bindings that printing is
// defined on only cost the driver its conversions. Where the driver lets
// SQLGetData read bound columns, every printable column is bound instead as
// narrow text of its display size + 1 (at most kBenchmarkTextBytes) and a
// value that did not fit is read whole with SQLGetData, so the whole value is
// still fetched. False, with nothing changed, where the driver does not allow
// it: the columns are then bound as for printing.
bool choose_benchmark_text(SQLHDBC hdbc, SQLHSTMT hstmt, std::vector<ResultColumn>& cols) {
    const SQLUINTEGER extensions = getdata_extensions(hdbc);
    if ((extensions & SQL_GD_ANY_COLUMN) == 0 || (extensions & SQL_GD_BOUND) == 0) return false;
    const bool toFiles = large_col_output();
    for (size_t i = 0; i < cols.size(); ++i) {
        ResultColumn& c = cols[i];
        // Unsupported types and file columns stay as printing has them.
        if (c.bufferLength == 0 || (toFiles && is_long_type(c.sqlType))) continue;
        SQLLEN display = 0;
        if (SQLColAttributeW(hstmt, static_cast<SQLUSMALLINT>(i + 1), SQL_DESC_DISPLAY_SIZE,
                             nullptr, 0, nullptr, &display) != SQL_SUCCESS ||
            display <= 0 || display >= kBenchmarkTextBytes)
            display = kBenchmarkTextBytes - 1;
        // Read whole up to the size of a long text column, as printing would.
        c.bufferLength = isql_get_datalen(SQL_LONGVARCHAR, 0, &c.targetType);
        c.shortLength = display + 1;
        c.viaGetData = true;
        c.boundShort = true;
    }
    return true;
}

// The formats other than tsv: a column read with SQLGetData may grow to
// kWholeValueBytes, and wide and binary text is not bounded below that.
void allow_whole_values(std::vector<ResultColumn>& cols) {
    for (ResultColumn& c : cols) {
        if (!c.viaGetData || c.bufferLength >= kWholeValueBytes) continue;
        c.bufferLength = kWholeValueBytes;
        c.printBufferLength = isql_get_printbuflen(c.sqlType, static_cast<int>(c.bufferLength));
    }
}

// True when the text or bytes of column c did not fit in the have bytes
// read: the value is longer than what a format other than tsv may print.
bool value_cut(const ResultColumn& c, SQLLEN have) {
    const bool text = c.targetType == SQL_C_CHAR || c.targetType == SQL_C_WCHAR || c.targetType == SQL_C_BINARY;
    return text && c.indicator >= 0 && c.indicator > have - terminator_bytes(c);
}

// The message of a value that value_cut found cut, and that is left out.
void report_cut_value(std::string& err, size_t column, long long rowNumber, SQLLEN have) {
    char text[160];
    const int n = std::snprintf(text, sizeof text,
                                "SQL: The value of column %zu in row %lld is longer than the %lld bytes read; it was left out\n",
                                column + 1, rowNumber, static_cast<long long>(have));
    err.append(text, static_cast<size_t>(n));
}

void write_pending(std::string& row) {
    if (row.empty()) return;
    isql_write_rows(row.data(), row.size());
    row.clear();
}

bool is_integer_type(SQLSMALLINT t) {
    return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_BIGINT || t == SQL_TINYINT ||
           t == SQL_BIT;
}

bool is_numeric_type(SQLSMALLINT t) {
    switch (t) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_BIGINT:
    case SQL_TINYINT:
    case SQL_BIT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL: return true;
    default: return false;
    }
}

bool utf8_locale() { return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0; }

// Writes what the row holds so far, then the value of column i of the
// current row to its own file; both are timed as printing.
void value_to_file(SQLHDBC hdbc, SQLHSTMT hstmt, SQLSMALLINT sqlType, long long rowNumber,
                   size_t i, std::string& row) {
    write_pending(row);
    PrintClock printing;
    if (isql_print_longcol_value(hstmt, sqlType, rowNumber, static_cast<int>(i)) == 0) {
        print_err("SQLGetData", hdbc, hstmt);
        isql_note_result_fault();
    }
}

// Writes the row so far, then the message a value left in err.
void flush_value_message(std::string& row, std::string& err) {
    if (err.empty()) return;
    isql_note_result_fault();
    write_pending(row);
    isql_write_timed(gfpErrFile, TRACE_ERROR, err.data(), err.size());
    err.clear();
}

// The binding of a column whose value the specified rules would print
// otherwise than the database holds it, for the formats other than Tsv and
// for --lenient: room for the zero before the point of an exact numeric,
// integers read whole with their sign as the driver describes it
// (SQL_DESC_UNSIGNED): an unsigned INT is not wrapped to a negative number,
// a signed TINYINT not read as an unsigned byte, an INTEGER holding 64 bits
// not cut to 32; wide text with its surrogate pairs joined.
void exact_binding(SQLHSTMT hstmt, size_t column, ResultColumn& c) {
    using Exact = ResultColumn::Exact;
    if ((c.sqlType == SQL_NUMERIC || c.sqlType == SQL_DECIMAL) && c.bufferLength > 0) {
        c.bufferLength += kLeadingZeroBytes;
    } else if (c.sqlType == SQL_REAL || c.sqlType == SQL_FLOAT || c.sqlType == SQL_DOUBLE) {
        c.exact = Exact::Float;
    } else if (c.sqlType == SQL_WCHAR || c.sqlType == SQL_WVARCHAR || c.sqlType == SQL_WLONGVARCHAR) {
        c.exact = Exact::Wide;
    } else if (is_integer_type(c.sqlType) && c.sqlType != SQL_BIT) {
        SQLLEN isUnsigned = SQL_FALSE;
        const SQLRETURN rc = SQLColAttributeW(hstmt, static_cast<SQLUSMALLINT>(column + 1), SQL_DESC_UNSIGNED,
                                              nullptr, 0, nullptr, &isUnsigned);
        // A driver that cannot say: signed, as the types are by default.
        // Signed integers are read as 64 bits: SQLite's driver describes an
        // INTEGER column as SQL_INTEGER whatever it holds.
        if (SQL_SUCCEEDED(rc) && isUnsigned == SQL_TRUE) {
            c.exact = Exact::Unsigned;
            c.targetType = SQL_C_UBIGINT;
            c.bufferLength = sizeof(SQLUBIGINT);
        } else if (c.sqlType == SQL_TINYINT) {
            c.exact = Exact::SignedByte;
            c.targetType = SQL_C_STINYINT;
            c.bufferLength = sizeof(SQLSCHAR);
        } else if (c.sqlType != SQL_BIGINT) {
            c.exact = Exact::Signed;
            c.targetType = SQL_C_SBIGINT;
            c.bufferLength = sizeof(SQLBIGINT);
        }
    }
}

// Appends the number held in the first sizeof(T) bytes as the shortest text
// that reads back to it (a zero keeps its sign); false when the bytes are
// not there or hold no finite number (INF and NAN keep the specified text).
template <typename T>
bool append_number(std::string& out, const char* bytes, SQLLEN have) {
    T v;
    if (bytes == nullptr || have < static_cast<SQLLEN>(sizeof v)) return false;
    std::memcpy(&v, bytes, sizeof v);
    if constexpr (std::is_floating_point_v<T>)
        if (!std::isfinite(v)) return false;
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    out.append(digits, static_cast<size_t>(end - digits));
    return true;
}

// The Inline kind of each bound column whose binding is the specified one
// for its type, or an exact one of a 64-bit integer or a double: their
// values print as append_value would print them. Doubles by the specified
// rules only where the decimal point is "." (the short form needs it).
void choose_inline_kinds(std::vector<ResultColumn>& cols) {
    using Inline = ResultColumn::Inline;
    using Exact = ResultColumn::Exact;
    const bool dot = isql_format_point_is_dot();
    for (ResultColumn& c : cols) {
        if (c.toFile || c.hexOut || !c.buffer) continue;
        if (c.exact == Exact::Signed && c.targetType == SQL_C_SBIGINT && !c.viaGetData) {
            c.inlined = Inline::Int64;
            continue;
        }
        if (c.exact == Exact::Float && c.targetType == SQL_C_DOUBLE && !c.viaGetData && c.bufferLength >= 8) {
            c.inlined = Inline::Shortest;
            continue;
        }
        if (c.exact != Exact::No) continue;
        switch (c.sqlType) {
        case SQL_INTEGER:
            if (c.targetType == SQL_C_LONG && !c.viaGetData && c.bufferLength >= 4) c.inlined = Inline::Int32;
            break;
        case SQL_SMALLINT:
            if (c.targetType == SQL_C_SHORT && !c.viaGetData && c.bufferLength >= 2) c.inlined = Inline::Int16;
            break;
        case SQL_BIGINT:
            if (c.targetType == SQL_C_SBIGINT && !c.viaGetData && c.bufferLength >= 8) c.inlined = Inline::Int64;
            break;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            if (dot && c.targetType == SQL_C_DOUBLE && !c.viaGetData && c.bufferLength >= 8) c.inlined = Inline::Double;
            break;
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
            if (c.targetType == SQL_C_CHAR) c.inlined = Inline::Text;
            break;
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            if (c.targetType == SQL_C_TIMESTAMP && !c.viaGetData &&
                c.bufferLength >= static_cast<SQLLEN>(sizeof(TIMESTAMP_STRUCT)))
                c.inlined = Inline::Timestamp;
            break;
        default: break;
        }
    }
}

// The text of a non-NULL value of an Inline kind other than Text at p (at
// most kMaxTimestampBytes), as append_value writes it; its end, or nullptr
// where the kind's shortcut does not apply (append_value writes it then).
[[gnu::always_inline]] inline char* put_inline(char* p, const ResultColumn& c, const char* bytes) {
    using Inline = ResultColumn::Inline;
    using namespace value_text;
    switch (c.inlined) {
    case Inline::Int32: return put_int(p, read_as<int32_t>(bytes));
    case Inline::Int16: return put_int(p, read_as<int16_t>(bytes));
    case Inline::Int64: return put_int(p, read_as<int64_t>(bytes));
    case Inline::Double: return put_short_decimal(p, read_as<double>(bytes));
    case Inline::Shortest: return put_shortest_decimal(p, read_as<double>(bytes));
    case Inline::Timestamp:
        return put_timestamp(p, read_as<TIMESTAMP_STRUCT>(bytes), static_cast<SQLINTEGER>(c.columnSize) > 19);
    case Inline::Text:
    case Inline::No: break;
    }
    return nullptr;
}

// append_value of a column with an Inline kind; false, with nothing written,
// for the others and where put_inline leaves the value to append_value.
[[gnu::always_inline]] inline bool append_inline(std::string& row, const ResultColumn& c, const char* bytes, SQLLEN have) {
    using Inline = ResultColumn::Inline;
    if (c.inlined == Inline::No) return false;
    if (c.indicator == SQL_NULL_DATA) {
        row.append("NULL", 4);
    } else if (c.inlined == Inline::Text) {
        value_text::format_text(row, bytes, c.indicator, have);
    } else {
        char text[value_text::kMaxTimestampBytes + 1];
        const char* end = put_inline(text, c, bytes);
        if (end == nullptr) return false;
        row.append(text, static_cast<size_t>(end - text));
    }
    return true;
}

// Appends the value of column c: as exact_binding chose for it, else by the
// specified rules.
void append_value(std::string& row, std::string& err, const ResultColumn& c, const void* buffer, SQLLEN have) {
    using Exact = ResultColumn::Exact;
    const auto* bytes = static_cast<const char*>(buffer);
    if (c.indicator != SQL_NULL_DATA) {
        if (c.exact == Exact::Signed && append_number<SQLBIGINT>(row, bytes, have)) return;
        if (c.exact == Exact::Unsigned && append_number<SQLUBIGINT>(row, bytes, have)) return;
        if (c.exact == Exact::SignedByte && append_number<SQLSCHAR>(row, bytes, have)) return;
        if (c.exact == Exact::Float && (c.sqlType == SQL_REAL ? append_number<float>(row, bytes, have)
                                                               : append_number<double>(row, bytes, have)))
            return;
    }
    if (c.exact == Exact::Wide) {
        isql_format_wide_exact(row, buffer, c.indicator, have, c.printBufferLength);
        return;
    }
    isql_format_value(row, err, c.sqlType, buffer, c.indicator, static_cast<SQLINTEGER>(c.columnSize), have,
                      c.printBufferLength);
}

// Whether every column of a tsv row has an Inline kind, which
// print_row_direct writes.
bool all_direct(const std::vector<ResultColumn>& cols) {
    return !cols.empty() && std::all_of(cols.begin(), cols.end(), [](const ResultColumn& c) {
        return c.inlined != ResultColumn::Inline::No;
    });
}

struct DirectValue {
    const char* bytes = nullptr;
    SQLLEN have = 0;
    value_text::TextPiece text;  // of a Text column
};

// print_row of a row whose columns all_direct allows, written straight into
// the results stream's buffer: the bytes of every value first (SQLGetData
// may report a failure), then the row's length bounded, then the text. Where
// the stream takes no window, the row goes through row as print_row writes
// it. The values of these kinds bring no message.
void print_row_direct(SQLHDBC hdbc, SQLHSTMT hstmt, std::vector<ResultColumn>& cols, std::string& row,
                      std::vector<DirectValue>& values) {
    using Inline = ResultColumn::Inline;
    using namespace value_text;
    size_t need = 1;  // the line end
    for (size_t i = 0; i < cols.size(); ++i) {
        ResultColumn& c = cols[i];
        DirectValue& v = values[i];
        std::tie(v.bytes, v.have) = value_bytes(hdbc, hstmt, i, c);
        if (c.indicator == SQL_NULL_DATA) {
            need += 5;
        } else if (c.inlined == Inline::Text) {
            v.text = text_piece(v.bytes, c.indicator, v.have);
            need += v.text.bytes + kTruncatedMarkBytes + 1;
        } else {
            need += kMaxTimestampBytes + 1;
        }
    }
    std::string err;
    char* limit = nullptr;
    char* p = isql_rows_window(need, &limit);
    if (p == nullptr) {
        for (size_t i = 0; i < cols.size(); ++i) {
            if (!append_inline(row, cols[i], values[i].bytes, values[i].have))
                append_value(row, err, cols[i], values[i].bytes, values[i].have);
            row.push_back('\t');
        }
        row.push_back('\n');
        write_pending(row);
        return;
    }
    for (size_t i = 0; i < cols.size(); ++i) {
        const ResultColumn& c = cols[i];
        const DirectValue& v = values[i];
        if (c.indicator == SQL_NULL_DATA) {
            std::memcpy(p, "NULL", 4);
            p += 4;
        } else if (c.inlined == Inline::Text) {
            std::memcpy(p, v.bytes, v.text.bytes);
            p += v.text.bytes;
            if (v.text.cut) {
                std::memcpy(p, kTruncatedMark, kTruncatedMarkBytes);
                p += kTruncatedMarkBytes;
            }
        } else if (char* end = put_inline(p, c, v.bytes)) {
            p = end;
        } else {
            std::string text;  // the rare double of printf's or to_chars's own, INF, NAN
            append_value(text, err, c, v.bytes, v.have);
            const size_t n = std::min(text.size(), kMaxTimestampBytes);
            std::memcpy(p, text.data(), n);
            p += n;
        }
        *p++ = '\t';
    }
    *p++ = '\n';
    isql_rows_commit(p);
}

// Formats and writes the current row. Pieces that go elsewhere (errors, file
// notices) are written after the text before them, so streams that share a
// terminal keep their order. What is timed as printing is the writing:
// isql_write_timed, and the large-column files.
void print_row(SQLHDBC hdbc, SQLHSTMT hstmt, std::vector<ResultColumn>& cols, long long rowNumber,
               std::string& row, std::string& err) {
    for (size_t i = 0; i < cols.size(); ++i) {
        ResultColumn& c = cols[i];
        if (c.toFile) {
            value_to_file(hdbc, hstmt, c.sqlType, rowNumber, i, row);
        } else {
            const auto [bytes, length] = value_bytes(hdbc, hstmt, i, c);
            if (!append_inline(row, c, bytes, length)) {
                append_value(row, err, c, bytes, length);
                flush_value_message(row, err);
            }
        }
        row.push_back('\t');
        if (row.size() >= kRowFlushBytes) write_pending(row);
    }
    row.push_back('\n');
    write_pending(row);
}

// One value of a row in a format other than Tsv, its bytes read: formatted
// where the formatter says and laid out by it.
void format_value(std::string& row, std::string& err, RowFormatter& formatter, const ResultColumn& c, size_t i,
                  const char* bytes, SQLLEN have, long long rowNumber) {
    const bool isNull = c.indicator == SQL_NULL_DATA;
    const size_t start = formatter.begin_value(row, isNull);
    bool plain = false;
    if (isNull) {
        // nothing: the formatter writes NULL its own way
    } else if (value_cut(c, have)) {
        report_cut_value(err, i, rowNumber, have);
    } else if (c.hexOut) {
        append_hex(row, bytes, static_cast<size_t>(c.indicator >= 0 ? c.indicator : have));
    } else if (append_inline(row, c, bytes, have)) {
        // Numbers and timestamps of its own are plain text in every format.
        plain = c.inlined != ResultColumn::Inline::Text;
    } else {
        append_value(row, err, c, bytes, have);
    }
    formatter.end_value(row, start, isNull, plain);
    flush_value_message(row, err);
}

// print_row for the formats other than Tsv.
void print_row_formatted(SQLHDBC hdbc, SQLHSTMT hstmt, std::vector<ResultColumn>& cols,
                         long long rowNumber, std::string& row, std::string& err,
                         RowFormatter& formatter) {
    for (size_t i = 0; i < cols.size(); ++i) {
        ResultColumn& c = cols[i];
        if (c.toFile) {
            // The value went to its file; the row keeps an empty field.
            value_to_file(hdbc, hstmt, c.sqlType, rowNumber, i, row);
            formatter.end_value(row, formatter.begin_value(row, false), false);
            continue;
        }
        const auto [bytes, have] = value_bytes(hdbc, hstmt, i, c);
        format_value(row, err, formatter, c, i, bytes, have, rowNumber);
    }
    formatter.end_row(row);
    if (row.size() >= kRowFlushBytes) write_pending(row);
}

// print_row_formatted of a JSON row whose columns all_direct allows, written
// straight into the results stream's buffer as print_row_direct writes a tsv
// row: the bytes of every value read and its text checked first. A row with
// a value that needs the formatter's work (a cut value, a text to escape, a
// number column's text that is no JSON number, a double of printf's own), or
// that the stream takes no window for, goes through it from the bytes read.
void print_json_row_direct(SQLHDBC hdbc, SQLHSTMT hstmt, std::vector<ResultColumn>& cols, long long rowNumber,
                           std::string& row, std::string& err, RowFormatter& formatter,
                           std::vector<DirectValue>& values) {
    using Inline = ResultColumn::Inline;
    using namespace value_text;
    size_t need = 2;  // "}\n"
    bool plain = true;
    for (size_t i = 0; i < cols.size(); ++i) {
        ResultColumn& c = cols[i];
        DirectValue& v = values[i];
        std::tie(v.bytes, v.have) = value_bytes(hdbc, hstmt, i, c);
        const bool isNull = c.indicator == SQL_NULL_DATA;
        need += formatter.json_before(i, isNull).size() + 1;
        if (isNull) continue;
        if (c.inlined == Inline::Text) {
            v.text = text_piece(v.bytes, c.indicator, v.have);
            plain = plain && !value_cut(c, v.have) &&
                    formatter.json_fits(i, std::string_view(v.bytes, v.text.bytes));
            need += v.text.bytes;
        } else {
            need += kMaxTimestampBytes;
        }
    }
    char* limit = nullptr;
    char* p = plain ? isql_rows_window(need, &limit) : nullptr;
    for (size_t i = 0; p != nullptr && i < cols.size(); ++i) {
        const ResultColumn& c = cols[i];
        const DirectValue& v = values[i];
        const bool isNull = c.indicator == SQL_NULL_DATA;
        const std::string_view before = formatter.json_before(i, isNull);
        std::memcpy(p, before.data(), before.size());
        p += before.size();
        if (isNull) continue;
        if (c.inlined == Inline::Text) {
            std::memcpy(p, v.bytes, v.text.bytes);
            p += v.text.bytes;
        } else if (char* end = put_inline(p, c, v.bytes)) {
            p = end;
        } else {
            p = nullptr;  // INF, NAN, the rare double: the formatter's
            break;
        }
        if (!formatter.json_numeric(i)) *p++ = '"';
    }
    if (p != nullptr) {
        *p++ = '}';
        *p++ = '\n';
        isql_rows_commit(p);
        return;
    }
    for (size_t i = 0; i < cols.size(); ++i)
        format_value(row, err, formatter, cols[i], i, values[i].bytes, values[i].have, rowNumber);
    formatter.end_row(row);
    write_pending(row);
}

}  // namespace

// Prints the current result set of an executed statement: header, rows, count.
// 0, or print_err's result when the column count cannot be read. The statement
// is left after its last row, with no column bound.
int isql_print_results(SQLHDBC hdbc, SQLHSTMT hstmt) {
    SQLSMALLINT ncols = 0;
    if (int res = count_columns(hdbc, hstmt, ncols); res >= 0) return res;
    isql_format_locale_refresh();

    std::vector<ResultColumn> cols(static_cast<size_t>(ncols > 0 ? ncols : 0));
    const OutputFormat format = gSettings.format;
    std::vector<FormatColumn> formatColumns;
    {
        PrintClock printing;
        for (size_t i = 0; i < cols.size(); ++i) {
            ResultColumn& c = cols[i];
            ColumnName name;
            SQLSMALLINT nameLength = 0, decimalDigits = 0, nullable = 0;
            describe_column(hdbc, hstmt, static_cast<SQLUSMALLINT>(i + 1), name, &nameLength,
                            &c.sqlType, &c.columnSize, &decimalDigits, &nullable);
            c.bufferLength = isql_get_datalen(c.sqlType, static_cast<SQLINTEGER>(c.columnSize),
                                              &c.targetType);
            if (format != OutputFormat::Tsv || gSettings.lenient) exact_binding(hstmt, i, c);
            c.printBufferLength =
                isql_get_printbuflen(c.sqlType, static_cast<int>(c.bufferLength));
            if (isql_exact_values()) read_text_whole(c, format != OutputFormat::Tsv);
            if (format != OutputFormat::Tsv && c.sqlType >= SQL_LONGVARBINARY &&
                c.sqlType <= SQL_BINARY && c.bufferLength > 0) {
                // Each driver has its own text for bytes (X'..', \x.., the raw
                // bytes); the other formats show the bytes themselves, in hex.
                c.targetType = SQL_C_BINARY;
                c.hexOut = true;
            }
            cut_column_name(name, nameLength);
            if (format != OutputFormat::Tsv) {
                formatColumns.push_back({isql_to_multibyte(name.wide, wcslen(name.wide)),
                                         is_numeric_type(c.sqlType),
                                         is_integer_type(c.sqlType)});
                continue;
            }
            isql_tracew(gfpResFile, TRACE_DATA, "%s", name.wide);
            isql_trace(gfpResFile, TRACE_DATA, "\t");
        }
        if (format == OutputFormat::Tsv) isql_trace(gfpResFile, TRACE_DATA, "\n\n");
    }
    std::optional<RowFormatter> formatter;
    std::string row;
    if (format != OutputFormat::Tsv) {
        formatter.emplace(format, std::move(formatColumns), utf8_locale());
        formatter->header(row);
    }

    if (!gBenchmarkMode || !choose_benchmark_text(hdbc, hstmt, cols)) {
        choose_long_columns(hdbc, cols);
        if (format != OutputFormat::Tsv) allow_whole_values(cols);
    }
    bind_columns(hstmt, cols);
    if (!gBenchmarkMode) choose_inline_kinds(cols);

    isql_running_fetches();
    SQLRETURN rc = SQLFetch(hstmt);
    long long blockStart = gBenchmarkBlock != 0 ? isql_now_us() : 0;  // microseconds
    long long rows = 0;
    long long benchmarkTotal = 0;
    std::string err;
    row.reserve(kRowReserveBytes);
    bool cancelled = false;
    bool readerGone = false;
    bool limited = false;  // lenient: MAXROWS reached by the loop itself
    const bool direct = (!formatter || format == OutputFormat::Json) && !gBenchmarkMode && all_direct(cols);
    std::vector<DirectValue> values(direct ? cols.size() : 0);
    while (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        if (isql_stop_requested()) {
            cancelled = true;
            break;
        }
        if (isql_results_reader_gone()) {  // nobody reads the rest
            readerGone = true;
            break;
        }
        ++rows;
        if (gBenchmarkMode) {
            // Only the block lines are written, so only they are timed as printing.
            if (gBenchmarkBlock != 0 && rows % gBenchmarkBlock == 0) {
                {
                    PrintClock printing;
                    const long long blockTime = isql_now_us() - blockStart;
                    benchmarkTotal += blockTime;
                    isql_trace(gfpResFile, TRACE_DATA,
                               "Rows selected = %ld. Fetch results %ld ms Elapased time %ld ms "
                               "Reading more...\n",
                               static_cast<long>(rows), static_cast<long>(isql_us_to_ms(blockTime)),
                               static_cast<long>(isql_us_to_ms(benchmarkTotal)));
                    blockStart = isql_now_us();
                }
            }
            // The long values are still read, so the fetch costs what it would.
            for (size_t i = 0; i < cols.size(); ++i) value_bytes(hdbc, hstmt, i, cols[i]);
        } else if (formatter && direct) {
            print_json_row_direct(hdbc, hstmt, cols, rows, row, err, *formatter, values);
        } else if (formatter) {
            print_row_formatted(hdbc, hstmt, cols, rows, row, err, *formatter);
        } else if (direct) {
            print_row_direct(hdbc, hstmt, cols, row, values);
        } else {
            print_row(hdbc, hstmt, cols, rows, row, err);
        }
        // Lenient mode keeps the row limit whatever the driver made of it.
        if (gSettings.lenient && gMaxRows != 0 && rows >= gMaxRows) {
            limited = true;
            break;
        }
        rc = SQLFetch(hstmt);
    }
    if (limited && SQLFreeStmt(hstmt, SQL_CLOSE) != SQL_SUCCESS)
        print_err("SQLFreeStmt", hdbc, hstmt);

    {
        PrintClock printing;
        if (formatter) {
            formatter->finish(row);
            write_pending(row);
        }
        if (!isql_format_is_data_only(format)) isql_trace(gfpResFile, TRACE_DATA, "\n");
    }
    if (cancelled) {
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: Fetch cancelled by Ctrl-C; the rest of the result set was not read\n");
        isql_note_result_fault();
    } else if (rc != SQL_NO_DATA && !readerGone && !limited) {
        print_err("SQLFetch", hdbc, hstmt);
        isql_note_result_fault();
    }

    {
        PrintClock printing;
        if (gTestMode) {
            isql_trace(gfpResFile, TRACE_DATA, "Rows selected = %ld\n", static_cast<long>(rows));
        } else if (gMaxRows != 0 && gMaxRows == rows) {
            isql_trace(gfpResFile, TRACE_NOTICE,
                       "Rows selected = %ld (Results truncated to MAXROWS = %ld, Please use -m 0 "
                       "command line option for unlimited result rows)\n",
                       static_cast<long>(rows), static_cast<long>(rows));
        } else {
            isql_trace(gfpResFile, TRACE_DATA, "Rows selected = %ld\n", static_cast<long>(rows));
        }
    }

    // The bindings point into cols: remove them before the buffers go, so a
    // later result set of this statement cannot write into freed memory.
    if (SQLFreeStmt(hstmt, SQL_UNBIND) != SQL_SUCCESS) print_err("SQLFreeStmt", hdbc, hstmt);
    return 0;
}

// Prints the description table of the columns of a prepared statement.
// 0, or print_err's result when the column count cannot be read.
int isql_print_resColumns_desc(SQLHDBC hdbc, SQLHSTMT hstmt) {
    SQLSMALLINT ncols = 0;
    if (int res = count_columns(hdbc, hstmt, ncols); res >= 0) return res;

    {
        PrintClock printing;
        for (const char* heading : {"icol\t", "szColName\t", "*pcbColNameLen\t", "*pfSqlType\t",
                                    "*pcbColDef\t", "*pibScale\t", "*pfNullable\t", "\n\n"})
            isql_trace(gfpResFile, TRACE_DATA, "%s", heading);
        for (SQLSMALLINT col = 1; col <= ncols; ++col) {
            ColumnName name;
            SQLSMALLINT nameLength = 0, sqlType = 0, decimalDigits = 0, nullable = 0;
            SQLULEN columnSize = 0;
            describe_column(hdbc, hstmt, static_cast<SQLUSMALLINT>(col), name, &nameLength, &sqlType,
                            &columnSize, &decimalDigits, &nullable);
            isql_trace(gfpResFile, TRACE_DATA, "%d\t", col);
            int shownLength = cut_column_name(name, nameLength);
            isql_tracew(gfpResFile, TRACE_DATA, "%s", name.wide);
            isql_trace(gfpResFile, TRACE_DATA, "\t%d\t%d\t%d\t%d\t", shownLength, sqlType,
                       static_cast<SQLINTEGER>(columnSize), decimalDigits);
            isql_tracew(gfpResFile, TRACE_DATA, "%s", nullable != 0 ? wsSqlNullable : wsSqlNoNulls);
            isql_trace(gfpResFile, TRACE_DATA, "\n");
        }
        isql_trace(gfpResFile, TRACE_DATA, "\n");
    }

    {
        PrintClock printing;
        if (!gTestMode && gMaxRows != 0 && gMaxRows == ncols) {
            isql_trace(gfpResFile, TRACE_NOTICE,
                       "Rows selected = %d (Results truncated to MAXROWS = %ld, Please use -m 0 "
                       "command line option for unlimited result rows)\n",
                       ncols, static_cast<long>(gMaxRows));
        } else {
            isql_trace(gfpResFile, TRACE_DATA, "Rows selected = %d\n", ncols);
        }
    }
    return 0;
}
