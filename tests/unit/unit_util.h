// Helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>

// Switches LC_ALL for one scope and restores "C" afterwards; a locale that
// is not installed fails the test.
struct LocaleGuard {
    explicit LocaleGuard(const char* name) : ok(std::setlocale(LC_ALL, name) != nullptr) {
        EXPECT_TRUE(ok) << "locale " << name << " is not available";
    }
    ~LocaleGuard() { std::setlocale(LC_ALL, "C"); }
    bool ok;
};

// Everything a file holds, read from its start; the offset ends at its end.
inline std::string file_text(FILE* file) {
    std::fseek(file, 0, SEEK_END);
    std::string s(static_cast<size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    s.resize(std::fread(s.data(), 1, s.size(), file));
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
        char code[16];
        std::snprintf(code, sizeof code, c > 0 && c < 0x80 ? "%c" : "<%x>", static_cast<unsigned>(c));
        s += code;
    }
    return s;
}
