// The line editor for standard input at a terminal, on libedit: editing keys,
// a history kept in a file, Tab completion, and Ctrl-C dropping the line.
//
// libedit reads characters through read_char below, which waits on the
// terminal and on the Ctrl-C pipe together and decodes the bytes exactly as
// the plain reader would (locale or UTF-8, chosen by gCmdFile at each
// character), so an edited line holds the same text as a typed one.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <dlfcn.h>
#include <histedit.h>
#include <pwd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "isqlcmd.h"
#include "isqlini.h"
#include "isqlterm.h"
#include "zvunicode.h"

using enum CmdKind;  // the kinds by their plain CMD_ names

namespace {
// libedit is loaded when editing starts, not linked: scripts and pipes never
// edit, and its libraries (libedit, libtinfo, libbsd, libmd) cost more at every
// start than the rest of start-up together. Without it, lines are read plainly.
constexpr char kEditLibrary[] = "libedit.so.2";

#define WSQL_EDIT_FUNCTIONS(X)                                                         \
    X(el_init) X(el_end) X(el_reset) X(el_resize) X(el_set) X(el_source) X(el_wgets) \
    X(el_winsertstr) X(el_wline) X(el_wset) X(history_w) X(history_wend) X(history_winit)

struct EditLibrary {
#define WSQL_EDIT_POINTER(name) decltype(&::name) name = nullptr;
    WSQL_EDIT_FUNCTIONS(WSQL_EDIT_POINTER)
#undef WSQL_EDIT_POINTER
};
EditLibrary lib;

// Loads libedit and every function used from it; false (and nothing kept)
// when the library or one of them is missing.
bool load_edit_library() {
    void* handle = dlopen(kEditLibrary, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return false;
    EditLibrary found;
#define WSQL_EDIT_LOOKUP(name)                                                        \
    found.name = reinterpret_cast<decltype(found.name)>(dlsym(handle, #name));       \
    if (found.name == nullptr) {                                                      \
        dlclose(handle);                                                              \
        return false;                                                                 \
    }
    WSQL_EDIT_FUNCTIONS(WSQL_EDIT_LOOKUP)
#undef WSQL_EDIT_LOOKUP
    lib = found;
    return true;
}

constexpr int kHistoryEntries = 500;
constexpr char kSettingAbsent[] = "\n";   // a value never holds a line feed
constexpr size_t kInputBytes = 4096;
constexpr wchar_t kInterruptKey = 0x03;   // what read_char hands over for Ctrl-C

EditLine* gEditor = nullptr;
HistoryW* gHistory = nullptr;
std::string gHistoryPath;                  // empty: the history is not kept in a file
std::string gPrompt;
ClientState* gReading = nullptr;           // the state whose line is being read
bool gContinues = false;                   // the line read continues a statement
// The lines of the statement being typed (or last typed), joined by line
// feeds: one history entry, and what completion sees before the line.
std::wstring gStatement;

// Bytes read from the terminal and not yet decoded.
unsigned char gInput[kInputBytes];
size_t gInputPos = 0;
size_t gInputEnd = 0;
mbstate_t gShift{};

// How the line being read ended, besides the editor's own result.
bool gInterrupted = false;
bool gUndecodable = false;
bool gBadUtf8 = false;

// Terminal modes for the signal handlers: the settings to give back when the
// process stops or is suspended while the editor holds the terminal raw.
termios gCooked{};
termios gRaw{};
volatile sig_atomic_t gEditing = 0;
volatile sig_atomic_t gResumed = 0;
volatile sig_atomic_t gResized = 0;
struct sigaction gPrevious[NSIG];

enum class Byte { Ok, End, Interrupted };

// The next byte typed; waits for the terminal or Ctrl-C. A handler that ran
// in between (window size, resumption) is dealt with here, outside it.
Byte next_byte(unsigned char* out) {
    while (gInputPos >= gInputEnd) {
        switch (isql_terminal_wait(STDIN_FILENO)) {
        case InputWait::Interrupted:
            return Byte::Interrupted;
        case InputWait::Signal:
            if (gResized) {
                gResized = 0;
                lib.el_resize(gEditor);
            }
            if (gResumed) {
                gResumed = 0;
                lib.el_set(gEditor, EL_REFRESH);
            }
            continue;
        case InputWait::Ready:
            break;
        }
        const ssize_t n = read(STDIN_FILENO, gInput, sizeof gInput);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Byte::End;
        gInputPos = 0;
        gInputEnd = static_cast<size_t>(n);
    }
    *out = gInput[gInputPos++];
    return Byte::Ok;
}

// One character by the locale, as the plain reader's mbrtowc loop decodes.
int decode_locale(unsigned char first, wchar_t* out) {
    unsigned char b = first;
    for (;;) {
        const char c = static_cast<char>(b);
        const size_t k = mbrtowc(out, &c, 1, &gShift);
        if (k == static_cast<size_t>(-1)) {
            gShift = mbstate_t{};
            gUndecodable = true;
            return 0;
        }
        if (k != static_cast<size_t>(-2)) return 1;
        const Byte got = next_byte(&b);
        if (got == Byte::Interrupted) {
            gShift = mbstate_t{};
            gInterrupted = true;
            *out = kInterruptKey;
            return 1;
        }
        if (got == Byte::End) return 0;
    }
}

// One character by the program's UTF-8 conversion: the lead byte and the
// continuation bytes it announces, converted together.
int decode_utf8(unsigned char first, wchar_t* out) {
    if (first < 0x80) {
        *out = first;
        return 1;
    }
    unsigned char seq[8] = {first};
    size_t len = 1;
    // A byte that cannot lead (0x80-0xBF, 0xFE, 0xFF) stands alone, as a
    // replacement character.
    const size_t want = first >= 0xC0 && first < 0xFE ? 1 + utf8_length_array[first - 0x80] : 1;
    while (len < want && len < sizeof seq) {
        const Byte got = next_byte(&seq[len]);
        if (got == Byte::Interrupted) {
            gInterrupted = true;
            *out = kInterruptKey;
            return 1;
        }
        if (got == Byte::End) break;
        if ((seq[len++] & 0xC0) != 0x80) break;
    }
    wchar_t wide[4] = {};
    if (utf8towcs(seq, static_cast<long>(len), wide, 4) != 1) {
        gBadUtf8 = true;
        return 0;
    }
    *out = wide[0];
    return 1;
}

// libedit's character source: 1 with a character, 0 at the end of input
// (or when a byte does not decode, which ends the source like the end).
int read_char(EditLine*, wchar_t* out) {
    unsigned char b = 0;
    switch (next_byte(&b)) {
    case Byte::Interrupted:
        gInterrupted = true;
        *out = kInterruptKey;
        return 1;
    case Byte::End:
        return 0;
    case Byte::Ok:
        break;
    }
    return gCmdFile == 0 ? decode_locale(b, out) : decode_utf8(b, out);
}

char* prompt_text(EditLine*) { return gPrompt.data(); }

// Ctrl-C: the line ends here and the caller drops it.
unsigned char on_interrupt(EditLine*, wint_t) {
    gInterrupted = true;
    return CC_NEWLINE;
}

bool is_name_char(wchar_t c) { return zviswalnum(static_cast<wint_t>(c)) || c == L'_'; }

// Writes the choices under the line; the editor then draws the line again.
// Through the editor's own narrow stream, whose orientation must not change.
void show_choices(const std::vector<std::wstring>& choices) {
    std::wstring text = L"\n";
    for (const std::wstring& c : choices) text += c + L"  ";
    text += L"\n";
    fputs(isql_to_multibyte(text.c_str(), text.size()).c_str(), stdout);
    fflush(stdout);
}

// Tab: completes the word before the cursor (a leading backslash
// included), by its place in the statement the line continues.
unsigned char on_complete(EditLine* el, wint_t) {
    const LineInfoW* li = lib.el_wline(el);
    const wchar_t* start = li->cursor;
    while (start > li->buffer && is_name_char(start[-1])) --start;
    if (start > li->buffer && start[-1] == L'\\') --start;
    const std::wstring earlier = gContinues ? gStatement + L"\n" : std::wstring();
    const Completion done = isql_complete_at(gReading, earlier + std::wstring(li->buffer, start),
                                             earlier + std::wstring(li->buffer, li->lastchar),
                                             std::wstring(start, li->cursor));
    if (!done.insert.empty()) {
        if (lib.el_winsertstr(el, done.insert.c_str()) != 0) return CC_ERROR;
        return CC_REFRESH;
    }
    if (done.choices.empty()) return CC_REFRESH_BEEP;
    show_choices(done.choices);
    return CC_REDISPLAY;
}

// Gives the terminal back its own settings before the process stops, then
// lets the handler that was there before (flush and end) do the rest.
void on_stop_signal(int sig) {
    if (gEditing) tcsetattr(STDIN_FILENO, TCSANOW, &gCooked);
    const struct sigaction& before = gPrevious[sig];
    if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN) {
        before.sa_handler(sig);
        return;
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

// Ctrl-Z while editing: suspends with the terminal as the shell expects it
// and takes it back raw when continued; read_char then redraws the line.
void on_suspend(int sig) {
    const int wasEditing = gEditing;
    if (wasEditing) {
        tcgetattr(STDIN_FILENO, &gRaw);
        tcsetattr(STDIN_FILENO, TCSANOW, &gCooked);
    }
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    // Continued.
    struct sigaction again {};
    again.sa_flags = SA_RESTART;
    again.sa_handler = on_suspend;
    sigaction(sig, &again, nullptr);
    if (wasEditing) {
        tcsetattr(STDIN_FILENO, TCSANOW, &gRaw);
        gResumed = 1;
    }
}

void on_resize(int) { gResized = 1; }

// The stop signals keep their flush-and-end handler behind on_stop_signal
// for the whole run; it only adds giving the terminal back.
void install_stop_handlers() {
    struct sigaction act {};
    act.sa_handler = on_stop_signal;
    for (int sig : {SIGTERM, SIGHUP, SIGQUIT}) sigaction(sig, &act, &gPrevious[sig]);
}

// Suspension and resizing are handled only while a line is edited, so that
// statements run with these signals as they always did.
void hold_job_signals(struct sigaction* before) {
    struct sigaction act {};
    act.sa_flags = SA_RESTART;  // poll, which must see them, is never restarted
    act.sa_handler = on_suspend;
    sigaction(SIGTSTP, &act, &before[0]);
    act.sa_handler = on_resize;
    sigaction(SIGWINCH, &act, &before[1]);
}

void release_job_signals(const struct sigaction* before) {
    sigaction(SIGTSTP, &before[0], nullptr);
    sigaction(SIGWINCH, &before[1], nullptr);
}

// The history file: "HistoryFile" of section "Common" in the settings file,
// else ~/.wsql_history.
std::string history_file() {
    char path[kIniPathBytes];
    ZvGetOdbcisqlIniFile(path);
    char value[kSettingBytes];
    isql_GetPrivateProfileString("Common", "HistoryFile", kSettingAbsent, value, sizeof value, path);
    const char* home = getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* pw = getpwuid(getuid());
        home = pw != nullptr ? pw->pw_dir : nullptr;
    }
    return isql_history_path(strcmp(value, kSettingAbsent) == 0 ? nullptr : value, home);
}

// Drops the newest history entry when it is text.
void forget_newest(const std::wstring& text) {
    HistEventW ev;
    if (lib.history_w(gHistory, &ev, H_FIRST) != 0 || ev.str == nullptr || text != ev.str) return;
    // H_DEL hands back a malloc'd copy of the entry it dropped.
    if (lib.history_w(gHistory, &ev, H_DEL, ev.num) == 0) free(const_cast<wchar_t*>(ev.str));
}

// Keeps a typed line in the history (and its file), unless it is blank, a
// repeat of the line before, or carries a password. A line that continues a
// statement makes the whole statement one entry, in place of its earlier
// lines; the editor recalls it whole, line feeds and all.
void remember(const std::wstring& line) {
    std::wstring entry = line;
    while (!entry.empty() && (entry.back() == L'\n' || entry.back() == L'\r')) entry.pop_back();
    if (gContinues && !gStatement.empty()) {
        forget_newest(gStatement);
        entry = gStatement + L'\n' + entry;
    }
    gStatement = entry;
    if (entry.find_first_not_of(L" \t") == std::wstring::npos) return;
    if (isql_line_holds_password(entry)) return;
    HistEventW ev;
    if (lib.history_w(gHistory, &ev, H_ENTER, entry.c_str()) < 0) return;
    if (gHistoryPath.empty()) return;
    // Written at once, so that a session ended by a signal keeps its lines;
    // only the owner may read it, since statements may hold anything.
    const mode_t old = umask(077);
    lib.history_w(gHistory, &ev, H_SAVE, gHistoryPath.c_str());
    umask(old);
}

// A connect or disconnect typed here changes what the table names are of.
bool changes_connection(const std::wstring& line) {
    const CmdKind kind = isql_parse_line(line.c_str()).kind;
    return kind == CMD_CONNECT || kind == CMD_CUSTOMCONNECT || kind == CMD_DISCONNECT;
}
}  // namespace

// Editing needs the terminal on both sides; the history file is read once
// here and written after every line kept.
bool isql_lineedit_init() {
    if (!isql_terminal_present() || !isatty(STDOUT_FILENO)) return false;
    if (tcgetattr(STDIN_FILENO, &gCooked) != 0) return false;
    if (lib.el_init == nullptr && !load_edit_library()) return false;
    gEditor = lib.el_init("wsql", stdin, stdout, stderr);
    if (gEditor == nullptr) return false;
    gHistory = lib.history_winit();
    HistEventW ev;
    lib.history_w(gHistory, &ev, H_SETSIZE, kHistoryEntries);
    lib.history_w(gHistory, &ev, H_SETUNIQUE, 1);
    gHistoryPath = history_file();
    if (!gHistoryPath.empty()) lib.history_w(gHistory, &ev, H_LOAD, gHistoryPath.c_str());

    lib.el_set(gEditor, EL_EDITOR, "emacs");
    lib.el_set(gEditor, EL_SIGNAL, 0);
    lib.el_set(gEditor, EL_PROMPT, prompt_text);
    lib.el_wset(gEditor, EL_HIST, lib.history_w, gHistory);
    lib.el_wset(gEditor, EL_GETCFN, read_char);
    // The user's ~/.editrc first: a "bind -v" in it resets the key maps, and
    // Tab and Ctrl-C must keep their meaning in whichever maps it chose.
    lib.el_source(gEditor, nullptr);
    // The wide form keeps our static names; the narrow one converts them into
    // copies that el_end never frees.
    lib.el_wset(gEditor, EL_ADDFN, L"wsql-complete", L"Complete a keyword or table name",
                on_complete);
    lib.el_wset(gEditor, EL_ADDFN, L"wsql-interrupt", L"Drop the line being typed",
                on_interrupt);
    lib.el_set(gEditor, EL_BIND, "^I", "wsql-complete", nullptr);
    lib.el_set(gEditor, EL_BIND, "^C", "wsql-interrupt", nullptr);
    lib.el_set(gEditor, EL_BIND, "-a", "^C", "wsql-interrupt", nullptr);
    install_stop_handlers();
    return true;
}

bool isql_lineedit_on() { return gEditor != nullptr; }

void isql_lineedit_end() {
    if (gEditor == nullptr) return;
    lib.el_end(gEditor);
    gEditor = nullptr;
    lib.history_wend(gHistory);
    gHistory = nullptr;
}

// One el_wgets with the job-control handlers held around it. Ctrl-C shows
// "^C" and drops the line; a line that did not decode ends the input like
// its end does; any other line is remembered before it is handed on.
EditRead isql_lineedit_read(ClientState* state, const char* prompt, std::wstring& line) {
    gPrompt = std::string(prompt) + "> ";
    gReading = state;
    gInterrupted = gUndecodable = gBadUtf8 = false;
    gContinues = strcmp(prompt, "Cont") == 0;
    // The statement typed before has run by now.
    if (!gContinues && isql_changes_catalog(gStatement)) isql_completion_follow(state, true);
    if (!gContinues) gStatement.clear();
    isql_completion_follow(state, false);

    int count = 0;
    struct sigaction jobSignals[2];
    hold_job_signals(jobSignals);
    gEditing = 1;
    const wchar_t* got = lib.el_wgets(gEditor, &count);
    gEditing = 0;
    release_job_signals(jobSignals);
    gReading = nullptr;

    if (gInterrupted) {
        lib.el_reset(gEditor);
        fputs("^C\n", stdout);
        fflush(stdout);
        return EditRead::Interrupted;
    }
    if (gBadUtf8) return EditRead::BadUtf8;
    if (gUndecodable) return EditRead::Undecodable;
    if (got == nullptr || count <= 0) return EditRead::End;
    line.assign(got, static_cast<size_t>(count));
    remember(line);
    if (changes_connection(line)) isql_completion_follow(state, true);
    return EditRead::Line;
}
