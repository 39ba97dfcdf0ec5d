// Shared declarations of the session: client states, process-wide settings,
// the command record and the session functions every module may call.
//
// Success convention: new code returns bool (true = success) or a small enum
// (Outcome, Gathered, Accept). The isql_ functions keep their historical
// results where callers depend on them: 1 success / 0 failure for session,
// connection and transaction functions, 0 success / nonzero failure for the
// statement-level ones (isql_exec, isql_describe_*, isql_show_tables).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sql.h>
#include <sqlext.h>

#include "isqlclock.h"
#include "isqlcmd.h"
#include "isqlformat.h"
#include "isqlhandle.h"
#include "platform.h"

// ---- limits --------------------------------------------------------------
constexpr int kCmdCapacity = 0x20000;       // wide characters of one command line
constexpr size_t kDsnBytes = 131;           // data source name, terminator excluded
constexpr size_t kDsnChars = 128;           // data source name in wide characters
constexpr size_t kConnStrChars = 16384;     // connect string
constexpr size_t kUserChars = 512;          // user name and password
constexpr size_t kLargeColFolderBytes = 255;  // large-column folder, terminator excluded
constexpr size_t kUtf8PieceBytes = 32767;   // bytes of one UTF-8 input piece

// ---- output classes (giTraceMask bits) ------------------------------------
constexpr int TRACE_TIMER = 1;
constexpr int TRACE_ERROR = 2;
constexpr int TRACE_DATA = 4;
constexpr int TRACE_NOTICE = 8;

// Byte reader of one input source. Lines are read as bytes and decoded by the
// program, so the decoding mode may change while a stream is half read.
struct LineReader {
    std::unique_ptr<char[]> buf;  // bytes read ahead from the stream
    size_t pos = 0;          // next unread byte in buf
    size_t end = 0;          // end of the bytes read into buf
    bool eof = false;        // the stream has no more bytes
    bool interrupted = false;  // Ctrl-C at the terminal dropped the last line asked for
    bool undecodable = false;  // the source ended at a line that could not be decoded
    long long lines = 0;       // line ends read so far, for messages that name a line
};

// One open input source.
struct ClientState {
    FILE* inFile = nullptr;
    std::string inName = "standard input";  // the command file's name, for messages
    FILE* resFile = nullptr;     // results stream in force for this source
    FILE* errFile = nullptr;     // error stream in force for this source
    std::string dsn;             // at most kDsnBytes bytes
    std::wstring connectString;  // at most kConnStrChars characters
    std::wstring userName;       // at most kUserChars characters
    std::wstring password;       // at most kUserChars characters
    int connected = 0;           // 1 while hdbc is connected on behalf of this source
    int repeatCount = 0;         // passes still to run; 0 = no block
    std::vector<std::wstring> repeatList;  // commands of the block, in input order
    size_t repeatCursor = 0;     // next command to replay; == size() when a pass is complete
    int echo = 0;
    int largeColOutput = 0;      // used in the first state only
    std::string largeColFolder = "./";  // ends in "/"; first state only
    LineReader reader;
};

// The stack of input sources and the two ODBC handles shared by all of them
// (henv, hdbc: owned through OdbcHandles).
struct ClientStateList : OdbcHandles {
    std::vector<std::unique_ptr<ClientState>> states;  // front = first, back = current
    // Streams in force while no source is open: before the first one, and
    // after the last one ended (then its own, so the closing lines follow a
    // RESFILE of the first source).
    FILE* idleResFile = stdout;
    FILE* idleErrFile = stderr;
    // -t: errors go to standard output, until ERRFILE chooses an error stream
    // or a command file that chose one ends. The sources keep standard error.
    FILE* testModeErrFile = nullptr;
    // The last diagnostics of hdbc said SQLSTATE 08003: the connection is gone
    // while the driver manager still holds it; released before the next connect.
    bool hdbcLost = false;

    ClientState* first() const { return states.empty() ? nullptr : states.front().get(); }
    ClientState* last() const { return states.empty() ? nullptr : states.back().get(); }
};

