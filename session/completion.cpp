// Tab completion at the terminal, by the place of the word in the statement:
// command and statement keywords where one can start, table names where a
// table is named, column names of the tables the statement names elsewhere.
// Table names are fetched once per connection, the columns of a table once
// each; both are forgotten at a connect or after a statement that may change
// the catalog.
#include <algorithm>
#include <cwctype>
#include <map>

#include "isqlcmd.h"
#include "isqlexec.h"
#include "isqlterm.h"
#include "isqltm.h"
#include "zvunicode.h"

namespace {
// Statement starters of SQL that are no words of the command language; the
// others (SELECT, INSERT, UPDATE, DELETE, CREATE, DROP, ...) start a form of
// kCommandTable and come from there.
const wchar_t* const kSqlStarters[] = {L"alter", L"begin",    L"explain", L"merge",
                                       L"set",   L"truncate", L"values",  L"with"};

// Words behind which a table is named.
const wchar_t* const kTableIntroducers[] = {L"describe", L"from", L"into",
                                            L"join",     L"table", L"update"};

// Table names and the connection they were read from; the columns of each
// table asked for, under its name as the catalog spells it.
struct TableCache {
    bool fetched = false;
    std::string dsn;
    std::wstring connectString;
    std::wstring userName;
    std::vector<std::wstring> names;
    std::map<std::wstring, std::vector<std::wstring>> columns;
};
TableCache gTables;

// Diagnostics of a failed catalog call are not shown: they would land inside
// the line being edited, and completion is only a convenience.
class QuietErrors {
public:
    QuietErrors() { giTraceMask &= ~static_cast<unsigned int>(TRACE_ERROR); }
    ~QuietErrors() { giTraceMask = saved_; }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    unsigned int saved_ = giTraceMask;
};

bool starts_with_nocase(const std::wstring& text, const std::wstring& prefix) {
    if (text.size() < prefix.size()) return false;
    return zvwcsnicmp(text.c_str(), prefix.c_str(), static_cast<int>(prefix.size())) == 0;
}

bool equal_nocase(const std::wstring& a, const wchar_t* b) { return zvwcsicmp(a.c_str(), b) == 0; }

bool all_upper(const std::wstring& s) {
    bool letter = false;
    for (wchar_t c : s) {
        if (!zviswalpha(static_cast<wint_t>(c))) continue;
        letter = true;
        if (!zviswupper(static_cast<wint_t>(c))) return false;
    }
    return letter;
}

std::wstring upper(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(zvtowupper(static_cast<wint_t>(c)));
    return s;
}

std::wstring lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(zvtowlower(static_cast<wint_t>(c)));
    return s;
}

// Longest start shared by all choices, compared without regard to case.
size_t shared_length(const std::vector<std::wstring>& choices) {
    size_t n = choices.front().size();
    for (const std::wstring& c : choices) {
        size_t k = 0;
        while (k < n && k < c.size() &&
               zvtowlower(static_cast<wint_t>(c[k])) ==
                   zvtowlower(static_cast<wint_t>(choices.front()[k])))
            ++k;
        n = k;
    }
    return n;
}

bool same_connection(const ClientState* state) {
    return gTables.dsn == state->dsn && gTables.connectString == state->connectString &&
           gTables.userName == state->userName;
}

// ---- the place of a word in a statement ---------------------------------------

struct Token {
    std::wstring text;
    bool name;  // a word or a quoted identifier, else one punctuation character
};

bool is_name_char(wchar_t c) {
    return zviswalnum(static_cast<wint_t>(c)) || c == L'_' || c == L'$' || c == L'.' || c == L'\\';
}

// The tokens of text: names (quoted identifiers without their quotes, dotted
// names whole) and single punctuation characters. String literals stand as
// one "'" token; "--" comments are left out.
std::vector<Token> tokens_of(const std::wstring& text) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < text.size()) {
        const wchar_t c = text[i];
        size_t end = i + 1;
        if (zviswspace(static_cast<wint_t>(c))) {
            // nothing
        } else if (c == L'-' && text.compare(i, 2, L"--") == 0) {
            end = text.find(L'\n', i);
        } else if (c == L'\'') {
            end = text.find(L'\'', i + 1);
            out.push_back({L"'", false});
            if (end != std::wstring::npos) ++end;
        } else if (c == L'"' || c == L'`') {
            end = text.find(c, i + 1);
            out.push_back({text.substr(i + 1, end - i - 1), true});
            if (end != std::wstring::npos) ++end;
        } else if (is_name_char(c)) {
            while (end < text.size() && is_name_char(text[end])) ++end;
            out.push_back({text.substr(i, end - i), true});
        } else {
            out.push_back({std::wstring(1, c), false});
        }
        i = end;
    }
    return out;
}

