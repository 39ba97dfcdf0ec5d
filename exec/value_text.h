// The text of the values that most result sets hold (integers, doubles,
// timestamps, character text), as the specified rules print them. Inline,
// so the row printer formats each value where it writes it, and shared with
// value_format.cpp, which formats every other type.
#pragma once

#include <cmath>
#include <cstring>
#include <string>

#include <sql.h>
#include <sqlext.h>

namespace value_text {

constexpr char kTruncatedMark[] = "(Truncated)";
constexpr size_t kTruncatedMarkBytes = sizeof kTruncatedMark - 1;
// Most bytes of an integer or of a short decimal (sign, 15 digits, point, 6
// more: at most 23), and of a timestamp of any field values.
constexpr size_t kMaxNumberBytes = 40;
constexpr size_t kMaxTimestampBytes = 64;

template <typename T>
inline T read_as(const void* buffer) {
    T v;
    std::memcpy(&v, buffer, sizeof v);
    return v;
}

// Writes v at p as printf "%0<width>d" would (width counts the sign) and
// returns the end. The digits go straight to their place: a copy of a few
// bytes through memcpy costs more than writing them. At most 20 + width bytes.
inline constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline char* put_int(char* p, long long v, int width = 0) {
    unsigned long long mag = v < 0 ? 0ULL - static_cast<unsigned long long>(v)
                                   : static_cast<unsigned long long>(v);
    if (v < 0) {
        *p++ = '-';
        --width;
    }
    int len = 1;  // digits of mag, four at a time
    for (unsigned long long rest = mag; rest >= 10; rest /= 10000, len += 4) {
        if (rest < 100) {
            len += 1;
            break;
        }
        if (rest < 1000) {
            len += 2;
            break;
        }
        if (rest < 10000) {
            len += 3;
            break;
        }
    }
    char* const end = p + (len > width ? len : width);
    char* q = end;
    for (; mag >= 100; mag /= 100) {
        const auto i = static_cast<size_t>(mag % 100) * 2;
        *--q = kPairs[i + 1];
        *--q = kPairs[i];
    }
    if (mag >= 10) {
        const auto i = static_cast<size_t>(mag) * 2;
        *--q = kPairs[i + 1];
        *--q = kPairs[i];
    } else {
        *--q = static_cast<char>('0' + mag);
    }
    while (q != p) *--q = '0';
    return end;
}

// printf "%d"-style decimal.
inline void append_int(std::string& out, long long v) {
    char text[24];
    out.append(text, static_cast<size_t>(put_int(text, v) - text));
}

// The fields of a date, time or timestamp, written "%d"-style into a small
// buffer and appended to the row at once.
class Fields {
public:
    Fields& num(long long v, int width = 0) {
        if (width == 2 && v >= 0 && v < 100) {
            *p_++ = static_cast<char>('0' + v / 10);
            *p_++ = static_cast<char>('0' + v % 10);
            return *this;
        }
        p_ = put_int(p_, v, width);
        return *this;
    }
    Fields& put(char c) {
        *p_++ = c;
        return *this;
    }
    void append_to(std::string& out) const { out.append(text_, static_cast<size_t>(p_ - text_)); }
    char* copy_to(char* p) const {
        std::memcpy(p, text_, static_cast<size_t>(p_ - text_));
        return p + (p_ - text_);
    }

private:
    char text_[128];  // seven fields of at most 20 characters and their separators
    char* p_ = text_;
};

// A magnitude mag (not zero) that is a decimal of at most 15 digits with at
// most 6 after the point, and at least 1e-4: n and frac such that mag * 10^frac
// is the integer n below 10^15, with no trailing zero after the point. Then
// mag lies within a double's rounding error of n / 10^frac, far closer than
// half a unit of the 15th digit, so printf's "%.15G" gives exactly that
// decimal. Such values are most of what tables
// hold, and formatting an integer is much cheaper. False for other values.
inline bool short_decimal(double mag, long long& n, int& frac, long long& unit) {
    constexpr double kLimit = 1e15;
    constexpr int kMaxFraction = 6;
    if (!(mag >= 1e-4 && mag < kLimit)) return false;
    double scale = 1;
    unit = 1;  // 10^frac as an integer
    for (frac = 0; frac <= kMaxFraction; ++frac, scale *= 10, unit *= 10) {
        const double t = mag * scale;
        if (t >= kLimit) return false;
        n = static_cast<long long>(t);  // below 10^15: the cast only cuts the fraction
        if (static_cast<double>(n) != t) continue;
        while (frac > 0 && n % 10 == 0) {
            n /= 10;
            unit /= 10;
            --frac;
        }
        return true;
    }
    return false;
}

// The fixed form of short_decimal's n / unit (frac digits after the point),
// with the sign of v, at q; its end.
inline char* put_fixed(char* q, double v, long long n, int frac, long long unit) {
    if (v < 0) *q++ = '-';
    q = put_int(q, n / unit);
    if (frac > 0) {
        *q++ = '.';
        q = put_int(q, n % unit, frac);
    }
    return q;
}

// "%.15G" of v at p (at most kMaxNumberBytes) where short_decimal applies,
// and of zero; its end, or nullptr elsewhere.
inline char* put_short_decimal(char* p, double v) {
    if (v == 0) {
        if (std::signbit(v)) *p++ = '-';
        *p++ = '0';
        return p;
    }
    long long n = 0, unit = 1;
    int frac = 0;
    if (!short_decimal(std::fabs(v), n, frac, unit)) return nullptr;
    return put_fixed(p, v, n, frac, unit);
}

// std::to_chars(v), the shortest text that reads back to v, at p (at most
// kMaxNumberBytes) where short_decimal's decimal reads back to v (no other
// decimal of 15 digits or fewer does, so it is the shortest) and its fixed
// form is not longer than the exponent form (to_chars takes the shorter,
// fixed on a tie); its end, or nullptr elsewhere.
inline char* put_shortest_decimal(char* p, double v) {
    if (v == 0) return put_short_decimal(p, v);
    long long n = 0, unit = 1;
    int frac = 0;
    const double mag = std::fabs(v);
    // The decimal must read back to mag itself: the product that found it
    // was rounded, and n / 10^frac may be nearest to a neighbour of mag. The
    // quotient of two exact doubles is the double nearest to it.
    if (!short_decimal(mag, n, frac, unit) || static_cast<double>(n) / static_cast<double>(unit) != mag)
        return nullptr;
    int digits = 1;
    for (long long rest = n; rest >= 10; rest /= 10) ++digits;
    int significant = digits;
    for (long long rest = n; frac == 0 && rest % 10 == 0; rest /= 10) --significant;
    const int fixed = mag >= 1 ? digits + (frac > 0 ? 1 + frac : 0) : 2 + frac;
    const int exponent = significant + (significant > 1 ? 1 : 0) + 4;  // "e+14", "e-04"
    if (fixed > exponent) return nullptr;
    return put_fixed(p, v, n, frac, unit);
}

// put_short_decimal appended to out; false, with nothing written, where it
// does not apply.
inline bool append_short_decimal(std::string& out, double v) {
    char text[kMaxNumberBytes + 1];
    const char* end = put_short_decimal(text, v);
    if (end == nullptr) return false;
    out.append(text, static_cast<size_t>(end - text));
    return true;
}

// Bytes of the NUL-terminated text at p, looking at no more than limit bytes.
inline size_t bounded_strlen(const char* p, SQLLEN limit) {
    if (p == nullptr || limit <= 0) return 0;
    return strnlen(p, static_cast<size_t>(limit));
}

// What of character text fetched as SQL_C_CHAR is printed: the first bytes
// bytes of the buffer, then the mark when the value was cut.
struct TextPiece {
    size_t bytes = 0;
    bool cut = false;
};

inline TextPiece text_piece(const char* buf, SQLLEN ind, SQLLEN bufLen) {
    if (buf == nullptr || bufLen <= 0) return {};
    // SQL_NTS, or a length the driver could not give (SQL_NO_TOTAL): the
    // buffer holds NUL-terminated text.
    if (ind < 0) return {bounded_strlen(buf, bufLen), false};
    if (ind <= bufLen - 1) return {bounded_strlen(buf, ind), false};
    return {bounded_strlen(buf, bufLen - 1), true};
}

inline void format_text(std::string& out, const char* buf, SQLLEN ind, SQLLEN bufLen) {
    const TextPiece t = text_piece(buf, ind, bufLen);
    out.append(buf, t.bytes);
    if (t.cut) out.append(kTruncatedMark);
}

// A timestamp as "%d-%02d-%02d %02d:%02d:%02d", with ".%09d" of the
// fraction (as a signed value) when the column is wider than 19, at p (at
// most kMaxTimestampBytes); its end.
inline char* put_timestamp(char* p, const TIMESTAMP_STRUCT& ts, bool fraction) {
    const auto two = [](char* q, unsigned v) { std::memcpy(q, kPairs + 2 * v, 2); };
    if (ts.year >= 1000 && ts.year <= 9999 && ts.month < 100 && ts.day < 100 && ts.hour < 100 &&
        ts.minute < 100 && ts.second < 100 && (!fraction || ts.fraction < 1000000000)) {
        // Every field has its full width: digit pairs at fixed places.
        std::memcpy(p, "0000-00-00 00:00:00.000000000", 29);
        two(p, static_cast<unsigned>(ts.year) / 100);
        two(p + 2, static_cast<unsigned>(ts.year) % 100);
        two(p + 5, ts.month);
        two(p + 8, ts.day);
        two(p + 11, ts.hour);
        two(p + 14, ts.minute);
        two(p + 17, ts.second);
        if (!fraction) return p + 19;
        if (unsigned f = ts.fraction; f != 0) {
            p[28] = static_cast<char>('0' + f % 10);
            f /= 10;
            for (char* q = p + 26; q > p + 19; q -= 2, f /= 100) two(q, f % 100);
        }
        return p + 29;
    }
    Fields f;
    f.num(ts.year).put('-').num(ts.month, 2).put('-').num(ts.day, 2).put(' ');
    f.num(ts.hour, 2).put(':').num(ts.minute, 2).put(':').num(ts.second, 2);
    if (fraction) f.put('.').num(static_cast<int32_t>(ts.fraction), 9);
    return f.copy_to(p);
}

// put_timestamp appended to out.
inline void append_timestamp(std::string& out, const TIMESTAMP_STRUCT& ts, bool fraction) {
    char t[kMaxTimestampBytes + 1];
    out.append(t, static_cast<size_t>(put_timestamp(t, ts, fraction) - t));
}

}  // namespace value_text
