// The stack of input sources: pushing a command file, and popping a source
// with the hand-back of output streams and of the connection to its parent.
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

#include "isql.h"
#include "isqlodbc.h"
#include "isqltm.h"

namespace {
// Most command files open on top of the first source at once. Each holds a
// file descriptor and a read-ahead buffer; a file that includes itself would
// otherwise go on until the descriptors run out. Real scripts nest a few
// levels; 64 leaves descriptors for result files, large-column files and the
// drivers' sockets under the usual limit of 1024.
constexpr size_t kMaxCmdFileDepth = 64;

bool is_std_stream(FILE* f) { return f == stdin || f == stdout || f == stderr; }

// Connects the parent again with the parameters it stored when it connected.
void reconnect_parent(ClientState* parent) {
    parent->connected = 0;
    const std::string dsn = parent->dsn;
    const std::wstring connstr = parent->connectString;
    const std::wstring user = parent->userName;
    const std::wstring password = parent->password;
    isql_connect(parent, dsn.c_str(), connstr.c_str(), 1, user.c_str(), password.c_str());
}
}  // namespace

// Builds the list with its first state on standard input.
int isql_init() {
    gClientStateList.states.clear();
    auto first = std::make_unique<ClientState>();
    first->inFile = stdin;
    first->resFile = gClientStateList.idleResFile;
    first->errFile = gClientStateList.idleErrFile;
    gClientStateList.states.push_back(std::move(first));
    gMultiConnectHDBC.clear();
    gUnicodeEnc = 1;
    return 1;
}

// Stores the large-column folder with its closing "/", as -o and RESDIR give
// it. False (folder unchanged) when it would not fit the folder field.
bool isql_set_largecol_folder(ClientState* first, const char* path) {
    std::string folder = path;
    if (folder.empty() || folder.back() != '/') folder += '/';
    if (folder.size() > kLargeColFolderBytes) {
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: Large column folder path is longer than %zu bytes\n",
                   kLargeColFolderBytes);
        return false;
    }
    first->largeColFolder = folder;
    return true;
}

// Opens path for reading as a command file; null when it cannot be opened or
// is a folder (which would open, and then read as if it were empty).
FILE* isql_open_command_file(const char* path, const char* mode) {
    FILE* f = fopen(path, mode);
    if (f == nullptr) return nullptr;
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(f);
        return nullptr;
    }
    return f;
}

// Pushes the command file at path as the current source; it starts on the
// connection and output streams of its parent. 0 when it cannot be opened or
// kMaxCmdFileDepth command files are open already.
int isql_new_curstate(const char* path, int textMode) {
    if (gClientStateList.states.size() > kMaxCmdFileDepth) {
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: Command files nested more than %zu deep are not supported; %s was not opened\n",
                   kMaxCmdFileDepth, path);
        return 0;
    }
    FILE* f = isql_open_command_file(path, textMode ? "rt" : "rb");
    if (f == nullptr) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not open the command file %s\n", path);
        return 0;
    }
    const ClientState* cur = gClientStateList.last();
    auto state = std::make_unique<ClientState>();
    state->inFile = f;
    state->inName = path;
    state->resFile = cur->resFile;
    state->errFile = cur->errFile;
    state->dsn = cur->dsn;
    state->connectString = cur->connectString;
    state->userName = cur->userName;
    state->password = cur->password;
    state->connected = cur->connected;
    gClientStateList.states.push_back(std::move(state));
    return 1;
}

// Pops the current source. Streams opened while it was current are closed and
// the parent's are in force again (they are read from the current source);
// the parent's connection is restored when this source disconnected or
// connected elsewhere. The source leaves the list first, so that what the
// hand-back writes goes to the parent's streams.
int isql_close_curstate(ClientState* /*state: always the current one*/) {
    auto& states = gClientStateList.states;
    std::unique_ptr<ClientState> done = std::move(states.back());
    states.pop_back();
    ClientState* state = done.get();
    if (states.empty()) {
        gClientStateList.idleResFile = state->resFile;
        gClientStateList.idleErrFile = state->errFile;
        if (state->connected == 1) isql_disconnect(state, 1);
    } else {
        ClientState* parent = states.back().get();
        if (parent->resFile != state->resFile && !is_std_stream(state->resFile))
            isql_close_stream(state->resFile);
        if (parent->errFile != state->errFile) {
            gClientStateList.testModeErrFile = nullptr;
            if (!is_std_stream(state->errFile)) isql_close_stream(state->errFile);
        }
        if (parent->connected == 1) {
            if (state->connected == 0) {
                reconnect_parent(parent);
            } else if (strcasecmp(parent->dsn.c_str(), state->dsn.c_str()) != 0) {
                isql_disconnect(state, 1);
                reconnect_parent(parent);
            }
        } else if (state->connected == 1) {
            // The parent had no connection: do not leave the shared handle
            // connected with no source owning it.
            isql_disconnect(state, 1);
        }
    }
    if (!is_std_stream(state->inFile)) fclose(state->inFile);
    return 1;
}

// Pops every source, innermost first.
int isql_exit() {
    while (!gClientStateList.states.empty()) isql_close_curstate(gClientStateList.last());
    return 1;
}

int isql_term() {
    gClientStateList.release();
    return 1;
}
