// What the terminal history keeps and where, and what Tab offers.
#include <gtest/gtest.h>

#include "isqlterm.h"
#include "unit_util.h"

namespace {
TEST(PasswordLine, ConnectsWithAPasswordAndOthers) {
    const std::pair<const wchar_t*, bool> rows[] = {
        {L"connect scott*tiger@orcl", true}, {L"  CoNnEcT \"a b\"*\"c\"@dsn;\n", true},
        {L"\tmulticonnect 5 u*p@dsn", true}, {L"MULTICONNECT 5 u * p @ dsn", true},
        {L"connect orcl", false}, {L"connect scott@orcl", false}, {L"multiconnect 3 orcl", false},
        // CUSTOMCONNECT: the keys in any case.
        {L"customconnect \"DSN=x;PWD=secret\"", true}, {L"CUSTOMCONNECT \"DSN=x;pwd = secret\"", true},
        {L"CustomConnect \"Password=s;DSN=x\"", true}, {L"customconnect \"DSN=x; PASSWORD =s\"", true},
        {L"customconnect \"DSN=x;UID=pwdowner\"", false}, {L"customconnect \"DSN=x;UID=u\"", false},
        // A statement or a longer word that starts like a command is not one.
        {L"select 2*3 from dual;", false}, {L"connect_log * x", false}, {L"connectx a*b@c", false},
        {L"echo PWD=x", false}, {L"", false}};
    for (const auto& [line, holds] : rows) EXPECT_EQ(isql_line_holds_password(line), holds) << ascii(line);
}

TEST(HistoryPath, DefaultSettingAndOff) {
    EXPECT_EQ(isql_history_path(nullptr, "/home/u"), "/home/u/.wsql_history");
    EXPECT_EQ(isql_history_path(nullptr, nullptr), "");
    EXPECT_EQ(isql_history_path("", "/home/u"), "");
    EXPECT_EQ(isql_history_path("/var/h", "/home/u"), "/var/h");
    EXPECT_EQ(isql_history_path("~/h/x", "/home/u"), "/home/u/h/x");
    EXPECT_EQ(isql_history_path("~/h", nullptr), "");
}

TEST(Complete, KeywordsFirstTablesBehind) {
    // One match gets a blank; several are completed as far as they agree;
    // tables are offered only behind the first word.
    const std::vector<std::wstring> tables = {L"Employees", L"dept"};
    struct Case { const wchar_t* word; bool first; std::wstring insert; std::vector<std::wstring> choices; };
    for (const Case& c : std::initializer_list<Case>{
             {L"sho", true, L"w ", {}}, {L"DESCR", true, L"IBE ", {}},
             {L"tab", true, L"le", {L"table", L"tables"}}, {L"co", true, L"", {L"commit", L"connect"}},
             {L"emp", false, L"loyees ", {}}, {L"emp", true, L"", {}},
             {L"de", false, L"", {L"delete", L"dept", L"describe"}}, {L"zz", false, L"", {}}}) {
        const Completion got = isql_complete(c.word, c.first, tables);
        EXPECT_EQ(got.insert, c.insert) << ascii(c.word) << c.first;
        EXPECT_EQ(got.choices, c.choices) << ascii(c.word) << c.first;
    }
}
}  // namespace
