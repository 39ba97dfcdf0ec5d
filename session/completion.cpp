// Tab completion at the terminal: command keywords from the lexer's table and
// the table names of the connection, fetched once per connection.
#include <algorithm>
#include <cwctype>

#include "isqlcmd.h"
#include "isqlexec.h"
#include "isqlterm.h"
#include "zvunicode.h"

namespace {
// Table names and the connection they were read from.
struct TableCache {
    bool fetched = false;
    std::string dsn;
    std::wstring connectString;
    std::wstring userName;
    std::vector<std::wstring> names;
};
TableCache gTables;

bool starts_with_nocase(const std::wstring& text, const std::wstring& prefix) {
    if (text.size() < prefix.size()) return false;
    return zvwcsnicmp(text.c_str(), prefix.c_str(), static_cast<int>(prefix.size())) == 0;
}

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
}  // namespace

// A single choice is completed with a blank behind it; several are completed
// as far as they agree and listed.
Completion isql_complete(const std::wstring& prefix, bool opensCommand,
                         const std::vector<std::wstring>& tables) {
    std::vector<std::wstring> choices;
    const bool shout = all_upper(prefix);
    for (int i = 0; i < kKeywordCount; ++i) {
        const std::wstring word = keywords[i].text;
        if (word.find(L' ') != std::wstring::npos) continue;  // the table's front padding
        if (starts_with_nocase(word, prefix)) choices.push_back(shout ? upper(word) : word);
    }
    if (!opensCommand)
        for (const std::wstring& t : tables)
            if (starts_with_nocase(t, prefix)) choices.push_back(t);
    std::sort(choices.begin(), choices.end());
    choices.erase(std::unique(choices.begin(), choices.end()), choices.end());

    Completion out;
    if (choices.empty()) return out;
    if (choices.size() == 1) {
        out.insert = choices.front().substr(prefix.size()) + L" ";
        return out;
    }
    const size_t shared = shared_length(choices);
    if (shared > prefix.size()) out.insert = choices.front().substr(prefix.size(), shared - prefix.size());
    out.choices = std::move(choices);
    return out;
}

void isql_completion_follow(const ClientState* state, bool force) {
    if (!gTables.fetched) return;
    if (force || state->connected == 0 || !same_connection(state)) gTables = TableCache{};
}

// A failed fetch is reported once and not retried on the same connection.
const std::vector<std::wstring>& isql_completion_tables(const ClientState* state) {
    isql_completion_follow(state, false);
    if (state->connected == 0 || gTables.fetched) return gTables.names;
    gTables.fetched = true;
    gTables.dsn = state->dsn;
    gTables.connectString = state->connectString;
    gTables.userName = state->userName;
    if (!isql_table_names(gClientStateList.hdbc, gTables.names)) gTables.names.clear();
    return gTables.names;
}
