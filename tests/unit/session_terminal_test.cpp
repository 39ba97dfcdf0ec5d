// What the terminal history keeps and where, and what Tab offers.
#include <gtest/gtest.h>

#include "isqlterm.h"

namespace {
TEST(PasswordLine, ConnectWithStarHoldsOne) {
    EXPECT_TRUE(isql_line_holds_password(L"connect scott*tiger@orcl"));
    EXPECT_TRUE(isql_line_holds_password(L"  CoNnEcT \"a b\"*\"c\"@dsn;\n"));
    EXPECT_TRUE(isql_line_holds_password(L"\tmulticonnect 5 u*p@dsn"));
    EXPECT_TRUE(isql_line_holds_password(L"MULTICONNECT 5 u * p @ dsn"));
}

TEST(PasswordLine, ConnectWithoutStarHoldsNone) {
    EXPECT_FALSE(isql_line_holds_password(L"connect orcl"));
    EXPECT_FALSE(isql_line_holds_password(L"connect scott@orcl"));
    EXPECT_FALSE(isql_line_holds_password(L"multiconnect 3 orcl"));
}

TEST(PasswordLine, CustomConnectKeysInAnyCase) {
    EXPECT_TRUE(isql_line_holds_password(L"customconnect \"DSN=x;PWD=secret\""));
    EXPECT_TRUE(isql_line_holds_password(L"CUSTOMCONNECT \"DSN=x;pwd = secret\""));
    EXPECT_TRUE(isql_line_holds_password(L"CustomConnect \"Password=s;DSN=x\""));
    EXPECT_TRUE(isql_line_holds_password(L"customconnect \"DSN=x; PASSWORD =s\""));
    EXPECT_FALSE(isql_line_holds_password(L"customconnect \"DSN=x;UID=pwdowner\""));
    EXPECT_FALSE(isql_line_holds_password(L"customconnect \"DSN=x;UID=u\""));
}

TEST(PasswordLine, OtherWordsAreNotConnects) {
    // A statement or a longer word that starts like a command is not one.
    EXPECT_FALSE(isql_line_holds_password(L"select 2*3 from dual;"));
    EXPECT_FALSE(isql_line_holds_password(L"connect_log * x"));
    EXPECT_FALSE(isql_line_holds_password(L"connectx a*b@c"));
    EXPECT_FALSE(isql_line_holds_password(L"echo PWD=x"));
    EXPECT_FALSE(isql_line_holds_password(L""));
}

TEST(HistoryPath, DefaultSettingAndOff) {
    EXPECT_EQ(isql_history_path(nullptr, "/home/u"), "/home/u/.wsql_history");
    EXPECT_EQ(isql_history_path(nullptr, nullptr), "");
    EXPECT_EQ(isql_history_path("", "/home/u"), "");
    EXPECT_EQ(isql_history_path("/var/h", "/home/u"), "/var/h");
    EXPECT_EQ(isql_history_path("~/h/x", "/home/u"), "/home/u/h/x");
    EXPECT_EQ(isql_history_path("~/h", nullptr), "");
}

TEST(Complete, OneKeywordGetsABlank) {
    Completion c = isql_complete(L"sho", true, {});
    EXPECT_EQ(c.insert, L"w ");
    EXPECT_TRUE(c.choices.empty());
    EXPECT_EQ(isql_complete(L"DESCR", true, {}).insert, L"IBE ");
}

TEST(Complete, SeveralAreCompletedAsFarAsTheyAgree) {
    Completion c = isql_complete(L"tab", true, {});
    EXPECT_EQ(c.insert, L"le");
    EXPECT_EQ(c.choices, (std::vector<std::wstring>{L"table", L"tables"}));
    c = isql_complete(L"co", true, {});
    EXPECT_EQ(c.insert, L"");
    EXPECT_EQ(c.choices, (std::vector<std::wstring>{L"commit", L"connect"}));
}

TEST(Complete, TablesOnlyBehindTheFirstWord) {
    const std::vector<std::wstring> tables = {L"Employees", L"dept"};
    EXPECT_EQ(isql_complete(L"emp", false, tables).insert, L"loyees ");
    EXPECT_EQ(isql_complete(L"emp", true, tables).insert, L"");
    EXPECT_TRUE(isql_complete(L"emp", true, tables).choices.empty());
    Completion c = isql_complete(L"de", false, tables);
    EXPECT_EQ(c.choices, (std::vector<std::wstring>{L"delete", L"dept", L"describe"}));
}

TEST(Complete, NothingMatches) {
    Completion c = isql_complete(L"zz", false, {L"emp"});
    EXPECT_TRUE(c.insert.empty());
    EXPECT_TRUE(c.choices.empty());
}
}  // namespace
