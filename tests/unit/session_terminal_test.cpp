// What the terminal history keeps and where, and what Tab offers.

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
        // Any key whose name holds PWD or PASSWORD, and continuation lines.
        {L"customconnect \"DSN=x;SSLPassword=s\"", true}, {L"customconnect \"DSN=x;PWD2 = s\"", true},
        {L"select a\nfrom t where c = 'DSN=x;PWD=s';", true}, {L"select pwd,\npwdlen from t;", false},
        // A statement or a longer word that starts like a command is not one.
        {L"select 2*3 from dual;", false}, {L"connect_log * x", false}, {L"connectx a*b@c", false},
        {L"echo PWD=x", false}, {L"", false}};
    for (const auto& [line, holds] : rows) EXPECT_EQ(isql_line_holds_password(line), holds) << ascii(line);
}

TEST(HistoryPath, DefaultSettingAndOff) {
    // setting, HOME, path ("": no history file).
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {nullptr, "/home/u", "/home/u/.wsql_history"}, {nullptr, nullptr, ""}, {"", "/home/u", ""},
        {"/var/h", "/home/u", "/var/h"}, {"~/h/x", "/home/u", "/home/u/h/x"}, {"~/h", nullptr, ""}};
    for (const auto& [setting, home, want] : rows) EXPECT_EQ(isql_history_path(setting, home), want) << setting;
}

TEST(Complete, KeywordsTakeTheCaseNamesAsSpelled) {
    // One match gets a blank; several are completed as far as they agree.
    const std::vector<std::wstring> words = {L"describe", L"table", L"tables"}, names = {L"Employees", L"dept"};
    struct Case { const wchar_t* word; std::wstring insert; std::vector<std::wstring> choices; };
    for (const Case& c : std::initializer_list<Case>{
             {L"DESCR", L"IBE ", {}}, {L"tab", L"le", {L"table", L"tables"}}, {L"emp", L"loyees ", {}},
             {L"de", L"", {L"dept", L"describe"}}, {L"zz", L"", {}}}) {
        const Completion got = isql_complete(c.word, words, names);
        EXPECT_EQ(got.insert, c.insert) << ascii(c.word);
        EXPECT_EQ(got.choices, c.choices) << ascii(c.word);
    }
}

TEST(Complete, PlaceInTheStatement) {
    using enum CompletionKind;
    const std::pair<const wchar_t*, CompletionKind> rows[] = {
        {L"", Start}, {L"  ", Start}, {L"select 1; ", Start}, {L"describe ", Table},
        {L"select * from ", Table}, {L"SELECT a FROM s.", Table}, {L"select * from a x, b as y, ", Table},
        {L"select * from a join ", Table}, {L"insert into ", Table}, {L"update ", Table},
        {L"drop table ", Table}, {L"select a, ", Column}, {L"select ", Column},
        {L"select * from emp where ", Column}, {L"select e.", Column}, {L"select * from emp\nwhere ", Column},
        {L"select 'from ", Column}, {L"insert into t (a, ", Column}, {L"update t set a = 1, ", Column},
        {L"show ", Word}, {L"autocommit ", Word}, {L"create ", Word}, {L"create unique ", Word},
        {L"\\format ", Word}, {L"select 'a;b' -- from\n", Column}};
    for (const auto& [before, kind] : rows) EXPECT_EQ(isql_completion_place(before).kind, kind) << ascii(before);
    EXPECT_EQ(isql_completion_place(L"\\FORMAT j").form, L"\\format");
    EXPECT_EQ(isql_named_tables(L"select * from s.a x, \"C d\" join b on x.i = b.i, e where f in (g, h)"),
              (std::vector<std::wstring>{L"a", L"C d", L"b"}));
}

TEST(Complete, WordsWithoutACatalog) {
    // Command words, SQL starters and backslash forms open a line; a backslash
    // form takes its own words; no names without a connection.
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> rows[] = {
        {L"", L"cus", L"tomconnect "}, {L"", L"AL", L"TER "}, {L"", L"\\fo", L"rmat "}, {L"\\format ", L"j", L"son "}};
    for (const auto& [before, word, insert] : rows)
        EXPECT_EQ(isql_complete_at(nullptr, before, L"", word).insert, insert) << ascii(word);
    const Completion none = isql_complete_at(nullptr, L"select * from ", L"", L"e");
    EXPECT_TRUE(none.insert.empty() && none.choices.empty());
}
}  // namespace
