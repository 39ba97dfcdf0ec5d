// Fuzz target: the UTF-8, UTF-16 and multibyte converters.
//
// Input: byte 0 holds options, bytes 1-2 an output capacity (little-endian,
// low 13 bits),
// the rest is the payload, read as UTF-8 bytes, as wide characters (four
// bytes each, any value), as UTF-16 units and as multibyte text. Options:
// bit 0 selects the "C" locale instead of C.UTF-8 for the multibyte layer;
// bits 1-2 the source length given: the exact count, -1, SQL_NTS or another
// negative value; bit 3 makes the capacity negative where it is signed.
//
// Every source and destination is a heap block of exactly the size the call
// is told, so a read or write one element too far shows under the address
// sanitizer. Each converter runs with the capacity from the input and with
// the size its own sizing call asks for, one less and one more; the results
// are checked against each other and by converting back.
#include <sql.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

#include "fuzz_util.h"
#include "zvunicode.h"

namespace {

constexpr size_t kAllOnes = static_cast<size_t>(-1);
constexpr long kOtherNegative = -2;
constexpr int kCapacityMask = 0x1FFF;  // larger blocks only slow the runs down

enum class Length { Exact, MinusOne, Nts, Negative };

struct Options {
    bool utf8Locale = true;
    Length length = Length::Exact;
    bool negativeCapacity = false;
    int capacity = 0;
};

// A heap block of exactly n elements: the payload, then fill.
template <typename T>
std::unique_ptr<T[]> block(const std::vector<T>& items, size_t n, T fill = T()) {
    std::unique_ptr<T[]> p(new T[n]);
    for (size_t i = 0; i < n; ++i) p[i] = i < items.size() ? items[i] : fill;
    return p;
}

// Position of the first zero element, or the count.
template <typename T>
size_t terminated_length(const std::vector<T>& v) {
    return static_cast<size_t>(std::find(v.begin(), v.end(), T()) - v.begin());
}

// A source block for the length mode (terminated for -1 and SQL_NTS), the
// length argument to pass and the elements a converter reads as the input.
template <typename T>
std::unique_ptr<T[]> source(const std::vector<T>& v, Length mode, long& lengthArg, size_t& length) {
    length = mode == Length::Exact ? v.size() : mode == Length::Negative ? 0 : terminated_length(v) + 1;
    switch (mode) {
    case Length::Exact: lengthArg = static_cast<long>(v.size()); return block(v, v.size());
    case Length::MinusOne: lengthArg = -1; return block(v, v.size() + 1);
    case Length::Nts: lengthArg = SQL_NTS; return block(v, v.size() + 1);
    case Length::Negative: lengthArg = kOtherNegative; return block(v, v.size());
    }
    return nullptr;
}

// The capacities each converter is run with: the one from the input, and
// around the size the sizing call asked for.
std::vector<long> capacities(long fromInput, long sized) {
    std::vector<long> caps = {fromInput, sized - 1, sized, sized + 1};
    caps.erase(std::remove_if(caps.begin(), caps.end(), [](long c) { return c <= 0; }),
               caps.end());
    return caps;
}

// What wcstoutf8 writes, read back by utf8towcs: a negative element comes
// back as '?', one above U+FFFF as U+FFFD, all others unchanged.
wchar_t utf8_round_trip_of(wchar_t w) {
    const int32_t v = static_cast<int32_t>(w);
    if (v < 0) return L'?';
    if (v > 0xFFFF) return static_cast<wchar_t>(0xFFFD);
    return w;
}

void check_wcstoutf8(const wchar_t* src, long lengthArg, size_t length, int fromInput);

void check_utf8towcs(const std::vector<unsigned char>& payload, const Options& o) {
    long lengthArg = 0;
    size_t length = 0;
    auto src = source(payload, o.length, lengthArg, length);
    const unsigned int count = utf8towcs(src.get(), lengthArg, nullptr, 0);
    FUZZ_CHECK(count <= length);
    bool roundTripDone = false;
    for (const long cap : capacities(o.capacity, static_cast<long>(count))) {
        auto dst = block<wchar_t>({}, static_cast<size_t>(cap));
        const unsigned int r = utf8towcs(src.get(), lengthArg, dst.get(),
                                         static_cast<unsigned int>(cap));
        // All of the input or nothing: a partial result is never returned.
        FUZZ_CHECK(r == 0 || r == count);
        FUZZ_CHECK(r <= static_cast<unsigned long>(cap));
        if (r == 0) continue;
        for (unsigned int i = 0; i < r; ++i) FUZZ_CHECK(dst[i] >= 0 && dst[i] <= 0xFFFF);
        // Every element converts back to UTF-8 and returns unchanged.
        if (!roundTripDone) check_wcstoutf8(dst.get(), static_cast<long>(r), r, 0);
        roundTripDone = true;
    }
}

void check_wcstoutf8(const wchar_t* src, long lengthArg, size_t length, int fromInput) {
    long need = 0;
    for (size_t i = 0; i < length; ++i) {
        const int32_t v = static_cast<int32_t>(src[i]);
        need += v <= 0x7F ? 1 : v <= 0x7FF ? 2 : 3;
    }
    FUZZ_CHECK(wcstoutf8(src, lengthArg, nullptr, 0) == need);
    if (fromInput < 0) {
        auto none = block<unsigned char>({}, 0);
        FUZZ_CHECK(wcstoutf8(src, lengthArg, none.get(), fromInput) == 0);
    }
    for (const long cap : capacities(fromInput, need)) {
        auto dst = block<unsigned char>({}, static_cast<size_t>(cap));
        const int r = wcstoutf8(src, lengthArg, dst.get(), static_cast<int>(cap));
        FUZZ_CHECK(r == (cap >= need ? need : 0));
        if (r == 0) continue;
        auto back = block<wchar_t>({}, length + 1);
        const unsigned int n = utf8towcs(dst.get(), r, back.get(), static_cast<unsigned>(length + 1));
        FUZZ_CHECK(n == length);
        for (size_t i = 0; i < length; ++i) FUZZ_CHECK(back[i] == utf8_round_trip_of(src[i]));
    }
}

// Shared check of utf16towcs and wcstoutf16: n units or elements, copied one
// for one through narrow; all or nothing is reported.
template <typename From, typename To, typename Convert, typename Narrow>
void check_unit_copy(const std::vector<From>& payload, const Options& o, Convert convert,
                     Narrow narrow) {
    long lengthArg = 0;
    size_t length = 0;
    auto src = source(payload, o.length, lengthArg, length);
    const long n = o.length == Length::Nts ? static_cast<long>(length) : lengthArg;
    FUZZ_CHECK(convert(src.get(), static_cast<int>(lengthArg), nullptr, 0) == n);

    std::vector<long> caps = capacities(o.capacity, n);
    if (o.negativeCapacity) caps.push_back(-static_cast<long>(o.capacity) - 1);
    for (const long cap : caps) {
        auto dst = block<To>({}, cap > 0 ? static_cast<size_t>(cap) : 0);
        const int r = convert(src.get(), static_cast<int>(lengthArg), dst.get(), static_cast<int>(cap));
        FUZZ_CHECK(r == (n <= 0 ? n : cap >= n ? n : 0));
        if (n <= 0) continue;
        const long written = std::min(cap, n);
        for (long i = 0; i < written; ++i) FUZZ_CHECK(dst[i] == narrow(src[i]));
    }
}

// The multibyte layers over wcstombs and mbstowcs under the current locale.
void check_multibyte(const std::vector<wchar_t>& wide, const std::vector<char>& bytes,
                     const Options& o) {
    auto ws = block(wide, wide.size() + 1);  // terminated
    const size_t wideLen = terminated_length(wide);
    const size_t need = zvwcstombs(nullptr, ws.get(), 0);
    const size_t fixupNeed = zvGetBufLenForWideCharToMultiByteFixup(ws.get(), SQL_NTS);
    FUZZ_CHECK(fixupNeed == (need == kAllOnes ? kAllOnes : need + 1));
    // An explicit count reads that many elements and no further.
    auto exact = block(wide, wideLen);
    const size_t exactNeed = zvGetBufLenForWideCharToMultiByteFixup(exact.get(), static_cast<int>(wideLen));
    FUZZ_CHECK(exactNeed == need);

    std::vector<size_t> sizes = {static_cast<size_t>(o.capacity)};
    if (need != kAllOnes) sizes.insert(sizes.end(), {need > 0 ? need - 1 : 0, need, need + 1});
    for (const size_t cap : sizes) {
        auto dst = block<char>({}, cap);
        const size_t r = zvwcstombs(dst.get(), ws.get(), cap);
        FUZZ_CHECK(r == kAllOnes || r <= cap);
        if (need != kAllOnes && cap >= need) FUZZ_CHECK(r == need);
        const size_t t = zvwcstombs_term(dst.get(), ws.get(), cap);
        FUZZ_CHECK(t == r);
        if (t != kAllOnes && t < cap) FUZZ_CHECK(dst[t] == '\0');
        const int f = zvWideCharToMultipByteFixUp(ws.get(), 0, dst.get(), cap);
        FUZZ_CHECK(f == (cap == 0 ? -1 : static_cast<int>(r)));
    }

    auto mb = block(bytes, bytes.size() + 1);  // terminated
    const size_t wneed = zvmbstowcs(nullptr, mb.get(), 0);
    std::vector<size_t> wsizes = {static_cast<size_t>(o.capacity)};
    if (wneed != kAllOnes) wsizes.insert(wsizes.end(), {wneed, wneed + 1});
    for (const size_t cap : wsizes) {
        auto dst = block<wchar_t>({}, cap);
        const size_t r = zvmbstowcs(dst.get(), mb.get(), cap);
        if (r == kAllOnes) {
            if (cap > 0) FUZZ_CHECK(dst[0] == L'\0');
        } else {
            FUZZ_CHECK(r <= cap);
        }
        const size_t t = zvmbstowcs_term(dst.get(), mb.get(), cap);
        FUZZ_CHECK(t == r);
        if (t != kAllOnes && t < cap) FUZZ_CHECK(dst[t] == L'\0');

        // Not terminated: the bytes go through a scratch copy one byte longer.
        auto raw = block(bytes, bytes.size());
        auto scratch = block<char>({}, bytes.size() + 1);
        const size_t l = zvmbstowcs_l(dst.get(), cap, raw.get(), bytes.size(), scratch.get());
        FUZZ_CHECK(l == r);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Options o;
    const unsigned flags = size > 0 ? data[0] : 0;
    o.utf8Locale = (flags & 1) == 0;
    o.length = static_cast<Length>((flags >> 1) & 3);
    o.negativeCapacity = (flags & 8) != 0;
    o.capacity = ((size > 1 ? data[1] : 0) | (size > 2 ? data[2] << 8 : 0)) & kCapacityMask;
    const uint8_t* payload = data + std::min<size_t>(size, 3);
    const size_t payloadSize = size - std::min<size_t>(size, 3);
    fuzz_use_locale(o.utf8Locale);

    check_utf8towcs(fuzz_elements<unsigned char>(payload, payloadSize), o);

    const std::vector<wchar_t> wide = fuzz_elements<wchar_t>(payload, payloadSize);
    long lengthArg = 0;
    size_t wideLength = 0;
    auto wsrc = source(wide, o.length, lengthArg, wideLength);
    check_wcstoutf8(wsrc.get(), lengthArg, wideLength,
                    o.negativeCapacity ? -o.capacity - 1 : o.capacity);

    check_unit_copy<zvutf16, wchar_t>(
        fuzz_elements<zvutf16>(payload, payloadSize), o, utf16towcs,
        [](zvutf16 u) { return static_cast<wchar_t>(u); });
    check_unit_copy<wchar_t, zvutf16>(wide, o, wcstoutf16, [](wchar_t w) {
        return static_cast<zvutf16>(static_cast<uint32_t>(w) & 0xFFFF);
    });

    check_multibyte(wide, fuzz_elements<char>(payload, payloadSize), o);
    return 0;
}
