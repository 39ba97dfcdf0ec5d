// Command parser: decides whether one line is a command of the client's own
// language and, if so, fills the command record for the dispatcher. Every
// command form is one row of kCommandTable below, keyed by its first token.
//
// Forms that take raw text (file names, ECHO text, SQL statements) finish as
// soon as their keyword is read, before the lexer is asked for anything
// further, so the operand is the rest of the line exactly as typed. Every
// other form must be followed by the end of the line, except DESCRIBE of a
// table, which ignores whatever follows the name and an optional semicolon.
#include <cstdlib>
#include <vector>

#include "isqlcmd.h"
#include "zvunicode.h"

using enum CmdKind;  // the kinds by their plain CMD_ names

// Tokens of one line, read from the lexer only when the parser needs one.
class CmdParser {
public:
    explicit CmdParser(const wchar_t* line) : cursor_(line) {}

    // The next token, read if none is held, without consuming it.
    int peek() {
        if (!held_) {
            const wchar_t* start = cursor_;
            while (*start != L'\0' && zviswspace(static_cast<wint_t>(*start))) ++start;
            lookStart_ = start;
            look_ = isql_yylex(&cursor_);
            if (look_ == TOK_WORD) lookWord_ = isql_yylval.word;
            if (look_ == TOK_NUMBER) lookNumber_ = isql_yylval.number;
            held_ = true;
        }
        return look_;
    }

    // Consumes the next token and returns it.
    int next() {
        const int token = peek();
        held_ = false;
        lastStart_ = lookStart_;
        return token;
    }

    // Consumes the next token when it is token.
    bool take(int token) {
        if (peek() != token) return false;
        next();
        return true;
    }

    bool word(std::wstring& out) {
        if (!take(TOK_WORD)) return false;
        out = lookWord_;
        return true;
    }

    bool number(std::string& out) {
        if (!take(TOK_NUMBER)) return false;
        out = lookNumber_;
        return true;
    }

    bool at_end() { return next() == TOK_EOL; }

    // The line right behind the last token read. Forms ask for it only while
    // no lookahead is held, so it stands right behind their keyword.
    const wchar_t* rest() const { return cursor_; }

    // First character of the last token consumed.
    const wchar_t* last_start() const { return lastStart_; }

private:
    const wchar_t* cursor_;
    bool held_ = false;
    int look_ = TOK_EOL;
    const wchar_t* lookStart_ = nullptr;
    const wchar_t* lastStart_ = nullptr;
    std::wstring lookWord_;
    std::string lookNumber_;
};

