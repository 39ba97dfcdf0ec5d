// Helpers shared by the fuzz targets.
#pragma once

#include <clocale>
#include <locale.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/mman.h>
#include <unistd.h>

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
    const locale_t wanted = locales[utf8 ? 1 : 0];
    if (wanted == locale_t()) {
        std::fprintf(stderr, "fuzz: locale %s is not available\n", utf8 ? "C.UTF-8" : "C");
        std::abort();
    }
    uselocale(wanted);
}

// An anonymous in-memory file, created once per process, so the code under
// test reads a real descriptor or path.
inline int fuzz_memfd() {
    static const int fd = memfd_create("wsql-fuzz", 0);
    if (fd < 0) std::abort();
    return fd;
}

// Replaces the contents of the in-memory file with size bytes of data and
// rewinds its offset. Returns the descriptor.
inline int fuzz_fill_memfd(const void* data, size_t size) {
    const int fd = fuzz_memfd();
    if (ftruncate(fd, 0) != 0) std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, static_cast<const char*>(data) + done, size - done,
                                 static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<size_t>(n);
    }
    if (lseek(fd, 0, SEEK_SET) != 0) std::abort();
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
