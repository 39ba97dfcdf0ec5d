// Fuzz target: the UTF-8, UTF-16 and multibyte converters.
//
// Input: byte 0 holds options, bytes 1-2 an output capacity (little-endian,
// low 13 bits), the rest is the payload, read as UTF-8 bytes, as wide
// characters (four bytes each, any value), as UTF-16 units and as multibyte
// text. Options: bit 0 selects the "C" locale instead of C.UTF-8 for the
// multibyte layer; bits 1-2 the source length given: the exact count, -1,
// SQL_NTS or another negative value; bit 3 makes the capacity negative where
// it is signed.
//
// Every source and destination is a heap block of exactly the size the call
// is told, so a read or write one element too far shows under the address
// sanitizer. Each converter runs with the capacity from the input and with
// the size its own sizing call asks for, one less and one more; the results
// are checked against each other and by converting back.
#include <sql.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "fuzz_util.h"
#include "zvunicode.h"

namespace {

constexpr size_t kAllOnes = static_cast<size_t>(-1);
constexpr int kCapacityMask = 0x1FFF;  // larger blocks only slow the runs down

enum class Length { Exact, MinusOne, Nts, Negative };

// The capacity from the input is never negative; negative asks for its
// negative counterpart too where a capacity is signed.
struct Options { Length length; long capacity; bool negative; };

// A heap block of exactly n elements: the items, then zeros.
template <typename T>
std::unique_ptr<T[]> block(const std::vector<T>& items, size_t n) {
    std::unique_ptr<T[]> p(new T[n]());
    std::copy_n(items.begin(), std::min(n, items.size()), p.get());
    return p;
}

template <typename T>
size_t terminated_length(const std::vector<T>& v) {
    return static_cast<size_t>(std::find(v.begin(), v.end(), T()) - v.begin());
}

// A source block for the length mode (terminated for -1 and SQL_NTS), the
// length argument to pass and the count of elements a converter reads.
template <typename T>
struct Source {
    std::unique_ptr<T[]> data;
    long arg;
    size_t length;
};
template <typename T>
Source<T> source(const std::vector<T>& v, Length mode) {
    const bool terminated = mode == Length::MinusOne || mode == Length::Nts;
    const long args[] = {static_cast<long>(v.size()), -1, SQL_NTS, -2};
    return {block(v, v.size() + terminated), args[static_cast<int>(mode)],
            terminated ? terminated_length(v) + 1 : mode == Length::Exact ? v.size() : 0};
}

// The capacities each converter is run with: the one from the input, and
// around the size the sizing call asked for.
std::vector<long> capacities(long fromInput, long sized) {
    std::vector<long> caps = {fromInput, sized - 1, sized, sized + 1};
    std::erase_if(caps, [](long c) { return c <= 0; });
    return caps;
}

// All or nothing: the size the sizing call asks for is enough, one less is
// not; what is written reads back to the input.
void check_wcstoutf8(const wchar_t* src, long lengthArg, size_t length, long fromInput) {
    const int need = wcstoutf8(src, lengthArg, nullptr, 0);
    if (fromInput < 0) {
        auto none = block<unsigned char>({}, 0);
        FUZZ_CHECK(wcstoutf8(src, lengthArg, none.get(), static_cast<int>(fromInput)) == 0);
    }
    for (const long cap : capacities(fromInput, need)) {
        auto dst = block<unsigned char>({}, static_cast<size_t>(cap));
        const int r = wcstoutf8(src, lengthArg, dst.get(), static_cast<int>(cap));
        FUZZ_CHECK(r == (cap >= need ? need : 0));
        if (r == 0) continue;
        auto back = block<wchar_t>({}, length + 1);
        FUZZ_CHECK(utf8towcs(dst.get(), r, back.get(), static_cast<unsigned>(length + 1)) == length);
        // A negative element comes back as '?', one above U+FFFF as U+FFFD.
        for (size_t i = 0; i < length; ++i)
            FUZZ_CHECK(back[i] == (src[i] < 0 ? L'?' : src[i] > 0xFFFF ? wchar_t{0xFFFD} : src[i]));
    }
}

void check_utf8towcs(const std::vector<unsigned char>& payload, const Options& o) {
    const auto src = source(payload, o.length);
    const unsigned int count = utf8towcs(src.data.get(), src.arg, nullptr, 0);
    FUZZ_CHECK(count <= src.length);
    bool roundTripDone = false;
    for (const long cap : capacities(o.capacity, static_cast<long>(count))) {
        auto dst = block<wchar_t>({}, static_cast<size_t>(cap));
        const unsigned int r = utf8towcs(src.data.get(), src.arg, dst.get(), static_cast<unsigned int>(cap));
        // All of the input or nothing: a partial result is never returned.
        FUZZ_CHECK((r == 0 || r == count) && r <= static_cast<unsigned long>(cap));
        if (r == 0) continue;
        for (unsigned int i = 0; i < r; ++i) FUZZ_CHECK(dst[i] >= 0 && dst[i] <= 0xFFFF);
        // Every element converts back to UTF-8 and returns unchanged.
        if (!std::exchange(roundTripDone, true)) check_wcstoutf8(dst.get(), static_cast<long>(r), r, 0);
    }
}

// Shared check of utf16towcs and wcstoutf16: n units or elements, copied one
// for one through narrow; all or nothing is reported.
template <typename From, typename To, typename Convert, typename Narrow>
void check_unit_copy(const std::vector<From>& payload, const Options& o, Convert convert, Narrow narrow) {
    const auto src = source(payload, o.length);
    const long n = o.length == Length::Nts ? static_cast<long>(src.length) : src.arg;
    FUZZ_CHECK(convert(src.data.get(), static_cast<int>(src.arg), nullptr, 0) == n);
    std::vector<long> caps = capacities(o.capacity, n);
    if (o.negative) caps.push_back(-o.capacity - 1);
    for (const long cap : caps) {
        auto dst = block<To>({}, cap > 0 ? static_cast<size_t>(cap) : 0);
        const int r = convert(src.data.get(), static_cast<int>(src.arg), dst.get(), static_cast<int>(cap));
        FUZZ_CHECK(r == (n <= 0 ? n : cap >= n ? n : 0));
        for (long i = 0; i < std::min(cap, n); ++i) FUZZ_CHECK(dst[i] == narrow(src.data[i]));
    }
}

// The multibyte layers over wcstombs and mbstowcs under the current locale:
// the terminating, counting and fix-up variants agree with the plain one.
void check_multibyte(const std::vector<wchar_t>& wide, const std::vector<char>& bytes, size_t fromInput) {
    auto ws = block(wide, wide.size() + 1);  // terminated
    const size_t wideLen = terminated_length(wide);
    const size_t need = zvwcstombs(nullptr, ws.get(), 0);
    FUZZ_CHECK(zvGetBufLenForWideCharToMultiByteFixup(ws.get(), SQL_NTS) ==
               (need == kAllOnes ? kAllOnes : need + 1));
    // An explicit count reads that many elements and no further.
    auto exact = block(wide, wideLen);
    FUZZ_CHECK(zvGetBufLenForWideCharToMultiByteFixup(exact.get(), static_cast<int>(wideLen)) == need);
    std::vector<size_t> sizes = {fromInput};
    if (need != kAllOnes) sizes.insert(sizes.end(), {need > 0 ? need - 1 : 0, need, need + 1});
    for (const size_t cap : sizes) {
        auto dst = block<char>({}, cap);
        const size_t r = zvwcstombs(dst.get(), ws.get(), cap);
        FUZZ_CHECK(r == kAllOnes || r <= cap);
        if (need != kAllOnes && cap >= need) FUZZ_CHECK(r == need);
        const size_t t = zvwcstombs_term(dst.get(), ws.get(), cap);
        FUZZ_CHECK(t == r && (t == kAllOnes || t >= cap || dst[t] == '\0'));
        const int f = zvWideCharToMultipByteFixUp(ws.get(), 0, dst.get(), cap);
        FUZZ_CHECK(f == (cap == 0 ? -1 : static_cast<int>(r)));
    }

    auto mb = block(bytes, bytes.size() + 1);  // terminated
    auto raw = block(bytes, bytes.size());
    auto scratch = block<char>({}, bytes.size() + 1);
    const size_t wneed = zvmbstowcs(nullptr, mb.get(), 0);
    std::vector<size_t> wsizes = {fromInput};
    if (wneed != kAllOnes) wsizes.insert(wsizes.end(), {wneed, wneed + 1});
    for (const size_t cap : wsizes) {
        auto dst = block<wchar_t>({}, cap);
        const size_t r = zvmbstowcs(dst.get(), mb.get(), cap);
        // A failure leaves an empty string.
        FUZZ_CHECK(r == kAllOnes ? cap == 0 || dst[0] == L'\0' : r <= cap);
        const size_t t = zvmbstowcs_term(dst.get(), mb.get(), cap);
        FUZZ_CHECK(t == r && (t == kAllOnes || t >= cap || dst[t] == L'\0'));
        // Not terminated: the bytes go through a scratch copy one byte longer.
        FUZZ_CHECK(zvmbstowcs_l(dst.get(), cap, raw.get(), bytes.size(), scratch.get()) == r);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const unsigned flags = size > 0 ? data[0] : 0;
    const Options o{static_cast<Length>((flags >> 1) & 3),
                    ((size > 1 ? data[1] : 0) | (size > 2 ? data[2] << 8 : 0)) & kCapacityMask, (flags & 8) != 0};
    const size_t skip = std::min<size_t>(size, 3);
    const uint8_t* payload = data + skip;
    fuzz_use_locale((flags & 1) == 0);

    check_utf8towcs(fuzz_elements<unsigned char>(payload, size - skip), o);
    const std::vector<wchar_t> wide = fuzz_elements<wchar_t>(payload, size - skip);
    const auto wsrc = source(wide, o.length);
    check_wcstoutf8(wsrc.data.get(), wsrc.arg, wsrc.length, o.negative ? -o.capacity - 1 : o.capacity);
    check_unit_copy<zvutf16, wchar_t>(fuzz_elements<zvutf16>(payload, size - skip), o, utf16towcs,
                                      [](zvutf16 u) { return static_cast<wchar_t>(u); });
    check_unit_copy<wchar_t, zvutf16>(wide, o, wcstoutf16, [](wchar_t w) {
        return static_cast<zvutf16>(static_cast<uint32_t>(w) & 0xFFFF);
    });
    check_multibyte(wide, fuzz_elements<char>(payload, size - skip), static_cast<size_t>(o.capacity));
    return 0;
}