// ---- process-wide settings -------------------------------------------------
// Set by the options before the session starts; MAXROWS, QUERYTIMEOUT,
// CMDFILE and NCMDFILE change some of them while it runs.
struct Settings {
    long long maxRows = 100;     // row limit per result set; 0: none
    int queryTimeout = -1;       // seconds; -1: the driver's default
    int benchmarkMode = 0;       // -b: fetch without printing
    int benchmarkBlock = 0;      // -b: rows per timing line
    int testMode = 0;            // -t
    int hexDisplay = 0;          // -f
    unsigned int unicodeEnc = 1; // wide text to the driver manager: 1 UTF-16, 0 as wchar_t
    int cmdFile = 0;             // input decoding: 0 by the locale, 1 UTF-8
    // --lenient (key Lenient): warnings pass as notices, the client keeps
    // MAXROWS itself, text longer than its declared size is read whole.
    bool lenient = false;
    // --format (key Format, \format in a session): how result sets are laid out.
    OutputFormat format = OutputFormat::Tsv;
};
extern Settings gSettings;

// Values as the database holds them where the specified rules would print
// or send them otherwise (characters above U+FFFF, unsigned integers, the
// shortest text of a double, text longer than its column): every format but
// tsv, and --lenient.
inline bool isql_exact_values() { return gSettings.format != OutputFormat::Tsv || gSettings.lenient; }
// The settings by their historical names, as the messages and manual know them.
inline long long& gMaxRows = gSettings.maxRows;
inline int& gQueryTimeout = gSettings.queryTimeout;
inline int& gBenchmarkMode = gSettings.benchmarkMode;
inline int& gBenchmarkBlock = gSettings.benchmarkBlock;
inline int& gTestMode = gSettings.testMode;
inline int& gHexDisplay = gSettings.hexDisplay;
inline unsigned int& gUnicodeEnc = gSettings.unicodeEnc;
inline int& gCmdFile = gSettings.cmdFile;

extern ClientStateList gClientStateList;
// The results and the error stream in force: those of the current source.
// They are read from the source, never kept apart, so ending a command file
// hands its parent's streams back by itself.
struct CurrentStream {
    bool results;
    operator FILE*() const;
};
extern const CurrentStream gfpResFile;
extern const CurrentStream gfpErrFile;

// ---- session driver (session/) ---------------------------------------------
int isql_init();
int isql_term();
int isql_exit();
int isql_parse_arg(ClientState* firstState, int argc, char** argv);
// The load-run options and operands isql_parse_arg took (isqlload.h).
struct LoadArguments;
const LoadArguments& isql_load_arguments();
void print_usage();
int print_disclaimer();

// Stores the large-column folder of -o and RESDIR with its closing "/".
bool isql_set_largecol_folder(ClientState* first, const char* path);

// fopen for a command file, refusing folders; null when refused.
FILE* isql_open_command_file(const char* path, const char* mode);
int isql_new_curstate(const char* path, int textMode);
int isql_close_curstate(ClientState* state);
int isql_get_nextcmd(ClientState* state, std::wstring& line);
// 1 with a line, 0 at the end of input, kInputInterrupted when Ctrl-C at the
// terminal dropped the line being typed.
int isql_get_newcmd(ClientState* state, std::wstring& line, const char* prompt);
constexpr int kInputInterrupted = 2;
// True when the last line asked of state was dropped by Ctrl-C at the
// terminal, so the command being gathered is abandoned without a message.
bool isql_input_interrupted(const ClientState* state);
// How gathering a statement ended.
enum class Gathered {
    Complete,     // up to its closing ";"
    InputEnded,   // input ended, or Ctrl-C dropped a line, before the ";"
    OutOfMemory,  // too large to hold; its lines were read and dropped up to the ";"
};
// Gathers a statement beginning at firstLine up to its closing ";".
Gathered isql_get_stmt(ClientState* state, const wchar_t* firstLine, std::wstring& text);

// What became of one command line, as the session counts it.
enum class Outcome {
    Done,          // ran; the elapsed-time lines were written
    Failed,        // failed (reported); the elapsed-time lines were written
    FailedSilent,  // failed (reported) and ended without the elapsed-time lines
    Dropped,       // Ctrl-C at the terminal dropped it while it was typed
    Empty,         // an empty line or a comment: nothing ran
};
int isql_repeat(ClientState* state, long long count);
int isql_get_repeatlist(ClientState* state);
int isql_close_repeatlist(ClientState* state);
