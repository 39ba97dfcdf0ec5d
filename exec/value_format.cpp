// Value formatting: how each SQL type is bound for fetching and how one fetched
// value is turned into text. The text is built in memory so the row printer can
// write a whole row at once and the rules can be tested without a database.
#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <langinfo.h>

#include "isqlexec.h"
#include "isqltm.h"
#include "value_text.h"

namespace {

using namespace value_text;

constexpr int kLongDataBytes = 3 * 1024 * 1024 + 1;  // long text/binary fetch buffer
constexpr int kLongWideBytes = kLongDataBytes * 4;   // long wide text fetch buffer
constexpr int kNumericDefaultDigits = 35;            // numeric size when the driver gives none
constexpr int kNumericExtraBytes = 3;                // sign, point, terminator
constexpr SQLLEN kSelfDescribedOffset = 8;           // value bytes after the type code
constexpr uint32_t kReplacementCharacter = 0xFFFD;

// How wide text becomes the locale's multibyte text: by hand for UTF-8 and
// ASCII, through the C library for any other code set.
enum class IsqlMbMode { Utf8, Ascii, Generic };

IsqlMbMode gMbMode = IsqlMbMode::Generic;
bool gPointIsDot = false;  // the locale's decimal point is "."
bool gMbModeKnown = false;

// A 32-bit buffer size computed without overflow; sums that leave the 32-bit
// range (or are not positive) have no usable size.
int checked_size(long long bytes) {
    if (bytes <= 0 || bytes > INT_MAX) return kNoUsableSize;
    return static_cast<int>(bytes);
}






// "%.<precision>G" of v. Finite values under a locale whose decimal point is
// "." take the shortcut of to_chars, which yields printf's digits; the rest
// (infinities, NaN, other decimal points) go through printf itself.
void append_double(std::string& out, const char* format, int precision, double v) {
    char text[64];
    if (precision == 15 && gPointIsDot && append_short_decimal(out, v)) return;
    if (gPointIsDot && std::isfinite(v)) {
        auto res = std::to_chars(text, text + sizeof text, v, std::chars_format::general, precision);
        if (res.ec == std::errc()) {
            for (char* p = text; p < res.ptr; ++p)
                if (*p == 'e') *p = 'E';
            out.append(text, static_cast<size_t>(res.ptr - text));
            return;
        }
    }
    int n = std::snprintf(text, sizeof text, format, v);
    if (n > 0) out.append(text, static_cast<size_t>(n < static_cast<int>(sizeof text) ? n : sizeof text - 1));
}

void append_message(std::string& err, const char* text, int code) {
    err.append(text);
    append_int(err, code);
    err.push_back('\n');
}


// Multibyte form of one wide character in the locale's code set, as wcstombs
// would produce it: the byte count, or -1 when the character does not convert.
int encode_utf8(uint32_t c, char* dst) {
    if (c < 0x80) {
        dst[0] = static_cast<char>(c);
        return 1;
    }
    if (c > 0x7FFFFFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    int n = 2;
    while (n < 6 && (c >> (5 * n + 1)) != 0) ++n;
    for (int i = n - 1; i > 0; --i) {
        dst[i] = static_cast<char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    dst[0] = static_cast<char>((0xFF00u >> n) | c);
    return n;
}

// Reads the characters of a wide value, one at a time: zero-extended UTF-16
// units or platform wide characters.
struct WideSource {
    const unsigned char* bytes;
    bool utf16;
    uint32_t at(SQLLEN i) const {
        if (utf16) return read_as<zvutf16>(bytes + i * 2);
        return static_cast<uint32_t>(read_as<wchar_t>(bytes + i * sizeof(wchar_t)));
    }
};

bool is_surrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The character of the surrogate c at unit i of UTF-16 text of count units:
// a pair joined (i moves past its second unit), a lone surrogate U+FFFD.
uint32_t joined_at(const WideSource& src, SQLLEN& i, SQLLEN count, uint32_t c) {
    if (c <= 0xDBFF && i + 1 < count) {
        const uint32_t low = src.at(i + 1);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            ++i;
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return kReplacementCharacter;
}

// Appends the multibyte text of the first count characters of src, as
// wcstombs into a buffer of cap bytes: conversion stops at a NUL character or
// before a character that no longer fits; a character that does not convert
// makes the whole text empty. cap < 0 means no limit. With pairs, UTF-16
// surrogates are read as joined_at does.
void append_multibyte(std::string& out, const WideSource& src, SQLLEN count, SQLLEN cap, bool pairs) {
    const size_t start = out.size();
    if (gMbMode != IsqlMbMode::Generic) {
        // UTF-8 or ASCII: encode straight into the output. A UTF-16 unit needs
        // at most 3 bytes, a 4-byte character at most 6.
        const bool ascii = gMbMode == IsqlMbMode::Ascii;
        SQLLEN room = count * (ascii ? 1 : (gUnicodeEnc ? 3 : 6));
        if (cap >= 0 && cap < room) room = cap;
        out.resize(start + static_cast<size_t>(room));
        char* p = out.data() + start;
        char* const end = p + room;
        for (SQLLEN i = 0; i < count; ++i) {
            uint32_t c = src.at(i);
            if (c == 0) break;
            if (c < 0x80) {
                if (p == end) break;
                *p++ = static_cast<char>(c);
                continue;
            }
            if (pairs && is_surrogate(c)) c = joined_at(src, i, count, c);
            char one[6];
            int k = ascii ? -1 : encode_utf8(c, one);
            if (k < 0) {
                out.resize(start);
                return;
            }
            if (end - p < k) break;
            std::memcpy(p, one, static_cast<size_t>(k));
            p += k;
        }
        out.resize(static_cast<size_t>(p - out.data()));
        return;
    }
    SQLLEN produced = 0;
    mbstate_t state{};
    char one[MB_LEN_MAX > 6 ? MB_LEN_MAX : 6];
    for (SQLLEN i = 0; i < count; ++i) {
        uint32_t c = src.at(i);
        if (pairs && is_surrogate(c)) c = joined_at(src, i, count, c);
        if (c == 0) break;
        if (cap >= 0 && produced >= cap) break;
        int k = -1;
        switch (gMbMode) {
        case IsqlMbMode::Utf8:
            k = encode_utf8(c, one);
            break;
        case IsqlMbMode::Ascii:
            k = c < 0x80 ? 1 : -1;
            one[0] = static_cast<char>(c);
            break;
        case IsqlMbMode::Generic: {
            size_t r = std::wcrtomb(one, static_cast<wchar_t>(c), &state);
            k = r == static_cast<size_t>(-1) ? -1 : static_cast<int>(r);
            break;
        }
        }
        if (k < 0) {
            out.resize(start);
            return;
        }
        if (cap >= 0 && produced + k > cap) break;
        out.append(one, static_cast<size_t>(k));
        produced += k;
    }
}


// Binary data whose character form was fetched as SQL_C_CHAR; the print
// buffer length bounds what is shown (no bound without a print buffer).
void format_binary(std::string& out, const char* buf, SQLLEN ind, SQLLEN bufLen,
                   SQLLEN printLen) {
    if (buf == nullptr || bufLen <= 0) return;
    if (ind < 0) {
        out.append(buf, bounded_strlen(buf, bufLen));
        return;
    }
    SQLLEN n = ind < bufLen ? ind : bufLen;
    if (printLen <= 0 || n <= printLen - 1) {
        out.append(buf, bounded_strlen(buf, n));
    } else {
        out.append(buf, bounded_strlen(buf, printLen - 1));
        out.append(kTruncatedMark);
    }
}

void append_hex_list(std::string& out, const WideSource& src, SQLLEN count) {
    out.append(" (Unicode hex:");
    char item[24];
    for (SQLLEN i = 0; i < count; ++i) {
        int n = std::snprintf(item, sizeof item, "%s0x%.4X", i == 0 ? "" : ",",
                              static_cast<unsigned int>(src.at(i)));
        out.append(item, static_cast<size_t>(n));
    }
    out.push_back(')');
}

// Wide text fetched as SQL_C_WCHAR: UTF-16 units with gUnicodeEnc, platform
// wide characters otherwise. Only what the buffer holds is read. With pairs
// (UTF-16 only), a character above U+FFFF prints as itself.
void format_wide(std::string& out, const void* buf, SQLLEN ind, SQLLEN bufLen, SQLLEN printLen,
                 bool pairs) {
    const SQLLEN unit = gUnicodeEnc ? 2 : static_cast<SQLLEN>(sizeof(wchar_t));
    const SQLLEN slots = (buf != nullptr && bufLen > 0) ? bufLen / unit : 0;
    WideSource src{static_cast<const unsigned char*>(buf), gUnicodeEnc != 0};
    SQLLEN count = 0;
    SQLLEN cap = printLen > 0 ? printLen - 1 : -1;
    if (ind >= 0) {
        // A cut value ends with a terminator inside the buffer.
        SQLLEN held = slots > 0 ? slots - 1 : 0;
        count = ind / unit < held ? ind / unit : held;
        SQLLEN byteLength = count * 4;
        if (cap < 0 || byteLength < cap) cap = byteLength;
    } else {
        while (count < slots && src.at(count) != 0) ++count;
    }
    append_multibyte(out, src, count, cap, pairs && src.utf16);
    if (gHexDisplay) append_hex_list(out, src, count);
}

}  // namespace

bool isql_format_point_is_dot() { return gPointIsDot; }

void isql_format_locale_refresh() {
    const char* codeset = nl_langinfo(CODESET);
    if (std::strcmp(codeset, "UTF-8") == 0) {
        gMbMode = IsqlMbMode::Utf8;
    } else if (std::strcmp(codeset, "ANSI_X3.4-1968") == 0) {
        gMbMode = IsqlMbMode::Ascii;
    } else {
        gMbMode = IsqlMbMode::Generic;
    }
    gPointIsDot = std::strcmp(std::localeconv()->decimal_point, ".") == 0;
    gMbModeKnown = true;
}

// Target type and fetch buffer length of a column of sqlType whose size the
// driver gave as columnSize. Unsupported types are reported here and get a
// length of 0 and no target type; sizes that leave the 32-bit range give
// kNoUsableSize, which the binder replaces by its fallback buffer.
int isql_get_datalen(SQLSMALLINT sqlType, SQLINTEGER columnSize, SQLSMALLINT* targetType) {
    const long long n = columnSize;
    switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
        *targetType = SQL_C_CHAR;
        return checked_size(n + 1);
    case SQL_LONGVARCHAR:
        *targetType = SQL_C_CHAR;
        return kLongDataBytes;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        *targetType = SQL_C_CHAR;
        return checked_size((n <= 0 ? kNumericDefaultDigits : n) + kNumericExtraBytes);
    case SQL_BINARY:
        *targetType = SQL_C_CHAR;
        return checked_size(n + 1);
    case SQL_VARBINARY:
        *targetType = SQL_C_CHAR;
        return n < kLongDataBytes ? checked_size(n + 1) : kLongDataBytes;
    case SQL_LONGVARBINARY:
        *targetType = SQL_C_CHAR;
        return kLongDataBytes;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
        *targetType = SQL_C_WCHAR;
        return checked_size(4 * n + 4);
    case SQL_WLONGVARCHAR:
        *targetType = SQL_C_WCHAR;
        return kLongWideBytes;
    case SQL_INTEGER:
        *targetType = SQL_C_LONG;
        return 4;
    case SQL_SMALLINT:
        *targetType = SQL_C_SHORT;
        return 2;
    case SQL_BIGINT:
        *targetType = SQL_C_SBIGINT;
        return 8;
    case SQL_TINYINT:
        *targetType = SQL_C_TINYINT;
        return 1;
    case SQL_BIT:
        *targetType = SQL_C_BIT;
        return 1;
    case SQL_REAL:
        *targetType = SQL_C_FLOAT;
        return 4;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        *targetType = SQL_C_DOUBLE;
        return 8;
    case SQL_DATE:
    case SQL_TYPE_DATE:
        *targetType = SQL_C_DATE;
        return 6;
    case SQL_TIME:
    case SQL_TYPE_TIME:
        *targetType = SQL_C_TIME;
        return 6;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
        *targetType = SQL_C_TIMESTAMP;
        return 16;
    case kSqlTypeUnknown:
        *targetType = SQL_C_CHAR;
        return checked_size(n + 1);
    case kSqlTypeSelfDescribing:
        *targetType = SQL_C_DEFAULT;
        return checked_size(n + 1);
    default:
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_get_datalen() Invalid data type = %d\n",
                   sqlType);
        return 0;
    }
}

// Length of the second buffer that bounds the printable text of wide and
// binary values; 0 for every other type.
int isql_get_printbuflen(SQLSMALLINT sqlType, int bufferLength) {
    const bool wide = sqlType >= SQL_WLONGVARCHAR && sqlType <= SQL_WCHAR;
    const bool binary = sqlType >= SQL_LONGVARBINARY && sqlType <= SQL_BINARY;
    if (!wide && !binary) return 0;
    if (bufferLength < 0) return kNoUsableSize;
    return checked_size(static_cast<long long>(bufferLength) + 1);
}

void isql_format_value(std::string& out, std::string& err, SQLSMALLINT sqlType,
                       const void* buffer, SQLLEN indicator, SQLINTEGER columnSize,
                       SQLLEN bufferLength, SQLLEN printBufferLength) {
    if (indicator == SQL_NULL_DATA) {
        out.append("NULL");
        return;
    }
    const auto* bytes = static_cast<const char*>(buffer);
    // Fixed-size values are read only when the buffer holds them.
    auto holds = [&](SQLLEN size) { return bytes != nullptr && bufferLength >= size; };
    switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        format_text(out, bytes, indicator, bufferLength);
        return;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        format_binary(out, bytes, indicator, bufferLength, printBufferLength);
        return;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
        format_wide(out, buffer, indicator, bufferLength, printBufferLength, false);
        return;
    case SQL_INTEGER:
        if (holds(4)) append_int(out, read_as<int32_t>(bytes));
        return;
    case SQL_SMALLINT:
        if (holds(2)) append_int(out, read_as<int16_t>(bytes));
        return;
    case SQL_BIGINT:
        if (holds(8)) append_int(out, read_as<int64_t>(bytes));
        return;
    case SQL_TINYINT:
    case SQL_BIT:
        if (holds(1)) append_int(out, read_as<unsigned char>(bytes));
        return;
    case SQL_REAL:
        if (holds(4)) append_double(out, "%.7G", 7, read_as<float>(bytes));
        return;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        if (holds(8)) append_double(out, "%.15G", 15, read_as<double>(bytes));
        return;
    case SQL_DATE:
    case SQL_TYPE_DATE:
        if (holds(sizeof(DATE_STRUCT))) {
            auto d = read_as<DATE_STRUCT>(bytes);
            Fields f;
            f.num(d.year).put('-').num(d.month, 2).put('-').num(d.day, 2).append_to(out);
        }
        return;
    case SQL_TIME:
    case SQL_TYPE_TIME:
        if (holds(sizeof(TIME_STRUCT))) {
            auto t = read_as<TIME_STRUCT>(bytes);
            Fields f;
            f.num(t.hour, 2).put(':').num(t.minute, 2).put(':').num(t.second, 2).append_to(out);
        }
        return;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
        if (holds(sizeof(TIMESTAMP_STRUCT))) {
            append_timestamp(out, read_as<TIMESTAMP_STRUCT>(bytes), columnSize > 19);
        }
        return;
    case kSqlTypeUnknown:
        append_message(err, "SQL: isql_print_value() Non-NULL value for data type = ", sqlType);
        return;
    case kSqlTypeSelfDescribing: {
        // The first 16 bits name the value's own type; the value follows at
        // byte 8, NUL-terminated where it is text.
        if (!holds(kSelfDescribedOffset)) return;
        auto inner = read_as<SQLSMALLINT>(bytes);
        if (inner == kSqlTypeSelfDescribing) {
            append_message(err, "SQL: isql_print_value() Invalid data type = ", inner);
            return;
        }
        isql_format_value(out, err, inner, bytes + kSelfDescribedOffset, SQL_NTS, columnSize,
                          bufferLength - kSelfDescribedOffset, printBufferLength);
        return;
    }
    default:
        append_message(err, "SQL: isql_print_value() Invalid data type = ", sqlType);
        return;
    }
}