namespace {
using Parser = CmdParser;

// A count taken as a signed 32-bit int: strtol, then the low 32 bits.
long long count32(const std::string& digits) {
    return static_cast<int>(std::strtol(digits.c_str(), nullptr, 10));
}

// A count kept in 64 bits; values beyond the range saturate.
long long count64(const std::string& digits) {
    return std::strtoll(digits.c_str(), nullptr, 10);
}

std::string dsn_of(const std::wstring& name) {
    return isql_to_multibyte(name.c_str(), name.size());
}

// One to three names joined by DOT.
bool dotted_names(Parser& p, std::vector<std::wstring>& names) {
    std::wstring name;
    if (!p.word(name)) return false;
    names.push_back(name);
    while (names.size() < 3 && p.take(TOK_DOT)) {
        if (!p.word(name)) return false;
        names.push_back(name);
    }
    return true;
}

// ---- the forms; each is entered with its first token consumed and rec.kind
// ---- set from its row, and returns false when the line does not match.

bool form_empty(Parser&, IsqlCommand&) { return true; }

bool form_bare(Parser& p, IsqlCommand&) { return p.at_end(); }

bool form_bare_opt_semicolon(Parser& p, IsqlCommand&) {
    p.take(TOK_SEMICOLON);
    return p.at_end();
}

// FETCH, WAIT, QUERYTIMEOUT n: narrowed to 32 bits.
bool form_count32(Parser& p, IsqlCommand& rec) {
    std::string digits;
    if (!p.number(digits)) return false;
    rec.lNumber = count32(digits);
    return p.at_end();
}

// MAXROWS n, and REPEAT n, whose dispatcher refuses counts beyond an int.
bool form_count64(Parser& p, IsqlCommand& rec) {
    std::string digits;
    if (!p.number(digits)) return false;
    rec.lNumber = count64(digits);
    return p.at_end();
}

// CMDFILE, NCMDFILE: the name starts one character behind the keyword (that
// character normally being the separating blank). A keyword at the very end
// of the line gives an empty name.
bool form_file_name(Parser& p, IsqlCommand& rec) {
    const wchar_t* rest = p.rest();
    rec.sPathOrDsn = *rest == L'\0' ? std::string() : isql_get_string(rest + 1);
    return true;
}

// RESFILE, ERRFILE, RESDIR: as form_file_name, but no name at all when the
// line ends right behind the keyword or one character later.
bool form_optional_file_name(Parser& p, IsqlCommand& rec) {
    const wchar_t* rest = p.rest();
    if (rest[0] != L'\0' && rest[1] != L'\0') rec.sPathOrDsn = isql_get_string(rest + 1);
    return true;
}

// ECHO, EXEC, "!": the text right behind the keyword, blank included.
bool form_raw_text(Parser& p, IsqlCommand& rec) {
    rec.wsText = p.rest();
    return true;
}

// A statement start of one keyword: the statement begins at the keyword.
bool form_statement(Parser& p, IsqlCommand& rec) {
    rec.wsText = p.last_start();
    return true;
}

// The objects that CREATE and DROP may start a statement on.
bool is_statement_object(int token) {
    return token == TOK_TABLE || token == TOK_INDEX || token == TOK_VIEW || token == TOK_USER ||
           token == TOK_ROLE;
}

// CREATE TABLE|INDEX|VIEW|USER|ROLE, CREATE UNIQUE INDEX.
bool form_create_statement(Parser& p, IsqlCommand& rec) {
    const wchar_t* start = p.last_start();
    const int object = p.next();
    if (!is_statement_object(object) && !(object == TOK_UNIQUE && p.next() == TOK_INDEX))
        return false;
    rec.wsText = start;
    return true;
}

// DROP TABLE|INDEX|VIEW|USER|ROLE.
bool form_drop_statement(Parser& p, IsqlCommand& rec) {
    const wchar_t* start = p.last_start();
    if (!is_statement_object(p.next())) return false;
    rec.wsText = start;
    return true;
}

// DESCRIBE SELECT rest of line, or DESCRIBE [[catalog.]owner.]table [;]
// followed by anything.
bool form_describe(Parser& p, IsqlCommand& rec) {
    if (p.take(TOK_SELECT)) {
        rec.kind = CMD_DESCRIBE_STMT;
        rec.wsText = p.last_start();
        return true;
    }
    std::vector<std::wstring> names;
    if (!dotted_names(p, names)) return false;
    rec.kind = CMD_DESCRIBE_TABLE;
    rec.wsTable = names.back();
    if (names.size() >= 2) rec.wsOwner = names[names.size() - 2];
    if (names.size() == 3) rec.wsCatalog = names[0];
    p.take(TOK_SEMICOLON);
    return true;
}

// SHOW|LIST TABLES [catalog[.owner[.table]]] [;]
bool form_show_tables(Parser& p, IsqlCommand& rec) {
    if (!p.take(TOK_TABLES)) return false;
    if (p.peek() == TOK_WORD) {
        std::vector<std::wstring> names;
        if (!dotted_names(p, names)) return false;
        rec.wsCatalog = names[0];
        if (names.size() >= 2) rec.wsOwner = names[1];
        if (names.size() == 3) rec.wsTable = names[2];
    }
    p.take(TOK_SEMICOLON);
    return p.at_end();
}

// "@ dsn" closing a user name.
bool at_dsn(Parser& p, IsqlCommand& rec) {
    std::wstring dsn;
    if (!p.take(TOK_AT) || !p.word(dsn)) return false;
    rec.sPathOrDsn = dsn_of(dsn);
    return true;
}

// After a user name: * password @ dsn, as CONNECT and MULTICONNECT share it.
bool star_password_at_dsn(Parser& p, IsqlCommand& rec, const std::wstring& user) {
    std::wstring password;
    if (!p.take(TOK_STAR) || !p.word(password)) return false;
    rec.wsUser = user;
    rec.wsPassword = password;
    return at_dsn(p, rec);
}

// CONNECT dsn [;] | CONNECT user @ dsn [;] | CONNECT user * password @ dsn [;]
bool form_connect(Parser& p, IsqlCommand& rec) {
    std::wstring first;
    if (!p.word(first)) return false;
    if (p.peek() == TOK_STAR) {
        if (!star_password_at_dsn(p, rec, first)) return false;
    } else if (p.peek() == TOK_AT) {
        rec.wsUser = first;
        if (!at_dsn(p, rec)) return false;
    } else {
        rec.sPathOrDsn = dsn_of(first);
    }
    p.take(TOK_SEMICOLON);
    return p.at_end();
}

// CUSTOMCONNECT connection-string
bool form_customconnect(Parser& p, IsqlCommand& rec) {
    std::wstring connStr;
    if (!p.word(connStr)) return false;
    rec.wsConnStr = connStr;
    return p.at_end();
}

// MULTICONNECT n dsn | MULTICONNECT n user * password @ dsn
bool form_multiconnect(Parser& p, IsqlCommand& rec) {
    std::string digits;
    std::wstring first;
    if (!p.number(digits) || !p.word(first)) return false;
    rec.lNumber = count32(digits);
    if (p.peek() == TOK_STAR) {
        if (!star_password_at_dsn(p, rec, first)) return false;
    } else {
        rec.sPathOrDsn = dsn_of(first);
    }
    return p.at_end();
}

// TIMER START | TIMER STOP
bool form_timer(Parser& p, IsqlCommand& rec) {
    switch (p.next()) {
    case TOK_START: rec.kind = CMD_TIMER_START; break;
    case TOK_STOP: rec.kind = CMD_TIMER_STOP; break;
    default: return false;
    }
    return p.at_end();
}

// START TIMER | STOP TIMER
bool form_then_timer(Parser& p, IsqlCommand&) { return p.take(TOK_TIMER) && p.at_end(); }

// AUTOCOMMIT ON | OFF
bool form_on_off(Parser& p, IsqlCommand& rec) {
    switch (p.next()) {
    case TOK_ON: rec.lNumber = 1; break;
    case TOK_OFF: rec.lNumber = 0; break;
    default: return false;
    }
    return p.at_end();
}

// In the order of HELP; rows without help lines close the table.
const CommandInfo kCommandTable[] = {
    {TOK_AUTOCOMMIT, CMD_AUTOCOMMIT, form_on_off, {"> AUTOCOMMIT ON|OFF\n"}},
    {TOK_CMDFILE, CMD_CMDFILE, form_file_name, {"> CMDFILE file_name\n"}},
    {TOK_COMMIT, CMD_COMMIT, form_bare, {"> COMMIT\n"}},
    {TOK_CONNECT, CMD_CONNECT, form_connect,
     {"> CONNECT user*password@database\n",
      "> CONNECT \"user@example.com\"*\"password\"@database\n"}},
    {TOK_CUSTOMCONNECT, CMD_CUSTOMCONNECT, form_customconnect,
     {"> CUSTOMCONNECT \"connect string\"\n"}},
    {TOK_DISCONNECT, CMD_DISCONNECT, form_bare_opt_semicolon, {"> DISCONNECT\n"}},
    {TOK_MULTICONNECT, CMD_MULTICONNECT, form_multiconnect,
     {"> MULTICONNECT count user*password@database\n"}},
    {TOK_MULTIDISCONNECT, CMD_MULTIDISCONNECT, form_bare, {"> MULTIDISCONNECT\n"}},
    {TOK_ECHO, CMD_ECHO, form_raw_text, {"> ECHO information;\n"}},
    {TOK_EOL, CMD_EMPTY, form_empty, {"> # comment\n"}},
    {TOK_SHOW, CMD_SHOW_TABLES, form_show_tables,
     {"> SHOW TABLES [CATALOG[.OWNER[.TABLE_NAME]]] [;]\n"}},
    {TOK_LIST, CMD_SHOW_TABLES, form_show_tables,
     {"> LIST TABLES [CATALOG[.OWNER[.TABLE_NAME]]] [;]\n"}},
    {TOK_DESCRIBE, CMD_NONE, form_describe,
     {"> DESCRIBE [[CATALOG.]OWNER.]TABLE_NAME [;]\n", "> DESCRIBE select_stmt;\n"}},
    {TOK_EXEC, CMD_SQL, form_raw_text, {"> EXEC sql_stmt;\n", "> !sql_stmt;\n"}},
    {TOK_SELECT, CMD_SQL, form_statement, {"> sql_stmt;\n"}},
    {TOK_EXIT, CMD_EXIT, form_bare_opt_semicolon, {"> EXIT\n"}},
    {TOK_FETCH, CMD_FETCH, form_count32, {"> FETCH block_size\n"}},
    {TOK_HELP, CMD_HELP, form_bare, {"> HELP\n"}},
    {TOK_MAXROWS, CMD_MAXROWS, form_count64, {"> MAXROWS number\n"}},
    {TOK_NCMDFILE, CMD_NCMDFILE, form_file_name, {"> NCMDFILE unicode file_name\n"}},
    {TOK_QUERYTIMEOUT, CMD_QUERYTIMEOUT, form_count32, {"> QUERYTIMEOUT number\n"}},
    {TOK_REPEAT, CMD_REPEAT, form_count64,
     {"> REPEAT number\n  command 1\n  ...\n  command n\n  END\n"}},
    {TOK_RESFILE, CMD_RESFILE, form_optional_file_name, {"> RESFILE {file_name}\n"}},
    {TOK_ROLLBACK, CMD_ROLLBACK, form_bare, {"> ROLLBACK\n"}},
    {TOK_TIMER, CMD_NONE, form_timer, {"> TIMER START\n", "> TIMER STOP\n"}},
    {TOK_WAIT, CMD_WAIT, form_count32, {"> WAIT time_in_seconds\n"}},
    {TOK_ERRFILE, CMD_ERRFILE, form_optional_file_name, {}},
    {TOK_RESDIR, CMD_RESDIR, form_optional_file_name, {}},
    {TOK_END, CMD_END, form_bare, {}},
    {TOK_START, CMD_TIMER_START, form_then_timer, {}},
    {TOK_STOP, CMD_TIMER_STOP, form_then_timer, {}},
    {TOK_UPDATE, CMD_SQL, form_statement, {}},
    {TOK_INSERT, CMD_SQL, form_statement, {}},
    {TOK_DELETE, CMD_SQL, form_statement, {}},
    {TOK_CALL, CMD_SQL, form_statement, {}},
    {TOK_GRANT, CMD_SQL, form_statement, {}},
    {TOK_REVOKE, CMD_SQL, form_statement, {}},
    {TOK_CREATE, CMD_SQL, form_create_statement, {}},
    {TOK_DROP, CMD_SQL, form_drop_statement, {}},
};

constexpr const wchar_t* kFormatNames[] = {L"aligned", L"csv", L"expanded", L"json", L"tsv"};
constexpr const wchar_t* kDriverOperands[] = {L"full"};
const SessionFormInfo kSessionForms[] = {
    {L"format", CMD_FORMAT, kFormatNames},
    {L"driver", CMD_DRIVER, kDriverOperands},
};

// Parses a session form ("\\name operand") into cmd; false when text is none.
bool parse_session_form(const wchar_t* text, IsqlCommand& cmd) {
    while (*text == L' ' || *text == L'\t') ++text;
    if (*text != L'\\') return false;
    ++text;
    const wchar_t* end = text;
    while (zviswalpha(*end)) ++end;
    const std::wstring name(text, end);
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    if (*end != L'\0' && !blank(*end) && *end != L';') return false;
    for (const SessionFormInfo& form : kSessionForms) {
        if (zvwcsicmp(name.c_str(), form.name) != 0) continue;
        std::wstring operand(end);
        const auto trim = [&] {
            while (!operand.empty() && blank(operand.back())) operand.pop_back();
            while (!operand.empty() && blank(operand.front())) operand.erase(0, 1);
        };
        trim();
        if (!operand.empty() && operand.back() == L';') operand.pop_back();
        trim();
        cmd.kind = form.kind;
        cmd.sPathOrDsn = isql_to_multibyte(operand.c_str(), operand.size());
        return true;
    }
    return false;
}

}  // namespace

std::span<const SessionFormInfo> isql_session_forms() { return kSessionForms; }

// Parses cmdText into cmd. Returns 0 when the line is a command (an empty or
// comment line included), with cmd.kind and the command's operands set and
// the other fields untouched; returns 1, leaving cmd untouched, when it is
// not, and the caller takes the line as SQL.
int isql_cmdparse(const wchar_t* cmdText, IsqlCommand& cmd) {
    if (cmdText == nullptr) return 1;
    if (parse_session_form(cmdText, cmd)) return 0;
    Parser parser(cmdText);
    const int first = parser.next();
    for (const CommandInfo& form : kCommandTable) {
        if (form.firstToken != first) continue;
        IsqlCommand rec = cmd;
        rec.kind = form.kind;
        if (!form.form(parser, rec)) return 1;
        cmd = std::move(rec);
        return 0;
    }
    return 1;
}

std::span<const CommandInfo> isql_command_table() { return kCommandTable; }

IsqlCommand isql_parse_line(const wchar_t* line) {
    IsqlCommand cmd;
    if (isql_cmdparse(line, cmd) != 0) {
        cmd = IsqlCommand{};
        cmd.kind = CMD_SQL;
        cmd.wsText = line;
    }
    return cmd;
}
