// Command language: lexer, keyword table and the command-line parser.
#pragma once

#include <string>

#include "isql.h"

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

// Parses one line into cmd. 0: a command of the client language; 1: not one
// (the caller treats the line as SQL).
int isql_cmdparse(const wchar_t* cmdText, IsqlCommand& cmd);
// The record a line runs as: its command, or the whole line as SQL.
IsqlCommand isql_parse_line(const wchar_t* line);
