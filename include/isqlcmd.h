// Command language: lexer, keyword table and the command-line parser.
#pragma once

#include <optional>
#include <string>
#include <span>


// ---- command kinds ---------------------------------------------------------
// The kind of a parsed line. The numbers are those that "SQL: Invalid CMD
// type:%d" shows.
enum class CmdKind : int {
    CMD_NONE = 0,
    CMD_EMPTY = 1,
    CMD_CMDFILE = 3,
    CMD_CONNECT = 4,
    CMD_DISCONNECT = 5,
    CMD_ECHO = 6,
    CMD_END = 7,
    CMD_SQL = 8,
    CMD_EXIT = 9,
    CMD_HELP = 10,
    CMD_REPEAT = 11,
    CMD_RESFILE = 12,
    CMD_TIMER_START = 14,
    CMD_TIMER_STOP = 15,
    CMD_WAIT = 16,
    CMD_FETCH = 17,
    CMD_ERRFILE = 18,
    CMD_COMMIT = 19,
    CMD_ROLLBACK = 20,
    CMD_AUTOCOMMIT = 21,
    CMD_CUSTOMCONNECT = 22,
    CMD_NCMDFILE = 23,
    CMD_QUERYTIMEOUT = 24,
    CMD_MAXROWS = 25,
    CMD_MULTICONNECT = 26,
    CMD_MULTIDISCONNECT = 27,
    CMD_RESDIR = 28,
    CMD_DESCRIBE_TABLE = 29,
    CMD_DESCRIBE_STMT = 30,
    CMD_SHOW_TABLES = 31,
    CMD_FORMAT = 32,
    CMD_DRIVER = 33,
};

// The record one command line is parsed into. Absent operands are empty
// optionals; wsText points into the parsed line and lives as long as it.
struct IsqlCommand {
    CmdKind kind = CmdKind::CMD_NONE;
    std::optional<std::string> sPathOrDsn;   // multibyte text of the locale
    std::optional<std::wstring> wsConnStr;
    long long lNumber = 0;
    const wchar_t* wsText = nullptr;
    std::optional<std::wstring> wsUser;
    std::optional<std::wstring> wsPassword;
    std::optional<std::wstring> wsCatalog;
    std::optional<std::wstring> wsOwner;
    std::optional<std::wstring> wsTable;
};

// Token numbers of the lexer.
enum IsqlToken : int {
    TOK_EOL = -1,
    TOK_QUOTE = 34,
    TOK_ERROR = 256,
    TOK_CMDFILE = 257, TOK_CONNECT, TOK_CUSTOMCONNECT, TOK_DESCRIBE, TOK_DISCONNECT,
    TOK_ECHO, TOK_END, TOK_ERRFILE, TOK_EXIT, TOK_FETCH, TOK_HELP, TOK_NCMDFILE,
    TOK_RESDIR, TOK_REPEAT, TOK_RESFILE, TOK_SHOW, TOK_LIST, TOK_START, TOK_STOP,
    TOK_TIMER, TOK_WAIT, TOK_NUMBER, TOK_WORD, TOK_EXEC, TOK_SELECT, TOK_UPDATE,
    TOK_INSERT, TOK_DELETE, TOK_AT, TOK_COMMA, TOK_SEMICOLON, TOK_STAR, TOK_CALL,
    TOK_CREATE, TOK_DROP, TOK_TABLE, TOK_TABLES, TOK_VIEW, TOK_USER, TOK_ROLE,
    TOK_GRANT, TOK_REVOKE, TOK_INDEX, TOK_UNIQUE, TOK_COMMIT, TOK_ROLLBACK,
    TOK_AUTOCOMMIT, TOK_ON, TOK_OFF, TOK_QUERYTIMEOUT, TOK_MAXROWS, TOK_MULTICONNECT,
    TOK_MULTIDISCONNECT, TOK_DOT,  // TOK_DOT = 310
};

struct IsqlKeyword {
    const wchar_t* text;
    int token;
};
constexpr int kKeywordCount = 49;
extern const IsqlKeyword keywords[kKeywordCount];

constexpr int kTokenChars = 20480;   // longest word, quoted string or number

// Value of the last WORD (wide) or NUMBER (narrow digits) token.
struct IsqlLval {
    std::wstring word;
    std::string number;
};
extern IsqlLval isql_yylval;

wint_t readc(const wchar_t** cursor);
void unreadc(wint_t c, const wchar_t** cursor);
int isql_yylex(const wchar_t** cursor);
void isql_yyerror(const char*);
std::string isql_get_string(const wchar_t* text);
// Multibyte form, in the current locale, of the first len wide characters of
// text; a character the locale cannot encode becomes '?'.
std::string isql_to_multibyte(const wchar_t* text, size_t len);

// ---- the command table ------------------------------------------------------
// One row per command form, keyed by the token that starts it: the kind of
// record it gives, the form that reads the rest of the line, and the lines
// HELP shows for it. The parser and HELP both walk this one table, in order;
// the dispatcher handles each kind (a switch over CmdKind, so a kind without
// a handler is a compiler warning). A new command is a keyword, a row here,
// and its handler.
class CmdParser;  // the tokens of one line, read on demand (cmdlang only)
struct CommandInfo {
    int firstToken;
    CmdKind kind;  // CMD_NONE: the form decides (DESCRIBE, TIMER)
    bool (*form)(CmdParser&, IsqlCommand&);  // false: the line is not this command
    const char* help[2];  // lines of HELP, null when fewer or none
};
std::span<const CommandInfo> isql_command_table();

// Session forms: a line that starts with a backslash and a known name, such
// as "\format csv". The rest of the line, trimmed (and a closing ";"
// dropped), is the operand, in sPathOrDsn. A backslash line of another name
// is SQL, as it always was.
struct SessionFormInfo {
    const wchar_t* name;  // after the backslash, matched without regard to case
    CmdKind kind;
    std::span<const wchar_t* const> operands;  // the words it takes, for completion
};
std::span<const SessionFormInfo> isql_session_forms();

// Parses one line into cmd. 0: a command of the client language; 1: not one
// (the caller treats the line as SQL).
int isql_cmdparse(const wchar_t* cmdText, IsqlCommand& cmd);
// The record a line runs as: its command, or the whole line as SQL.
IsqlCommand isql_parse_line(const wchar_t* line);
