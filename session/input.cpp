// Reading command lines from the input sources, in either input encoding, and
// gathering SQL statements that span several lines.
//
// Lines are read as bytes straight from the file descriptor and decoded here,
// never through the C library's wide input: the encoding (gCmdFile) is
// process-wide and may change while a source is half read, and a stream's
// orientation could not follow it.
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <langinfo.h>
#include <memory>
#include <new>
#include <unistd.h>

#include "isql.h"
#include "isqlexec.h"
#include "isqllaunch.h"
#include "isqlterm.h"
#include "isqltm.h"
#include "zvunicode.h"

namespace {
constexpr size_t kReadChunk = 65536;
// Bytes of the previous chunk kept in front of the next one: a UTF-8 piece
// may put back its unfinished last character (at most 6 bytes) even when
// that character began in the previous chunk.
constexpr size_t kKeptBytes = 8;

// Makes at least one unread byte available; false at end of input, or when
// Ctrl-C was pressed at the terminal (reader.interrupted is then set). The
// last bytes already read stay in front of the new ones, so unread_bytes can
// always step back over them.
bool fill(ClientState* state) {
    LineReader& r = state->reader;
    if (r.pos < r.end) return true;
    if (r.eof) return false;
    if (!r.buf) r.buf = std::make_unique_for_overwrite<char[]>(kKeptBytes + kReadChunk);
    const size_t kept = std::min(r.end, kKeptBytes);
    memmove(r.buf.get(), r.buf.get() + r.end - kept, kept);
    r.pos = kept;
    r.end = kept;
    for (;;) {
        if (isql_terminal_source(state)) {
            const InputWait w = isql_terminal_wait(fileno(state->inFile));
            if (w == InputWait::Signal) continue;
            if (w == InputWait::Interrupted) {
                r.interrupted = true;
                return false;
            }
        }
        ssize_t n = read(fileno(state->inFile), r.buf.get() + kept, kReadChunk);
        if (n > 0) {
            r.end = kept + static_cast<size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        r.eof = true;
        return false;
    }
}

// Reads bytes up to and including a line feed, at most maxBytes of them.
// False when the source had no byte left.
bool read_bytes_line(ClientState* state, std::string& out, size_t maxBytes) {
    out.clear();
    LineReader& r = state->reader;
    while (out.size() < maxBytes && fill(state)) {
        size_t avail = r.end - r.pos;
        size_t want = std::min(avail, maxBytes - out.size());
        const char* start = r.buf.get() + r.pos;
        const void* nl = memchr(start, '\n', want);
        size_t take = nl ? static_cast<size_t>(static_cast<const char*>(nl) - start) + 1 : want;
        out.append(start, take);
        r.pos += take;
        if (nl) {
            ++r.lines;
            return true;
        }
    }
    return !out.empty();
}

// Marks the source as finished: nothing more is read from it.
void end_source(ClientState* state) {
    state->reader.eof = true;
    state->reader.pos = state->reader.end = 0;
}

// Ends the source at a line that cannot be decoded, saying where, so that a
// script cut short there does not look like one that ran to its end.
void end_undecodable(ClientState* state, long long lineNo, const char* encoding) {
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Stopped reading %s at line %lld: it is not valid %s\n",
               state->inName.c_str(), lineNo, encoding);
    end_source(state);
    state->reader.undecodable = true;
}

const char* locale_encoding() { return nl_langinfo(CODESET); }

// Puts the last bytes of out back into the reader (they were just taken from
// it; count is at most kKeptBytes).
void unread_bytes(ClientState* state, std::string& out, size_t count) {
    state->reader.pos -= count;
    out.resize(out.size() - count);
}

// Bytes at the end of a piece that start an unfinished UTF-8 sequence, so a
// piece cut at its size limit never splits a character.
size_t unfinished_utf8_tail(const std::string& s) {
    size_t n = s.size();
    for (size_t back = 1; back <= 6 && back <= n; ++back) {
        unsigned char c = static_cast<unsigned char>(s[n - back]);
        if (c < 0x80) return 0;
        if (c >= 0xC0) {
            size_t need = 1 + utf8_length_array[c - 0x80];
            return need > back ? back : 0;
        }
    }
    return 0;
}

void hex_dump_wide(const std::wstring& line, const char* title) {
    isql_HexDumpQuery(line.data(), static_cast<long>(line.size() * sizeof(wchar_t)), title);
}

enum class LocaleRead { Line, End, Undecodable };

// One line decoded by the locale: at most capacity - 1 characters, through the
// line feed. A byte sequence the locale cannot decode, also one left
// unfinished at the end of input, ends the source there.
LocaleRead read_locale_line(ClientState* state, std::wstring& line, size_t capacity) {
    line.clear();
    LineReader& r = state->reader;
    mbstate_t st{};
    // In these codesets a byte below 0x80 is the character of that code, and
    // mbrtowc costs far more than the rest of reading a line.
    const char* codeset = locale_encoding();
    const bool asciiAsIs = strcmp(codeset, "UTF-8") == 0 || strcmp(codeset, "ANSI_X3.4-1968") == 0;
    while (line.size() + 1 < capacity) {
        if (!fill(state)) {
            if (!mbsinit(&st)) return LocaleRead::Undecodable;
            return line.empty() ? LocaleRead::End : LocaleRead::Line;
        }
        wchar_t wc;
        const unsigned char byte = static_cast<unsigned char>(r.buf[r.pos]);
        size_t k = asciiAsIs && byte < 0x80 && mbsinit(&st) ? (wc = byte, 1)
                                                            : mbrtowc(&wc, r.buf.get() + r.pos, 1, &st);
        ++r.pos;
        if (k == static_cast<size_t>(-1)) return LocaleRead::Undecodable;
        if (k == static_cast<size_t>(-2)) continue;
        line.push_back(wc);
        if (wc == L'\n') {
            ++r.lines;
            break;
        }
    }
    return LocaleRead::Line;
}

// Drops what was read of a line that Ctrl-C interrupted; the terminal shows
// "^C" already, the next prompt goes on a line of its own.
int drop_interrupted_line(ClientState* state, std::wstring& line) {
    line.clear();
    state->reader.pos = state->reader.end;
    isql_print_always(stdout, "\n");
    return kInputInterrupted;
}

// A line through the line editor, handled afterwards as the plain reader
// handles the same text: a UTF-8 failure reported, a byte-order mark at the
// start dropped in UTF-8 mode, the hexadecimal dumps of -f.
int read_edited_line(ClientState* state, std::wstring& line, const char* prompt) {
    isql_flush_all();
    if (state->reader.eof) return 0;
    const long long lineNo = ++state->reader.lines;
    switch (isql_lineedit_read(state, prompt, line)) {
    case EditRead::Line:
        break;
    case EditRead::Interrupted:
        line.clear();
        state->reader.interrupted = true;
        return kInputInterrupted;
    case EditRead::BadUtf8:
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: utf8towcs conversion of command failed \n");
        end_undecodable(state, lineNo, "UTF-8");
        return 0;
    case EditRead::Undecodable:
        end_undecodable(state, lineNo, locale_encoding());
        return 0;
    case EditRead::End:
        end_source(state);
        return 0;
    }
    if (gCmdFile == 0) {
        if (gHexDisplay) hex_dump_wide(line, "Input ReadAs Unicode");
        return 1;
    }
    if (!line.empty() && line[0] == L'\xFEFF') line.erase(0, 1);
    if (gHexDisplay) {
        std::string bytes(line.size() * 4 + 1, '\0');
        int n = wcstoutf8(line.c_str(), static_cast<long>(line.size()),
                          reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
        isql_HexDumpQuery(bytes.data(), n > 0 ? n : 0, "Input ReadAs UTF8");
        hex_dump_wide(line, "Converted to Unicode");
    }
    return 1;
}
}  // namespace

bool isql_input_interrupted(const ClientState* state) { return state->reader.interrupted; }

// Reads one line of the state's source into line, prompting on standard
// input. Returns 0 at end of input or when a UTF-8 line does not convert
// (reported); the source is then finished for good. At the terminal, Ctrl-C
// makes it return kInputInterrupted instead.
int isql_get_newcmd(ClientState* state, std::wstring& line, const char* prompt) {
    state->reader.interrupted = false;
    if (isql_terminal_source(state)) {
        isql_terminal_drain();
        if (isql_lineedit_on()) return read_edited_line(state, line, prompt);
    }
    if (isql_prompting(state)) isql_print_always(stdout, "%s> ", prompt);
    isql_flush_all();
    if (state->reader.eof && state->reader.pos >= state->reader.end) return 0;

    const long long lineNo = state->reader.lines + 1;
    if (gCmdFile == 0) {
        const LocaleRead read = read_locale_line(state, line, kCmdCapacity);
        if (state->reader.interrupted) return drop_interrupted_line(state, line);
        if (read == LocaleRead::Undecodable) {
            end_undecodable(state, lineNo, locale_encoding());
            return 0;
        }
        if (read == LocaleRead::End) {
            end_source(state);
            return 0;
        }
        if (gHexDisplay) hex_dump_wide(line, "Input ReadAs Unicode");
        return 1;
    }

    std::string bytes;
    const bool read = read_bytes_line(state, bytes, kUtf8PieceBytes);
    if (state->reader.interrupted) return drop_interrupted_line(state, line);
    if (!read) return 0;
    // Lenient: a line longer than a piece is read whole, as the pieces would
    // be joined with a blank that changes the statement.
    for (bool cut = bytes.back() != '\n' && bytes.size() == kUtf8PieceBytes; gSettings.lenient && cut;) {
        std::string more;
        if (!read_bytes_line(state, more, kUtf8PieceBytes)) break;
        if (state->reader.interrupted) return drop_interrupted_line(state, line);
        cut = more.back() != '\n' && more.size() == kUtf8PieceBytes;
        try {
            bytes += more;
        } catch (const std::bad_alloc&) {
            // No memory for it whole: the line is read to its end and dropped.
            while (cut && read_bytes_line(state, more, kUtf8PieceBytes)) cut = more.back() != '\n';
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Line %lld of %s is too long for the memory available; it was dropped\n",
                       lineNo, state->inName.c_str());
            bytes.assign(1, '\n');
            cut = false;
        }
    }
    if (bytes.back() != '\n' && bytes.size() == kUtf8PieceBytes) {
        size_t tail = unfinished_utf8_tail(bytes);
        if (tail < bytes.size()) unread_bytes(state, bytes, tail);
    }
    size_t skip = (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) ? 3 : 0;
    const char* text = bytes.c_str() + skip;
    if (gHexDisplay) isql_HexDumpQuery(text, static_cast<long>(strlen(text)), "Input ReadAs UTF8");

