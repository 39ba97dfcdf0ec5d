// The settings file reader, on files written into a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "isqlini.h"
#include "unit_util.h"

namespace {

TEST(SettingsFile, LookupsInFiles) {
    const std::filesystem::path path = test_path("wsql_ini_");
    // file (nullopt: none), key of [Common], buffer size, value ("DEF": the default).
    struct Case { std::optional<std::string> file; const char* key; size_t size; std::string want; };
    for (const Case& c : std::initializer_list<Case>{
             {std::nullopt, "SetLocale", 512, "DEF"}, {"[Other]\nSetLocale=de_DE\n", "SetLocale", 512, "DEF"},
             {"[Common]\nAbout=x\n", "SetLocale", 512, "DEF"},
             // Case and blanks are ignored, but a tab belongs to the value.
             {"; comment\n\n[common]\n  setlocale   =   C.UTF-8  \n", "SetLocale", 512, "C.UTF-8"},
             {"[Common]\nAbout=\tx\t\n", "About", 512, "\tx\t"},
             // The header stands alone on its line.
             {" [Common]\nSetLocale=a\n", "SetLocale", 512, "DEF"},
             {"[Common] \nSetLocale=a\n", "SetLocale", 512, "DEF"},
             {"[Common]\r\nSetLocale=a\r\n", "SetLocale", 512, "DEF"},
             // The first key of the first section wins; "[]" ends the
             // section as well, a "[" without "]" does not.
             {"[Common]\nKey=one\nKey=two\n[Common]\nKey=three\n", "Key", 512, "one"},
             {"[Common]\nOther=1\n[Next]\nKey=two\n", "Key", 512, "DEF"},
             {"[Common]\n[]\nKey=two\n", "Key", 512, "DEF"}, {"[Common]\n[junk\nKey=two\n", "Key", 512, "two"},
             {"[Common]\nSetLocale=\nnoequals line\n", "SetLocale", 512, ""},  // empty is no default
             // Values are cut to the buffer; a line over 1023 bytes is read in
             // pieces, the value is the rest of the first.
             {"[Common]\nAbout=" + std::string(600, 'x') + "\n", "About", 512, std::string(511, 'x')},
             {"[Common]\nAbout=" + std::string(2000, 'y') + "\n", "About", 4096, std::string(1023 - 6, 'y')}}) {
        std::filesystem::remove(path);
        if (c.file) std::ofstream(path, std::ios::binary) << *c.file;
        char out[4096];
        const int n = isql_GetPrivateProfileString("Common", c.key, "DEF", out, c.size, path.c_str());
        EXPECT_EQ(out, c.want) << c.file.value_or("(none)").substr(0, 40);
        EXPECT_EQ(static_cast<size_t>(n), c.want.size()) << c.file.value_or("(none)").substr(0, 40);
    }
    std::filesystem::remove(path);
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
