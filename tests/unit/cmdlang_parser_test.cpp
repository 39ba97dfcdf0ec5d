// Command parser: the record of every command form, the lines that are not
// commands, and where raw operands begin. The plainest form of most commands
// (exit, help, commit, resfile out.txt, connect u*p@dsn, customconnect "...",
// multiconnect 3 dsn, describe own.tab, list tables c.o.t;, repeat 3, repeat
// 99999999999, ...) runs in the golden cases and is not repeated here.

#include <utility>
#include <vector>

#include "isqlcmd.h"
#include "unit_util.h"

namespace {

constexpr long long kUnset = -7;  // a number no form sets, so a set 0 shows

// Kind and operands of the record line parses into, or "-" when the line is
// no command and the record is left as it was.
std::string summary(const std::wstring& text) {
    static const char* const kinds[] = {
        "NONE", "EMPTY", "2", "CMDFILE", "CONNECT", "DISCONNECT", "ECHO", "END", "SQL", "EXIT",
        "HELP", "REPEAT", "RESFILE", "13", "TIMER_START", "TIMER_STOP", "WAIT", "FETCH", "ERRFILE",
        "COMMIT", "ROLLBACK", "AUTOCOMMIT", "CUSTOMCONNECT", "NCMDFILE", "QUERYTIMEOUT", "MAXROWS",
        "MULTICONNECT", "MULTIDISCONNECT", "RESDIR", "DESCRIBE_TABLE", "DESCRIBE_STMT", "SHOW_TABLES",
        "FORMAT", "DRIVER"};
    const wchar_t* line = text.c_str();
    IsqlCommand c;
    c.lNumber = kUnset;
    const int rc = isql_cmdparse(line, c);
    std::string s = kinds[static_cast<int>(c.kind)];
    if (c.sPathOrDsn) s += " s=" + *c.sPathOrDsn;
    if (c.wsConnStr) s += " conn=" + ascii(*c.wsConnStr);
    if (c.lNumber != kUnset) s += " n=" + std::to_string(c.lNumber);
    if (c.wsText) s += " text@" + std::to_string(c.wsText - line);
    for (const auto& [name, part] : {std::pair{" user=", &c.wsUser}, {" pw=", &c.wsPassword},
                                     {" cat=", &c.wsCatalog}, {" own=", &c.wsOwner}, {" tab=", &c.wsTable}})
        if (*part) s += name + ascii(**part);
    if (rc == 0) return s;
    // Not a command: the caller runs the whole line as SQL.
    const IsqlCommand sql = isql_parse_line(line);
    if (sql.kind != CmdKind::CMD_SQL || sql.wsText != line) return "no SQL record";
    return s == "NONE" ? "-" : "changed on failure: " + s;
}

void check(const std::vector<std::pair<std::wstring, std::string>>& rows) {
    for (const auto& [line, want] : rows) EXPECT_EQ(summary(line), want) << ascii(line);
}

TEST(Parser, EmptyFileAndRawTextCommands) {
    check({{L"", "EMPTY"}, {L"   ", "EMPTY"}, {L"\n", "EMPTY"}, {L" \t\r\n", "EMPTY"},
           {L"# select 1;", "EMPTY"}, {L"   #x", "EMPTY"},
           // Only the separating blank is skipped; quotes, keywords and
           // comments in the name are kept as typed.
           {L"cmdfile  a.sql", "CMDFILE s= a.sql"}, {L"CMDFILE a.sql\r\n", "CMDFILE s=a.sql"},
           {L"cmdfile \"my file\".sql # x;\n", "CMDFILE s=\"my file\".sql # x;"},
           {L"cmdfile o:3", "CMDFILE s=o:3"}, {L"cmdfile", "CMDFILE s="}, {L"cmdfile\n", "CMDFILE s="},
           // The name ends at the first CR or LF; a character the locale cannot encode becomes '?'.
           {L"cmdfile x\ry\nz", "CMDFILE s=x"}, {L"cmdfile d\u00e9.sql", "CMDFILE s=d?.sql"},
           {L"ncmdfile u.sql\n", "NCMDFILE s=u.sql"},
           // RESFILE, ERRFILE, RESDIR: no name when the line ends within one
           // character behind the keyword.
           {L"resfile", "RESFILE"}, {L"resfile ", "RESFILE"}, {L"  RESFILE", "RESFILE"},
           {L"resfile x", "RESFILE s=x"}, {L"resfile \n", "RESFILE s="}, {L"errfile", "ERRFILE"},
           {L"resdir /tmp/lc\n", "RESDIR s=/tmp/lc"},
           // ECHO and "!" keep the text right behind the keyword, blank included.
           {L"  ECHO  'x'; select \"y\"", "ECHO text@6"}, {L"echo", "ECHO text@4"},
           {L"!select 1;", "SQL text@1"}, {L"exec select 1;", "SQL text@4"}, {L"execute p;", "-"},
           // Session forms: blanks and one ";" around the operand go.
           {L" \\Format  csv ; \n", "FORMAT s=csv"}, {L"\\driver", "DRIVER s="}, {L"\\formats x", "-"}});
}

TEST(Parser, StatementsBeginAtTheirFirstKeyword) {
    check({{L"  SELECT * from t;", "SQL text@2"}, {L"update t set x=1;", "SQL text@0"},
           {L"insert into t values (1);", "SQL text@0"}, {L"delete from t;", "SQL text@0"},
           {L"call p();", "SQL text@0"}, {L"grant all on t to u;", "SQL text@0"},
           {L"revoke all on t from u;", "SQL text@0"}, {L"create  table tab (x int);", "SQL text@0"},
           {L"create index i on t(x);", "SQL text@0"}, {L"\tcreate unique index i on t(x);", "SQL text@1"},
           {L"create view v as select 1;", "SQL text@0"}, {L"create user u;", "SQL text@0"},
           {L"create role r;", "SQL text@0"}, {L"drop table t;", "SQL text@0"}, {L"select", "SQL text@0"},
           // CREATE and DROP only with the same object kinds; other first
           // words are SQL for the caller.
           {L"create procedure p", "-"}, {L"drop synonym s;", "-"}, {L"create unique x", "-"}, {L"create", "-"},
           {L"drop", "-"}, {L"create unique", "-"}, {L"select_1 from t;", "-"},
           {L"with t as (select 1) select * from t;", "-"}, {L"(select 1);", "-"}, {L"42;", "-"}, {L"'x'", "-"},
           {L"\" select 1", "-"}, {L";", "-"}, {L"@x", "-"}, {L"*", "-"}});
}

TEST(Parser, DescribeAndShowTables) {
    check({{L"DESCRIBE cat.own.tab;\n", "DESCRIBE_TABLE cat=cat own=own tab=tab"},
           // Whatever follows the name and the optional semicolon is ignored.
           {L"describe own.tab junk", "DESCRIBE_TABLE own=own tab=tab"},
           {L"describe own.tab; junk", "DESCRIBE_TABLE own=own tab=tab"},
           {L"describe own.tab @", "DESCRIBE_TABLE own=own tab=tab"},
           {L"describe own.tab (x", "DESCRIBE_TABLE own=own tab=tab"},
           {L"describe own.tab select", "DESCRIBE_TABLE own=own tab=tab"},
           {L"describe c.o.t.x", "DESCRIBE_TABLE cat=c own=o tab=t"},
           // A keyword is a name only in quotes.
           {L"describe user", "-"}, {L"describe \"user\"", "DESCRIBE_TABLE tab=user"}, {L"describe", "-"},
           {L"describe ;", "-"}, {L"describe tab.", "-"}, {L"describe tab.;", "-"}, {L"describe a..b", "-"},
           {L"describe update t;", "-"}, {L"describe   select a from tab;", "DESCRIBE_STMT text@11"},
           {L"show tables;", "SHOW_TABLES"}, {L"show tables # all", "SHOW_TABLES"},
           {L"list tables \"my cat\".\"%\"; # all\n", "SHOW_TABLES cat=my cat own=%"}, {L"show", "-"},
           {L"show table", "-"}, {L"list", "-"}, {L"show tables cat junk", "-"}, {L"show tables a.b.c.d", "-"},
           {L"show tables cat.", "-"}, {L"show tables ;;", "-"}, {L"show tables user", "-"}});
}

TEST(Parser, ConnectForms) {
    check({{L"connect mydsn;", "CONNECT s=mydsn"},
           {L"connect scott*tiger@mydsn; # comment\n", "CONNECT s=mydsn user=scott pw=tiger"},
           {L"connect \"a@b.com\"*\"p w*@\"@\"my dsn\"", "CONNECT s=my dsn user=a@b.com pw=p w*@"},
           {L"connect", "-"}, {L"connect;", "-"}, {L"connect scott*tiger", "-"}, {L"connect scott*tiger;", "-"},
           {L"connect scott*@d", "-"}, {L"connect scott@", "-"}, {L"connect d junk", "-"},
           {L"connect d;;", "-"}, {L"connect 1dsn", "-"}, {L"connect \"unterminated", "-"},
           {L"connect user", "-"}, {L"customconnect plain", "CUSTOMCONNECT conn=plain"},
           {L"customconnect DSN=x", "-"}, {L"customconnect \"DSN=x\";", "-"}, {L"customconnect", "-"},
           {L"multiconnect 4294967298 d", "MULTICONNECT s=d n=2"},  // narrowed to 32 bits
           {L"multiconnect 3 mydsn;", "-"}, {L"multiconnect 3 u@d", "-"}, {L"multiconnect mydsn", "-"},
           {L"multiconnect 3", "-"}, {L"multiconnect 3 u*p@d;", "-"}, {L"multiconnect -3 d", "-"},
           {L"multidisconnect;", "-"}, {L"Disconnect;\n", "DISCONNECT"}, {L"disconnect now", "-"}});
}

TEST(Parser, KeywordCommandsAndCounts) {
    check({{L"exit;", "EXIT"}, {L"QUIT", "EXIT"}, {L"quit; # bye\n", "EXIT"}, {L"  END\n", "END"},
           {L"CoMmIt # done", "COMMIT"}, {L"end;", "-"}, {L"help;", "-"}, {L"rollback;", "-"},
           {L"rollback work", "-"}, {L"exit;;", "-"}, {L"quit now", "-"}, {L"start timer\n", "TIMER_START"},
           {L"TIMER STOP", "TIMER_STOP"}, {L"stop timer # x", "TIMER_STOP"}, {L"timer", "-"},
           {L"timer start;", "-"}, {L"start", "-"}, {L"stop", "-"}, {L"timer end", "-"},
           {L"start timer x", "-"}, {L"AutoCommit ON\n", "AUTOCOMMIT n=1"}, {L"autocommit", "-"},
           {L"autocommit yes", "-"}, {L"autocommit on;", "-"}, {L"autocommit 1", "-"},
           // REPEAT and MAXROWS keep 64 bits (so oversized counts can be
           // refused); the others keep the low 32 bits, sign-extended.
           {L"repeat 99999999999999999999999", "REPEAT n=9223372036854775807"},
           {L"fetch 3000000000", "FETCH n=-1294967296"}, {L"fetch 4294967296", "FETCH n=0"},
           {L"fetch 99999999999999999999", "FETCH n=-1"}, {L"wait 2", "WAIT n=2"},
           {L"querytimeout 2147483648", "QUERYTIMEOUT n=-2147483648"},
           {L"maxrows 5000000000", "MAXROWS n=5000000000"}, {L"repeat", "-"}, {L"repeat -1", "-"},
           {L"repeat 5;", "-"}, {L"repeat x", "-"}, {L"fetch 12ab", "-"}, {L"wait", "-"}, {L"maxrows 10;", "-"},
           {L"querytimeout 1 2", "-"}, {L"fetch 1.5", "-"}});
}

TEST(Parser, OverlongTokensAndLongRawOperands) {
    const std::wstring q(30000, L'q');
    // Raw operands are no tokens and may be as long as the line. (An
    // over-long quoted DSN shows in commands/overlong_tokens.)
    check({{L"show tables \"" + q + L"\"", "-"}, {std::wstring(30000, L'w') + L" x", "-"},
           {L"repeat " + std::wstring(30000, L'9'), "-"}, {L"echo " + q, "ECHO text@4"},
           {L"cmdfile " + q, "CMDFILE s=" + std::string(30000, 'q')}});
}

TEST(Parser, NamesInTheLocalesMultibyteForm) {
    LocaleGuard locale("C.UTF-8");
    check({{L"cmdfile r\u00e9sum\u00e9.sql\n", "CMDFILE s=r\xc3\xa9sum\xc3\xa9.sql"},
           {L"connect d\u00e9mo", "CONNECT s=d\xc3\xa9mo"}});
}

}  // namespace
