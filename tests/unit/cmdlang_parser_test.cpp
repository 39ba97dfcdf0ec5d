// Command parser: the record of every command form, the lines that are not
// commands, and where raw operands begin.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cwchar>
#include <string>

#include "isqlcmd.h"

using enum CmdKind;  // the kinds by their plain CMD_ names

namespace {

// Parses line into a cleared record, as the dispatcher does.
int parse(const wchar_t* line, IsqlCommand& cmd) {
    cmd = IsqlCommand{};
    return isql_cmdparse(line, cmd);
}

// Kind of line, or kNotCommand when it is not a command.
constexpr CmdKind kNotCommand = static_cast<CmdKind>(-1);

CmdKind kind_of(const wchar_t* line) {
    IsqlCommand cmd;
    return parse(line, cmd) == 0 ? cmd.kind : kNotCommand;
}

// Printable form of a line for failure messages.
std::string narrow(const wchar_t* line) { return isql_to_multibyte(line, std::wcslen(line)); }

bool no_operands(const IsqlCommand& c) {
    return !c.sPathOrDsn && !c.wsConnStr && c.lNumber == 0 && c.wsText == nullptr && !c.wsUser &&
           !c.wsPassword && !c.wsCatalog && !c.wsOwner && !c.wsTable;
}

TEST(ParseEmpty, BlanksAndComments) {
    IsqlCommand cmd;
    for (const wchar_t* line : {L"", L"   ", L"\n", L" \t\r\n", L"# select 1;", L"   #x"}) {
        ASSERT_EQ(parse(line, cmd), 0);
        EXPECT_EQ(cmd.kind, CMD_EMPTY);
        EXPECT_TRUE(no_operands(cmd));
    }
}

TEST(ParseFileCommands, NamesFromTheRestOfTheLine) {
    IsqlCommand cmd;
    ASSERT_EQ(parse(L"cmdfile  a.sql", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_CMDFILE);
    EXPECT_EQ(cmd.sPathOrDsn, " a.sql");  // only the separating blank is skipped

    ASSERT_EQ(parse(L"CMDFILE a.sql\r\n", cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn, "a.sql");

    // Quotes, keywords and comments in the name are kept as typed.
    ASSERT_EQ(parse(L"cmdfile \"my file\".sql # x;\n", cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn, "\"my file\".sql # x;");

    ASSERT_EQ(parse(L"cmdfile o:3", cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn, "o:3");

    // Keyword alone: an empty name, never a read past the line.
    ASSERT_EQ(parse(L"cmdfile", cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn, "");
    ASSERT_EQ(parse(L"cmdfile\n", cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn, "");

    ASSERT_EQ(parse(L"ncmdfile u.sql\n", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_NCMDFILE);
    EXPECT_EQ(cmd.sPathOrDsn, "u.sql");

    // RESFILE, ERRFILE, RESDIR: no name when the line ends within one
    // character behind the keyword.
    for (const wchar_t* line : {L"resfile", L"resfile\n", L"resfile ", L"  RESFILE"}) {
        ASSERT_EQ(parse(line, cmd), 0);
        EXPECT_EQ(cmd.kind, CMD_RESFILE);
        EXPECT_FALSE(cmd.sPathOrDsn.has_value());
    }
    ASSERT_EQ(parse(L"resfile out.txt\n", cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn, "out.txt");
    ASSERT_EQ(parse(L"resfile x", cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn, "x");
    ASSERT_EQ(parse(L"resfile \n", cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn, "");

    ASSERT_EQ(parse(L"errfile", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_ERRFILE);
    EXPECT_FALSE(cmd.sPathOrDsn.has_value());
    ASSERT_EQ(parse(L"errfile err.txt\n", cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn, "err.txt");

    ASSERT_EQ(parse(L"resdir\n", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_RESDIR);
    EXPECT_FALSE(cmd.sPathOrDsn.has_value());
    ASSERT_EQ(parse(L"resdir /tmp/lc\n", cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn, "/tmp/lc");

    // The file name goes out in the locale's multibyte form.
    if (std::setlocale(LC_ALL, "C.UTF-8") != nullptr) {
        ASSERT_EQ(parse(L"cmdfile r\u00e9sum\u00e9.sql\n", cmd), 0);
        EXPECT_EQ(cmd.sPathOrDsn, "r\xc3\xa9sum\xc3\xa9.sql");
        std::setlocale(LC_ALL, "C");
    }
}

TEST(ParseRawText, EchoAndExecKeepTheirBlank) {
    IsqlCommand cmd;
    const wchar_t* line = L"echo hi";
    ASSERT_EQ(parse(line, cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_ECHO);
    EXPECT_EQ(cmd.wsText, line + 4);

    line = L"  ECHO  'x'; select \"y\"";
    ASSERT_EQ(parse(line, cmd), 0);
    EXPECT_STREQ(cmd.wsText, L"  'x'; select \"y\"");

    line = L"echo";
    ASSERT_EQ(parse(line, cmd), 0);
    EXPECT_EQ(cmd.wsText, line + 4);

    line = L"!select 1;";
    ASSERT_EQ(parse(line, cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_SQL);
    EXPECT_EQ(cmd.wsText, line + 1);

    line = L"exec select 1;";
    ASSERT_EQ(parse(line, cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_SQL);
    EXPECT_EQ(cmd.wsText, line + 4);

    // "execute" is no keyword: the line is SQL for the caller.
    EXPECT_EQ(kind_of(L"execute p;"), kNotCommand);
}

TEST(ParseStatementStart, TextBeginsAtTheFirstKeyword) {
    IsqlCommand cmd;
    for (const wchar_t* line :
         {L"select 1;", L"  SELECT * from t;", L"update t set x=1;", L"insert into t values (1);",
          L"delete from t;", L"call p();", L"grant all on t to u;", L"revoke all on t from u;",
          L"create  table tab (x int);", L"create index i on t(x);", L"\tcreate unique index i on t(x);",
          L"create view v as select 1;", L"create user u;", L"create role r;", L"drop table t;",
          L"drop index i;", L"drop view v;", L"drop user u;", L"drop role r;", L"select"}) {
        ASSERT_EQ(parse(line, cmd), 0) << narrow(line);
        EXPECT_EQ(cmd.kind, CMD_SQL);
        const wchar_t* first = line;
        while (*first == L' ' || *first == L'\t') ++first;
        EXPECT_EQ(cmd.wsText, first);
    }
    // CREATE and DROP only with the listed object kinds.
    for (const wchar_t* line : {L"create procedure p", L"drop synonym s;", L"create unique x",
                                L"create", L"drop", L"create unique", L"with x as (select 1) select 1;",
                                L"select_1 from t;"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);
}

TEST(ParseDescribe, TableNamesAndStatements) {
    IsqlCommand cmd;
    ASSERT_EQ(parse(L"describe tab", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_DESCRIBE_TABLE);
    EXPECT_EQ(cmd.wsTable, L"tab");
    EXPECT_FALSE(cmd.wsOwner.has_value());
    EXPECT_FALSE(cmd.wsCatalog.has_value());

    ASSERT_EQ(parse(L"describe own.tab", cmd), 0);
    EXPECT_EQ(cmd.wsOwner, L"own");
    EXPECT_EQ(cmd.wsTable, L"tab");
    EXPECT_FALSE(cmd.wsCatalog.has_value());

    ASSERT_EQ(parse(L"DESCRIBE cat.own.tab;\n", cmd), 0);
    EXPECT_EQ(cmd.wsCatalog, L"cat");
    EXPECT_EQ(cmd.wsOwner, L"own");
    EXPECT_EQ(cmd.wsTable, L"tab");

    // Whatever follows the name and the optional semicolon is ignored.
    for (const wchar_t* line : {L"describe own.tab junk", L"describe own.tab; junk", L"describe own.tab @",
                                L"describe own.tab (x", L"describe own.tab select"}) {
        ASSERT_EQ(parse(line, cmd), 0);
        EXPECT_EQ(cmd.kind, CMD_DESCRIBE_TABLE);
        EXPECT_EQ(cmd.wsOwner, L"own");
        EXPECT_EQ(cmd.wsTable, L"tab");
    }
    ASSERT_EQ(parse(L"describe c.o.t.x", cmd), 0);
    EXPECT_EQ(cmd.wsTable, L"t");

    // A keyword is a name only in quotes.
    EXPECT_EQ(kind_of(L"describe user"), kNotCommand);
    ASSERT_EQ(parse(L"describe \"user\"", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_DESCRIBE_TABLE);
    EXPECT_EQ(cmd.wsTable, L"user");

    for (const wchar_t* line : {L"describe", L"describe ;", L"describe tab.", L"describe tab.;",
                                L"describe a..b", L"describe update t;"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);

    const wchar_t* line = L"describe   select a from tab;";
    ASSERT_EQ(parse(line, cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_DESCRIBE_STMT);
    EXPECT_EQ(cmd.wsText, line + 11);
    EXPECT_FALSE(cmd.wsTable.has_value());
}

TEST(ParseConnect, DsnUserAndPassword) {
    IsqlCommand cmd;
    ASSERT_EQ(parse(L"connect mydsn;", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_CONNECT);
    EXPECT_EQ(cmd.sPathOrDsn, "mydsn");
    EXPECT_FALSE(cmd.wsUser.has_value());
    EXPECT_FALSE(cmd.wsPassword.has_value());

    ASSERT_EQ(parse(L"CONNECT scott@mydsn", cmd), 0);
    EXPECT_EQ(cmd.wsUser, L"scott");
    EXPECT_FALSE(cmd.wsPassword.has_value());
    EXPECT_EQ(cmd.sPathOrDsn, "mydsn");

    ASSERT_EQ(parse(L"connect scott*tiger@mydsn; # comment\n", cmd), 0);
    EXPECT_EQ(cmd.wsUser, L"scott");
    EXPECT_EQ(cmd.wsPassword, L"tiger");
    EXPECT_EQ(cmd.sPathOrDsn, "mydsn");

    ASSERT_EQ(parse(L"connect \"a@b.com\"*\"p w*@\"@\"my dsn\"", cmd), 0);
    EXPECT_EQ(cmd.wsUser, L"a@b.com");
    EXPECT_EQ(cmd.wsPassword, L"p w*@");
    EXPECT_EQ(cmd.sPathOrDsn, "my dsn");

    if (std::setlocale(LC_ALL, "C.UTF-8") != nullptr) {
        ASSERT_EQ(parse(L"connect d\u00e9mo", cmd), 0);
        EXPECT_EQ(cmd.sPathOrDsn, "d\xc3\xa9mo");
        std::setlocale(LC_ALL, "C");
    }

    for (const wchar_t* line : {L"connect", L"connect;", L"connect scott*tiger", L"connect scott*tiger;",
                                L"connect scott*@d", L"connect scott@", L"connect d junk", L"connect d;;",
                                L"connect 1dsn", L"connect \"unterminated", L"connect user"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);
}

TEST(ParseConnect, CustomConnect) {
    IsqlCommand cmd;
    ASSERT_EQ(parse(L"customconnect \"DSN=x;UID=u;PWD=p\"\n", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_CUSTOMCONNECT);
    EXPECT_EQ(cmd.wsConnStr, L"DSN=x;UID=u;PWD=p");
    EXPECT_FALSE(cmd.sPathOrDsn.has_value());

    ASSERT_EQ(parse(L"customconnect plain", cmd), 0);
    EXPECT_EQ(cmd.wsConnStr, L"plain");

    for (const wchar_t* line : {L"customconnect DSN=x", L"customconnect \"DSN=x\";", L"customconnect"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);
}

TEST(ParseConnect, MultiConnectAndDisconnect) {
    IsqlCommand cmd;
    ASSERT_EQ(parse(L"multiconnect 3 mydsn", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_MULTICONNECT);
    EXPECT_EQ(cmd.lNumber, 3);
    EXPECT_EQ(cmd.sPathOrDsn, "mydsn");
    EXPECT_FALSE(cmd.wsUser.has_value());

    ASSERT_EQ(parse(L"multiconnect 10 u*p@d\n", cmd), 0);
    EXPECT_EQ(cmd.lNumber, 10);
    EXPECT_EQ(cmd.wsUser, L"u");
    EXPECT_EQ(cmd.wsPassword, L"p");
    EXPECT_EQ(cmd.sPathOrDsn, "d");

    // The count is narrowed to 32 bits.
    ASSERT_EQ(parse(L"multiconnect 4294967298 d", cmd), 0);
    EXPECT_EQ(cmd.lNumber, 2);

    for (const wchar_t* line : {L"multiconnect 3 mydsn;", L"multiconnect 3 u@d", L"multiconnect mydsn",
                                L"multiconnect 3", L"multiconnect 3 u*p@d;", L"multiconnect -3 d"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);

    ASSERT_EQ(parse(L"multidisconnect", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_MULTIDISCONNECT);
    EXPECT_TRUE(no_operands(cmd));
    EXPECT_EQ(kind_of(L"multidisconnect;"), kNotCommand);

    EXPECT_EQ(kind_of(L"disconnect"), CMD_DISCONNECT);
    EXPECT_EQ(kind_of(L"Disconnect;\n"), CMD_DISCONNECT);
    EXPECT_EQ(kind_of(L"disconnect now"), kNotCommand);
}

TEST(ParseSimpleCommands, KeywordAloneOrWithSemicolon) {
    EXPECT_EQ(kind_of(L"exit"), CMD_EXIT);
    EXPECT_EQ(kind_of(L"exit;"), CMD_EXIT);
    EXPECT_EQ(kind_of(L"QUIT"), CMD_EXIT);
    EXPECT_EQ(kind_of(L"quit; # bye\n"), CMD_EXIT);
    EXPECT_EQ(kind_of(L"help"), CMD_HELP);
    EXPECT_EQ(kind_of(L"end"), CMD_END);
    EXPECT_EQ(kind_of(L"  END\n"), CMD_END);
    EXPECT_EQ(kind_of(L"commit"), CMD_COMMIT);
    EXPECT_EQ(kind_of(L"CoMmIt # done"), CMD_COMMIT);
    EXPECT_EQ(kind_of(L"rollback\n"), CMD_ROLLBACK);

    IsqlCommand cmd;
    ASSERT_EQ(parse(L"help", cmd), 0);
    EXPECT_TRUE(no_operands(cmd));

    for (const wchar_t* line : {L"commit;", L"end;", L"help;", L"rollback;", L"rollback work",
                                L"exit;;", L"quit now"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);
}

TEST(ParseNumbers, CountsAndLimits) {
    IsqlCommand cmd;
    ASSERT_EQ(parse(L"repeat 5", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_REPEAT);
    EXPECT_EQ(cmd.lNumber, 5);
    // REPEAT keeps its full value, so that oversized counts can be refused.
    ASSERT_EQ(parse(L"repeat 3000000000", cmd), 0);
    EXPECT_EQ(cmd.lNumber, 3000000000LL);
    ASSERT_EQ(parse(L"repeat 99999999999999999999999", cmd), 0);
    EXPECT_EQ(cmd.lNumber, LLONG_MAX);

    ASSERT_EQ(parse(L"fetch 10\n", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_FETCH);
    EXPECT_EQ(cmd.lNumber, 10);
    // 32-bit commands keep the low 32 bits, sign-extended.
    ASSERT_EQ(parse(L"fetch 3000000000", cmd), 0);
    EXPECT_EQ(cmd.lNumber, 3000000000LL - 4294967296LL);
    ASSERT_EQ(parse(L"fetch 4294967296", cmd), 0);
    EXPECT_EQ(cmd.lNumber, 0);
    ASSERT_EQ(parse(L"fetch 99999999999999999999", cmd), 0);
    EXPECT_EQ(cmd.lNumber, -1);

    ASSERT_EQ(parse(L"wait 2", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_WAIT);
    EXPECT_EQ(cmd.lNumber, 2);
    ASSERT_EQ(parse(L"querytimeout 30", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_QUERYTIMEOUT);
    EXPECT_EQ(cmd.lNumber, 30);
    ASSERT_EQ(parse(L"querytimeout 2147483648", cmd), 0);
    EXPECT_EQ(cmd.lNumber, INT_MIN);

    // MAXROWS keeps 64 bits.
    ASSERT_EQ(parse(L"maxrows 5000000000", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_MAXROWS);
    EXPECT_EQ(cmd.lNumber, 5000000000LL);
    ASSERT_EQ(parse(L"maxrows 0", cmd), 0);
    EXPECT_EQ(cmd.lNumber, 0);

    for (const wchar_t* line : {L"repeat", L"repeat -1", L"repeat 5;", L"repeat x", L"fetch 12ab",
                                L"wait", L"maxrows 10;", L"querytimeout 1 2", L"fetch 1.5"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);
}

TEST(ParseTimerAndAutocommit, TwoKeywordForms) {
    EXPECT_EQ(kind_of(L"timer start"), CMD_TIMER_START);
    EXPECT_EQ(kind_of(L"start timer\n"), CMD_TIMER_START);
    EXPECT_EQ(kind_of(L"TIMER STOP"), CMD_TIMER_STOP);
    EXPECT_EQ(kind_of(L"stop timer # x"), CMD_TIMER_STOP);
    for (const wchar_t* line : {L"timer", L"timer start;", L"start", L"stop", L"timer end", L"start timer x"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);

    IsqlCommand cmd;
    cmd.lNumber = 7;
    ASSERT_EQ(parse(L"autocommit off", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_AUTOCOMMIT);
    EXPECT_EQ(cmd.lNumber, 0);
    ASSERT_EQ(parse(L"AutoCommit ON\n", cmd), 0);
    EXPECT_EQ(cmd.lNumber, 1);
    for (const wchar_t* line : {L"autocommit", L"autocommit yes", L"autocommit on;", L"autocommit 1"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);
}

TEST(ParseShowTables, CatalogSpec) {
    IsqlCommand cmd;
    ASSERT_EQ(parse(L"show tables", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_SHOW_TABLES);
    EXPECT_TRUE(no_operands(cmd));

    ASSERT_EQ(parse(L"show tables cat", cmd), 0);
    EXPECT_EQ(cmd.wsCatalog, L"cat");
    EXPECT_FALSE(cmd.wsOwner.has_value());
    EXPECT_FALSE(cmd.wsTable.has_value());

    ASSERT_EQ(parse(L"SHOW TABLES cat.own", cmd), 0);
    EXPECT_EQ(cmd.wsCatalog, L"cat");
    EXPECT_EQ(cmd.wsOwner, L"own");
    EXPECT_FALSE(cmd.wsTable.has_value());

    ASSERT_EQ(parse(L"list tables cat.own.tab;", cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_SHOW_TABLES);
    EXPECT_EQ(cmd.wsCatalog, L"cat");
    EXPECT_EQ(cmd.wsOwner, L"own");
    EXPECT_EQ(cmd.wsTable, L"tab");

    ASSERT_EQ(parse(L"list tables \"my cat\".\"%\"; # all\n", cmd), 0);
    EXPECT_EQ(cmd.wsCatalog, L"my cat");
    EXPECT_EQ(cmd.wsOwner, L"%");

    EXPECT_EQ(kind_of(L"show tables;"), CMD_SHOW_TABLES);
    EXPECT_EQ(kind_of(L"show tables # all"), CMD_SHOW_TABLES);
    for (const wchar_t* line : {L"show", L"show table", L"list", L"show tables cat junk",
                                L"show tables a.b.c.d", L"show tables cat.", L"show tables ;;",
                                L"show tables user"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);
}

TEST(ParseFailure, LeavesTheRecordAlone) {
    IsqlCommand cmd;
    cmd.lNumber = 42;
    // The user is read before the missing "@ dsn" makes the line fail.
    EXPECT_EQ(isql_cmdparse(L"connect scott*tiger", cmd), 1);
    EXPECT_EQ(cmd.kind, CMD_NONE);
    EXPECT_EQ(cmd.lNumber, 42);
    EXPECT_FALSE(cmd.wsUser.has_value());
    EXPECT_FALSE(cmd.wsPassword.has_value());

    // Lines that start with no command word are SQL for the caller.
    for (const wchar_t* line : {L"with t as (select 1) select * from t;", L"(select 1);", L"42;", L"'x'",
                                L"\" select 1", L";", L"@x", L"*"})
        EXPECT_EQ(kind_of(line), kNotCommand) << narrow(line);
}

TEST(ParseFailure, OverlongTokensAreNotCommands) {
    const std::wstring quoted = L"connect \"" + std::wstring(30000, L'q') + L"\"";
    EXPECT_EQ(kind_of(quoted.c_str()), kNotCommand);
    const std::wstring showLong = L"show tables \"" + std::wstring(30000, L'q') + L"\"";
    EXPECT_EQ(kind_of(showLong.c_str()), kNotCommand);
    const std::wstring longWord = std::wstring(30000, L'w') + L" x";
    EXPECT_EQ(kind_of(longWord.c_str()), kNotCommand);
    const std::wstring longCount = L"repeat " + std::wstring(30000, L'9');
    EXPECT_EQ(kind_of(longCount.c_str()), kNotCommand);

    // Raw operands are no tokens and may be as long as the line.
    const std::wstring echo = L"echo " + std::wstring(30000, L'e');
    IsqlCommand cmd;
    ASSERT_EQ(parse(echo.c_str(), cmd), 0);
    EXPECT_EQ(cmd.kind, CMD_ECHO);
    EXPECT_EQ(cmd.wsText, echo.c_str() + 4);
    const std::wstring file = L"cmdfile " + std::wstring(30000, L'f');
    ASSERT_EQ(parse(file.c_str(), cmd), 0);
    EXPECT_EQ(cmd.sPathOrDsn->size(), 30000u);
}

}  // namespace
