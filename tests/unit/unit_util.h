// Helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>

// Switches LC_ALL for one scope and restores "C" afterwards.
struct LocaleGuard {
    explicit LocaleGuard(const char* name) : ok(std::setlocale(LC_ALL, name) != nullptr) {}
    ~LocaleGuard() { std::setlocale(LC_ALL, "C"); }
    bool ok;
};

// Everything a file holds, read from its start; the offset ends at its end.
inline std::string file_text(FILE* file) {
    std::string s;
    char buf[4096];
    std::rewind(file);
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, file)) > 0;) s.append(buf, n);
    std::fseek(file, 0, SEEK_END);
    return s;
}

// A path in the temporary folder of this test alone.
inline std::filesystem::path test_path(const std::string& prefix) {
    const auto* unit = ::testing::UnitTest::GetInstance();
    return std::filesystem::temp_directory_path() /
           (prefix + std::to_string(unit->random_seed()) + "_" + unit->current_test_info()->name());
}

// Wide text as ASCII, any other character as <hex code>, for readable tables.
inline std::string ascii(const std::wstring& text) {
    std::string s;
    for (const wchar_t c : text) {
        if (c > 0 && c < 0x80) {
            s += static_cast<char>(c);
        } else {
            char code[16];
            std::snprintf(code, sizeof code, "<%x>", static_cast<unsigned>(c));
            s += code;
        }
    }
    return s;
}