    // One wide character at most per byte, and the terminator.
    const size_t room = strlen(text) + 1;
    std::wstring wide(room, L'\0');
    // Exact values take the characters above U+FFFF too.
    unsigned int n = (isql_exact_values() ? utf8towcs_full : utf8towcs)(
        reinterpret_cast<const unsigned char*>(text), -1, wide.data(), static_cast<unsigned int>(room));
    if (n == 0) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: utf8towcs conversion of command failed \n");
        end_undecodable(state, lineNo, "UTF-8");
        return 0;
    }
    wide.resize(wcslen(wide.c_str()));
    line = std::move(wide);
    if (gHexDisplay) hex_dump_wide(line, "Converted to Unicode");
    return 1;
}

namespace {
void echo_line(ClientState* state, const std::wstring& line) {
    if (state->echo == 0) return;
    isql_tracew(gfpResFile, TRACE_DATA, "%s", line.c_str());
    isql_trace(gfpResFile, TRACE_DATA, "\n");
}
}  // namespace

// The next command of the state: replayed from its repeat block while one is
// armed, otherwise a fresh line (echoed with -e). 0 at end of input.
int isql_get_nextcmd(ClientState* state, std::wstring& line) {
    isql_terminal_follow(state);
    while (state->repeatCount != 0) {
        if (state->repeatCursor < state->repeatList.size()) {
            line = state->repeatList[state->repeatCursor++];
            return 1;
        }
        --state->repeatCount;
        isql_trace(gfpResFile, TRACE_NOTICE, "Repeat Counter = %d\n", state->repeatCount);
        state->repeatCursor = 0;
        if (state->repeatCount == 0) isql_close_repeatlist(state);
    }
    // Ctrl-C at the command prompt only gives a fresh prompt.
    int got;
    while ((got = isql_get_newcmd(state, line, "ISQL")) == kInputInterrupted) {
    }
    if (got == 0) return 0;
    echo_line(state, line);
    return 1;
}