// Writes one value on the results stream (errors on the error stream). The
// print buffer is not needed: the text is built in memory; its length still
// bounds what is shown.
int isql_print_value(SQLSMALLINT sqlType, void* buffer, SQLINTEGER indicator,
                     SQLINTEGER columnSize, SQLINTEGER bufferLength, char* /*printBuffer*/,
                     SQLINTEGER printBufferLength) {
    std::string out;
    std::string err;
    if (!gMbModeKnown) isql_format_locale_refresh();
    isql_format_value(out, err, sqlType, buffer, indicator, columnSize, bufferLength,
                      printBufferLength);
    if (!out.empty())
        isql_trace(gfpResFile, TRACE_DATA, "%.*s", static_cast<int>(out.size()), out.data());
    if (!err.empty())
        isql_trace(gfpErrFile, TRACE_ERROR, "%.*s", static_cast<int>(err.size()), err.data());
    return 0;
}

void isql_format_wide_exact(std::string& out, const void* buffer, SQLLEN indicator,
                            SQLLEN bufferLength, SQLLEN printBufferLength) {
    if (indicator == SQL_NULL_DATA) {
        out.append("NULL");
        return;
    }
    format_wide(out, buffer, indicator, bufferLength, printBufferLength, true);
}

void isql_format_hexdump(std::string& out, const void* bytes, long count, const char* title) {
    static const char kHex[] = "0123456789ABCDEF";
    out.append(title != nullptr ? title : "");
    out.append(" \n");
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (long i = 0; p != nullptr && i < count; ++i) {
        out.push_back(' ');
        out.push_back(kHex[p[i] >> 4]);
        out.push_back(kHex[p[i] & 0x0F]);
        if ((i + 1) % 32 == 0) out.push_back('\n');
    }
    out.append("\n\n");
}

// Byte dump of the hexadecimal display mode, 32 bytes a line.
void isql_HexDumpQuery(const void* bytes, long count, const char* title) {
    std::string out;
    isql_format_hexdump(out, bytes, count, title);
    isql_trace(gfpResFile, TRACE_DATA, "%.*s", static_cast<int>(out.size()), out.data());
}