bool introduces_table(const Token& t) {
    return t.name && std::any_of(std::begin(kTableIntroducers), std::end(kTableIntroducers),
                                 [&](const wchar_t* w) { return equal_nocase(t.text, w); });
}

// True when a name at position end of t stands where a table is named: right
// behind an introducing word, or behind a comma that follows such a table
// (with its alias, "AS alias" included).
bool table_position(const std::vector<Token>& t, size_t end) {
    size_t i = end;
    for (;;) {
        if (i == 0) return false;
        if (introduces_table(t[i - 1])) return true;
        if (t[i - 1].name || t[i - 1].text != L",") return false;
        --i;
        size_t names = 0;
        while (i > 0 && names < 3 && t[i - 1].name && !introduces_table(t[i - 1])) {
            --i;
            ++names;
        }
        if (names == 0) return false;
    }
}

// The token a word has in the lexer's table, TOK_WORD when it has none.
int keyword_token(const std::wstring& word) {
    for (const IsqlKeyword& k : keywords)
        if (equal_nocase(word, k.text)) return k.token;
    return TOK_WORD;
}

// The kind of the command form that starts with token; CMD_SQL for a
// token that starts none.
CmdKind form_kind(int token) {
    for (const CommandInfo& form : isql_command_table())
        if (form.firstToken == token) return form.kind;
    return CmdKind::CMD_SQL;
}

// The words that may start a command line, as the keywords take them.
const std::vector<std::wstring>& start_words() {
    static const std::vector<std::wstring> words = [] {
        std::vector<std::wstring> out(std::begin(kSqlStarters), std::end(kSqlStarters));
        for (const CommandInfo& form : isql_command_table())
            for (const IsqlKeyword& k : keywords)
                if (k.token == form.firstToken) out.push_back(k.text);
        return out;
    }();
    return words;
}

const std::vector<std::wstring>& all_keywords() {
    static const std::vector<std::wstring> words = [] {
        std::vector<std::wstring> out;
        for (const IsqlKeyword& k : keywords)
            if (std::wstring(k.text).find(L' ') == std::wstring::npos) out.push_back(k.text);
        return out;
    }();
    return words;
}

const std::vector<std::wstring>& backslash_names() {
    static const std::vector<std::wstring> names = [] {
        std::vector<std::wstring> out;
        for (const SessionFormInfo& f : isql_session_forms()) out.push_back(L"\\" + std::wstring(f.name));
        return out;
    }();
    return names;
}

// The words a backslash form takes; none for any other form.
std::vector<std::wstring> backslash_words(const std::wstring& form) {
    for (const SessionFormInfo& f : isql_session_forms())
        if (form.size() > 1 && form[0] == L'\\' && zvwcsicmp(form.c_str() + 1, f.name) == 0)
            return {f.operands.begin(), f.operands.end()};
    return {};
}

// The columns of the tables named, each table asked for once per connection.
std::vector<std::wstring> columns_of(const ClientState* state,
                                     const std::vector<std::wstring>& named) {
    std::vector<std::wstring> out;
    const std::vector<std::wstring>& tables = isql_completion_tables(state);
    for (const std::wstring& table : tables) {
        if (std::none_of(named.begin(), named.end(),
                         [&](const std::wstring& n) { return equal_nocase(n, table.c_str()); }))
            continue;
        auto found = gTables.columns.find(table);
        if (found == gTables.columns.end()) {
            std::vector<std::wstring> names;
            const QuietErrors quiet;
            if (!isql_column_names(gClientStateList.hdbc, table, names)) names.clear();
            found = gTables.columns.emplace(table, std::move(names)).first;
        }
        out.insert(out.end(), found->second.begin(), found->second.end());
    }
    return out;
}
}  // namespace

