// The settings file reader, on files written into a temporary folder.

#include <fstream>

#include "isqlini.h"
#include "unit_util.h"

namespace {

TEST(SettingsFile, LookupsInFiles) {
    const std::filesystem::path path = test_path("wsql_ini_");
    // file, key of [Common], value ("DEF": the default). No file at all gives
    // the default banner in every golden case without odbcisql.ini.
    struct Case { std::string file; const char* key; std::string want; };
    for (const Case& c : std::initializer_list<Case>{
             {"[Other]\nSetLocale=de_DE\n", "SetLocale", "DEF"}, {"[Common]\nAbout=x\n", "SetLocale", "DEF"},
             // Case and blanks are ignored, but a tab belongs to the value.
             {"; comment\n\n[common]\n  setlocale   =   C.UTF-8  \n", "SetLocale", "C.UTF-8"},
             {"[Common]\nAbout=\tx\t\n", "About", "\tx\t"},
             // The header stands alone on its line.
             {" [Common]\nSetLocale=a\n", "SetLocale", "DEF"}, {"[Common] \nSetLocale=a\n", "SetLocale", "DEF"},
             {"[Common]\r\nSetLocale=a\r\n", "SetLocale", "DEF"},
             // The first key of the first section wins; "[]" ends the
             // section as well, a "[" without "]" does not.
             {"[Common]\nKey=one\nKey=two\n[Common]\nKey=three\n", "Key", "one"},
             {"[Common]\nOther=1\n[Next]\nKey=two\n", "Key", "DEF"}, {"[Common]\n[]\nKey=two\n", "Key", "DEF"},
             {"[Common]\n[junk\nKey=two\n", "Key", "two"},
             {"[Common]\nSetLocale=\nnoequals line\n", "SetLocale", ""},  // empty is no default
             // A line over 1023 bytes is read in pieces, the value is the rest of
             // the first. (Cuts to the buffer: fuzz_settings, for every size around
             // the value's length.)
             {"[Common]\nAbout=" + std::string(2000, 'y') + "\n", "About", std::string(1023 - 6, 'y')}}) {
        std::ofstream(path, std::ios::binary) << c.file;
        char out[4096];
        const int n = isql_GetPrivateProfileString("Common", c.key, "DEF", out, sizeof out, path.c_str());
        EXPECT_EQ(out, c.want) << c.file.substr(0, 40);
        EXPECT_EQ(static_cast<size_t>(n), c.want.size()) << c.file.substr(0, 40);
    }
    std::filesystem::remove(path);
}

// A comment line starts with ";" after any blanks; "#" starts none. (Blank
// stripping and the case-blind comparison show in the lookups above, and in
// the "SetLocale=none" of session/settings_file.)
TEST(SettingsHelpers, CommentLines) {
    EXPECT_TRUE(IsCommentLine("   ; x") == 1 && IsCommentLine("   ") == 1);
    EXPECT_TRUE(IsCommentLine("# x") == 0 && IsCommentLine(nullptr) == 0);
}

}  // namespace
