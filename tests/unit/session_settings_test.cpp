// The settings file reader, on files written into a temporary folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "isqlini.h"

namespace {
class SettingsFile : public ::testing::Test {
protected:
    std::filesystem::path path_;

    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("wsql_ini_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { std::filesystem::remove(path_); }

    void write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }

    std::string get(const char* section, const char* key, const char* def = "DEF",
                    size_t size = 512) {
        char out[4096];
        int n = isql_GetPrivateProfileString(section, key, def, out, size, path_.c_str());
        EXPECT_EQ(static_cast<size_t>(n), std::string(out).size());
        return out;
    }
};

TEST_F(SettingsFile, MissingFileSectionOrKeyGivesDefault) {
    EXPECT_EQ(get("Common", "SetLocale", ""), "");
    write("[Other]\nSetLocale=de_DE\n");
    EXPECT_EQ(get("Common", "SetLocale"), "DEF");
    write("[Common]\nAbout=x\n");
    EXPECT_EQ(get("Common", "SetLocale"), "DEF");
}

TEST_F(SettingsFile, CaseAndBlanksAreIgnoredWhereTheFormatSaysSo) {
    write("; comment\n\n[common]\n  setlocale   =   C.UTF-8  \n");
    EXPECT_EQ(get("Common", "SetLocale"), "C.UTF-8");
    // A tab belongs to the value; only blanks are stripped.
    write("[Common]\nAbout=\tx\t\n");
    EXPECT_EQ(get("Common", "About"), "\tx\t");
}

TEST_F(SettingsFile, HeaderMustStandAloneOnItsLine) {
    write(" [Common]\nSetLocale=a\n");
    EXPECT_EQ(get("Common", "SetLocale"), "DEF");
    write("[Common] \nSetLocale=a\n");
    EXPECT_EQ(get("Common", "SetLocale"), "DEF");
    write("[Common]\r\nSetLocale=a\r\n");
    EXPECT_EQ(get("Common", "SetLocale"), "DEF");
}

TEST_F(SettingsFile, FirstKeyOfFirstSectionWins) {
    write("[Common]\nKey=one\nKey=two\n[Common]\nKey=three\n");
    EXPECT_EQ(get("Common", "Key"), "one");
    write("[Common]\nOther=1\n[Next]\nKey=two\n");
    EXPECT_EQ(get("Common", "Key"), "DEF");
    // "[]" ends the section as well; a "[" without "]" does not.
    write("[Common]\n[]\nKey=two\n");
    EXPECT_EQ(get("Common", "Key"), "DEF");
    write("[Common]\n[junk\nKey=two\n");
    EXPECT_EQ(get("Common", "Key"), "two");
}

TEST_F(SettingsFile, EmptyValueIsNotTheDefault) {
    write("[Common]\nSetLocale=\nnoequals line\n");
    EXPECT_EQ(get("Common", "SetLocale"), "");
}

TEST_F(SettingsFile, LongValuesAreCutToTheBuffer) {
    write("[Common]\nAbout=" + std::string(600, 'x') + "\n");
    EXPECT_EQ(get("Common", "About", "DEF", 512), std::string(511, 'x'));
    // A line over 1023 bytes is read in pieces: the value is the first piece's rest.
    write("[Common]\nAbout=" + std::string(2000, 'y') + "\n");
    EXPECT_EQ(get("Common", "About", "DEF", 4096), std::string(1023 - 6, 'y'));
}

TEST(SettingsHelpers, BlankStripCommentsAndCompare) {
    char text[] = "  a b  ";
    EXPECT_STREQ(BlankStrip(text), "a b");
    EXPECT_EQ(IsCommentLine("   ; x"), 1);
    EXPECT_EQ(IsCommentLine("   "), 1);
    EXPECT_EQ(IsCommentLine("# x"), 0);
    EXPECT_EQ(IsCommentLine(nullptr), 0);
    EXPECT_EQ(isql_stricmp("NoNe", "none"), 0);
    EXPECT_LT(isql_stricmp("a", "B"), 0);
}
}  // namespace