namespace {
// Under --lenient, where a "--" comment after the closing ";" of line
// starts (outside quotes), as psql and sqlite3 read it; npos when there is
// none or the mode is strict.
size_t trailing_comment(const std::wstring& line) {
    if (!gSettings.lenient) return std::wstring::npos;
    wchar_t quote = 0;
    for (size_t i = 1; i + 1 < line.size(); ++i) {
        const wchar_t c = line[i];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == L'\'' || c == L'"') {
            quote = c;
        } else if (c == L'-' && line[i + 1] == L'-') {
            const size_t end = line.find_last_not_of(L" \t", i - 1);
            return end != std::wstring::npos && line[end] == L';' ? i : std::wstring::npos;
        }
    }
    return std::wstring::npos;
}

// True when line's last character other than blanks and line ends is ";",
// or (lenient) a comment follows that ";".
bool ends_statement(const std::wstring& line) {
    size_t end = line.find_last_not_of(L" \n\r");
    return (end != std::wstring::npos && line[end] == L';') || trailing_comment(line) != std::wstring::npos;
}
}  // namespace

// Gathers the statement that starts at firstLine (leading blanks dropped) up
// to the line whose last character other than blanks and line ends is ";",
// joining lines with one blank. The ";" and what follows it are dropped.
// A statement too large for memory is read on to its ";" and dropped, so that
// its remaining lines do not run as commands of their own.
Gathered isql_get_stmt(ClientState* state, const wchar_t* firstLine, std::wstring& text) {
    while (*firstLine == L' ') ++firstLine;
    bool outOfMemory = false;
    try {
        text.assign(firstLine);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    std::wstring more = firstLine;
    for (;;) {
        if (ends_statement(more)) break;
        if (isql_get_newcmd(state, more, "Cont") != 1) return Gathered::InputEnded;
        echo_line(state, more);
        if (outOfMemory) continue;
        try {
            text += L' ';
            text += more;
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
            std::wstring().swap(text);
        }
    }
    if (outOfMemory) return Gathered::OutOfMemory;
    if (const size_t comment = trailing_comment(more); comment != std::wstring::npos)
        text.resize(text.size() - (more.size() - comment));
    text.resize(text.find_last_not_of(L" \t\n\r"));
    return Gathered::Complete;
}