// A qualifier right before the word ("emp." of "emp.ename") does not change
// its place. A line whose first word is a command of the client's own takes
// keywords (or the words of its backslash form); so do CREATE and DROP until
// their object.
CompletionPlace isql_completion_place(const std::wstring& before) {
    std::vector<Token> t = tokens_of(before);
    // A ";" ends the statement before.
    const auto end = std::find_if(t.rbegin(), t.rend(),
                                  [](const Token& k) { return !k.name && k.text == L";"; });
    t.erase(t.begin(), end.base());
    if (!t.empty() && t.back().name && t.back().text.back() == L'.') t.pop_back();
    if (t.empty()) return {CompletionKind::Start, L""};
    const std::wstring first = t.front().name ? lower(t.front().text) : L"";
    if (table_position(t, t.size())) return {CompletionKind::Table, first};
    const int token = keyword_token(first);
    if (first.starts_with(L'\\') || (token != TOK_WORD && form_kind(token) != CmdKind::CMD_SQL))
        return {CompletionKind::Word, first};
    const bool keywordsOnly = std::all_of(t.begin(), t.end(), [](const Token& k) {
        return k.name && keyword_token(k.text) != TOK_WORD;
    });
    if ((first == L"create" || first == L"drop") && keywordsOnly)
        return {CompletionKind::Word, first};
    return {CompletionKind::Column, first};
}

// Dotted names count by their last part.
std::vector<std::wstring> isql_named_tables(const std::wstring& statement) {
    const std::vector<Token> t = tokens_of(statement);
    std::vector<std::wstring> out;
    for (size_t i = 0; i < t.size(); ++i) {
        if (!t[i].name || !table_position(t, i)) continue;
        const size_t dot = t[i].text.rfind(L'.');
        out.push_back(dot == std::wstring::npos ? t[i].text : t[i].text.substr(dot + 1));
    }
    return out;
}

// By the first word alone.
bool isql_changes_catalog(const std::wstring& statement) {
    const std::vector<Token> t = tokens_of(statement);
    if (t.empty() || !t.front().name) return false;
    for (const wchar_t* w : {L"alter", L"create", L"drop", L"rename"})
        if (equal_nocase(t.front().text, w)) return true;
    return false;
}

// A single choice is completed with a blank behind it; several are completed
// as far as they agree and listed.
Completion isql_complete(const std::wstring& prefix, const std::vector<std::wstring>& words,
                         const std::vector<std::wstring>& names) {
    std::vector<std::wstring> choices;
    const bool shout = all_upper(prefix);
    for (const std::wstring& word : words)
        if (starts_with_nocase(word, prefix)) choices.push_back(shout ? upper(word) : word);
    for (const std::wstring& name : names)
        if (starts_with_nocase(name, prefix)) choices.push_back(name);
    std::sort(choices.begin(), choices.end());
    choices.erase(std::unique(choices.begin(), choices.end()), choices.end());

    Completion out;
    if (choices.empty()) return out;
    if (choices.size() == 1) {
        out.insert = choices.front().substr(prefix.size()) + L" ";
        return out;
    }
    const size_t shared = shared_length(choices);
    if (shared > prefix.size())
        out.insert = choices.front().substr(prefix.size(), shared - prefix.size());
    out.choices = std::move(choices);
    return out;
}

// Keywords and backslash words never need the catalog; names read from it
// are offered only while state is connected.
Completion isql_complete_at(const ClientState* state, const std::wstring& before,
                            const std::wstring& statement, const std::wstring& prefix) {
    static const std::vector<std::wstring> kNone;
    const CompletionPlace place = isql_completion_place(before);
    switch (place.kind) {
    case CompletionKind::Start:
        return isql_complete(prefix, start_words(), backslash_names());
    case CompletionKind::Word:
        if (place.form.starts_with(L'\\'))
            return isql_complete(prefix, kNone, backslash_words(place.form));
        return isql_complete(prefix, all_keywords(), kNone);
    case CompletionKind::Table:
    case CompletionKind::Column:
        break;
    }
    if (state == nullptr) return {};
    if (place.kind == CompletionKind::Table)
        return isql_complete(prefix, kNone, isql_completion_tables(state));
    return isql_complete(prefix, kNone, columns_of(state, isql_named_tables(statement)));
}

void isql_completion_follow(const ClientState* state, bool force) {
    if (!gTables.fetched) return;
    if (force || state->connected == 0 || !same_connection(state)) gTables = TableCache{};
}

// A failed fetch is not retried on the same connection.
const std::vector<std::wstring>& isql_completion_tables(const ClientState* state) {
    isql_completion_follow(state, false);
    if (state->connected == 0 || gTables.fetched) return gTables.names;
    gTables.fetched = true;
    gTables.dsn = state->dsn;
    gTables.connectString = state->connectString;
    gTables.userName = state->userName;
    const QuietErrors quiet;
    if (!isql_table_names(gClientStateList.hdbc, gTables.names)) gTables.names.clear();
    return gTables.names;
}
