// Helpers shared by the fuzz targets.
#pragma once

#include <locale.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// A property of the code under test that must hold for every input. A
// failure aborts, so libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(cond)                                                                  \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

// Makes "C.UTF-8" or "C" the locale of every category for this thread.
// Both are loaded once; switching with uselocale is cheap, where setlocale
// for every input would cost more than the code under test.
inline void fuzz_use_locale(bool utf8) {
    static const locale_t locales[2] = {newlocale(LC_ALL_MASK, "C", locale_t()),
                                        newlocale(LC_ALL_MASK, "C.UTF-8", locale_t())};
    if (locales[utf8] == locale_t()) {
        std::fprintf(stderr, "fuzz: locale %s is not available\n", utf8 ? "C.UTF-8" : "C");
        std::abort();
    }
    uselocale(locales[utf8]);
}

// Makes size bytes of data the whole contents of an anonymous in-memory file
// (created once per process, so the code under test reads a real descriptor
// or path), its offset at the start. Returns the descriptor.
inline int fuzz_fill_memfd(const void* data, size_t size) {
    static const int fd = memfd_create("wsql-fuzz", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size) ||
        lseek(fd, 0, SEEK_SET) != 0)
        std::abort();
    return fd;
}

// The bytes as elements of T, host order; trailing bytes that make no whole
// element are left out.
template <typename T>
std::vector<T> fuzz_elements(const uint8_t* p, size_t size) {
    std::vector<T> v(size / sizeof(T));
    if (!v.empty()) std::memcpy(v.data(), p, v.size() * sizeof(T));
    return v;
}

// Calls fn(line, ended) for each piece of text up to a line feed (removed;
// ended true) and for the rest behind the last one (ended false).
template <typename Fn>
void fuzz_for_each_line(const std::string& text, Fn fn) {
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        fn(text.substr(start, nl - start), true);
    fn(text.substr(start), false);
}
