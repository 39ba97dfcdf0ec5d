// Comfort at the terminal: line editing with history and completion, and
// Ctrl-C that cancels a running statement or drops the line being typed.
// All of it applies only while standard input is a terminal and the current
// input source is standard input; any other input is read, and SIGINT
// handled, exactly as without it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "isql.h"

// ---- Ctrl-C (session/interrupt.cpp) ------------------------------------------
// Sets up Ctrl-C handling when standard input is a terminal: a thread waits
// for SIGINT, which the session thread blocks while it reads or runs lines of
// the terminal. Call once, before any other thread exists. False when
// standard input is not a terminal (nothing changed).
bool isql_terminal_init();
// True once isql_terminal_init found a terminal.
bool isql_terminal_present();
// Tells which source runs now: terminal handling while it is standard input
// at a terminal, today's flush-and-end on SIGINT otherwise.
void isql_terminal_follow(const ClientState* current);
// True when state reads standard input at a terminal.
bool isql_terminal_source(const ClientState* state);

enum class InputWait { Ready, Interrupted, Signal };
// Waits until fd has input, Ctrl-C was pressed, or a signal handler ran.
InputWait isql_terminal_wait(int fd);
// Forgets Ctrl-C presses that came while nothing was waiting for input.
void isql_terminal_drain();

// ---- line editing (session/lineedit.cpp) -------------------------------------
// Starts the line editor when standard input and output are both terminals
// (reads the history file). False when editing is off.
bool isql_lineedit_init();
// True when lines of standard input are read through the editor.
bool isql_lineedit_on();
// Restores the terminal and lets the editor go.
void isql_lineedit_end();

enum class EditRead { Line, End, Interrupted, Undecodable, BadUtf8 };
// Reads one edited line after writing prompt + "> ". The line keeps its line
// feed; bytes are decoded as gCmdFile says (locale or UTF-8, one character
// at a time). Lines worth keeping go to the history.
EditRead isql_lineedit_read(ClientState* state, const char* prompt, std::wstring& line);

// ---- what the history keeps (session/history_policy.cpp) ---------------------
// True for a line that carries a password: CONNECT or MULTICONNECT with a
// "*", CUSTOMCONNECT or a continuation line with a key that names one.
bool isql_line_holds_password(const std::wstring& line);
// The history file: value is the settings-file value (null when the key is
// absent), home the home folder (null when unknown). Empty: no file.
std::string isql_history_path(const char* value, const char* home);

// ---- completion (session/completion.cpp) -------------------------------------
struct Completion {
    std::wstring insert;                    // text to add at the cursor
    std::vector<std::wstring> choices;      // shown when several remain
};
// What a word completes to, by its place in the statement.
enum class CompletionKind {
    Start,   // a command or statement starts: its first words, backslash forms
    Word,    // behind a command word of the client's own: keywords
    Table,   // behind FROM, JOIN, INTO, UPDATE, DESCRIBE, TABLE: table names
    Column,  // elsewhere in a statement: columns of the tables it names
};
struct CompletionPlace {
    CompletionKind kind;
    std::wstring form;  // the statement's first word, lower case
};
// The place of the word that follows before, the statement's text up to that
// word (its earlier lines included).
CompletionPlace isql_completion_place(const std::wstring& before);
// The names that statement gives where a table is named, dotted ones by
// their last part.
std::vector<std::wstring> isql_named_tables(const std::wstring& statement);
// True when statement may change the tables or their columns (CREATE, DROP,
// ALTER, RENAME).
bool isql_changes_catalog(const std::wstring& statement);
// Completes prefix, the word before the cursor, from words (keywords, which
// take the case of the prefix: upper when all its letters are upper-case)
// and names (taken as spelled).
Completion isql_complete(const std::wstring& prefix, const std::vector<std::wstring>& words,
                         const std::vector<std::wstring>& names);
// Completes prefix at its place: before is the statement's text up to it,
// statement the whole text typed so far. The catalog of state (null: none)
// gives table and column names; keywords only when not connected or when a
// catalog call failed, which shows no message.
Completion isql_complete_at(const ClientState* state, const std::wstring& before,
                            const std::wstring& statement, const std::wstring& prefix);
// Table names of the connection state uses, fetched at the first call after
// each connect; empty when not connected.
const std::vector<std::wstring>& isql_completion_tables(const ClientState* state);
// Drops the table and column names when state is no longer connected as when
// they were fetched, or at once with force (a connect or disconnect was
// typed, or a statement that changes the catalog ran).
void isql_completion_follow(const ClientState* state, bool force);
