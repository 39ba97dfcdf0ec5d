// CONNECT, CUSTOMCONNECT and DISCONNECT on the shared connection handle, and
// the two wide connect calls that MULTICONNECT uses as well.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "isql.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "platform.h"
#include "zvunicode.h"

namespace {
// Characters of the completed connect string the driver may hand back.
constexpr SQLSMALLINT kConnOutChars = 16385;

// Length of a possibly null wide text.
size_t wideLength(const wchar_t* s) { return s == nullptr ? 0 : wcslen(s); }

// The driver manager reads user names and passwords for a driver without
// wide functions as blocks of this many 16-bit units, whatever their length,
// so every text handed to it is padded with zeros to at least this size.
constexpr size_t kDmReadUnits = SQL_MAX_DSN_LENGTH + 1;

// Text for a driver manager call: the UTF-16 copy, or with the encoding off
// a copy of the 4-byte text itself (the driver manager then reads it as
// UTF-16 all the same; -u 0 exists to show exactly that).
struct DriverText {
    std::vector<zvutf16> utf16;
    std::vector<wchar_t> wide;

    explicit DriverText(const wchar_t* text) {
        if (gUnicodeEnc != 0) {
            utf16 = isql_odbc_utf16(text);
        } else {
            const size_t chars = wcslen(text) + 1;
            wide.assign(std::max(chars, kDmReadUnits), L'\0');
            std::copy(text, text + chars, wide.begin());
        }
    }
    SQLWCHAR* get() {
        return gUnicodeEnc != 0 ? reinterpret_cast<SQLWCHAR*>(utf16.data())
                                : reinterpret_cast<SQLWCHAR*>(wide.data());
    }
};
}  // namespace

std::vector<zvutf16> isql_odbc_utf16(const wchar_t* text) {
    std::vector<zvutf16> copy;
    const int units = wcstoutf16(text, SQL_NTS, nullptr, 0);
    if (units > 0) {
        copy.assign(std::max(static_cast<size_t>(units), kDmReadUnits), 0);
        if (wcstoutf16(text, SQL_NTS, copy.data(), units) == units) return copy;
    }
    copy.assign(kDmReadUnits, 0);
    return copy;
}

bool isql_check_identity(const char* dsn, const wchar_t* connstr, const wchar_t* user,
                         const wchar_t* password, std::wstring& wideDsn) {
    wideDsn.clear();
    if (dsn != nullptr) {
        const size_t chars = zvmbstowcs(nullptr, dsn, 0);
        if (chars != static_cast<size_t>(-1) && chars > kDsnChars) {
            isql_trace(gfpErrFile, TRACE_ERROR,
                       "SQL: Data source name is longer than %zu characters\n", kDsnChars);
            return false;
        }
        if (strlen(dsn) > kDsnBytes) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Data source name is longer than %zu bytes\n",
                       kDsnBytes);
            return false;
        }
        if (chars != static_cast<size_t>(-1)) {
            std::vector<wchar_t> buf(chars + 1, L'\0');
            if (zvmbstowcs(buf.data(), dsn, chars + 1) != static_cast<size_t>(-1))
                wideDsn.assign(buf.data());
        }
    }
    if (wideLength(user) > kUserChars) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: User name is longer than %zu characters\n",
                   kUserChars);
        return false;
    }
    if (wideLength(password) > kUserChars) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Password is longer than %zu characters\n",
                   kUserChars);
        return false;
    }
    if (wideLength(connstr) > kConnStrChars) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Connect string is longer than %zu characters\n",
                   kConnStrChars);
        return false;
    }
    return true;
}

// SQLConnectW on hdbc. An empty (or null) user name or password goes out as a
// null pointer with length 0; the data source name always goes out, with
// SQL_NTS. Returns the ODBC return code.
int isql_call_sqlconnectw(SQLHDBC hdbc, const wchar_t* dsn, const wchar_t* user,
                          const wchar_t* password) {
    static const wchar_t kEmpty[] = L"";
    if (dsn == nullptr) dsn = kEmpty;
    const bool hasUser = wideLength(user) > 0;
    const bool hasPassword = wideLength(password) > 0;

    DriverText dsnText(dsn);
    DriverText userText(hasUser ? user : kEmpty);
    DriverText passwordText(hasPassword ? password : kEmpty);
    SQLWCHAR* userArg = hasUser ? userText.get() : nullptr;
    SQLWCHAR* passwordArg = hasPassword ? passwordText.get() : nullptr;

    isql_flush_all();  // connecting may take long: show what came before
    const SQLRETURN rc = SQLConnectW(hdbc, dsnText.get(), SQL_NTS, userArg, hasUser ? SQL_NTS : 0,
                                     passwordArg, hasPassword ? SQL_NTS : 0);
    return rc;
}

// SQLDriverConnectW on hdbc without prompting. The completed connect string
// the driver returns is not used. Returns the ODBC return code.
int isql_call_sqldriverconnectw(SQLHDBC hdbc, const wchar_t* connstr) {
    static const wchar_t kEmpty[] = L"";
    if (connstr == nullptr) connstr = kEmpty;
    std::vector<SQLWCHAR> completed(kConnOutChars, 0);
    SQLSMALLINT completedLength = 0;

    DriverText connText(connstr);
    // With the encoding off the length is counted in 4-byte characters.
    const SQLSMALLINT connLength =
        gUnicodeEnc == 0 ? static_cast<SQLSMALLINT>(wcslen(connstr)) : SQLSMALLINT{SQL_NTS};

    isql_flush_all();
    const SQLRETURN rc = SQLDriverConnectW(hdbc, nullptr, connText.get(), connLength, completed.data(),
                                           kConnOutChars, &completedLength, SQL_DRIVER_NOPROMPT);
    return rc;
}

bool isql_connection_lost() { return gClientStateList.hdbcLost; }

namespace {
// Releases a lost connection without a word: the driver manager would refuse
// to connect a handle it still counts as connected (08002). A handle that
// will not disconnect is replaced by a fresh one.
void release_lost_connection() {
    ClientStateList& list = gClientStateList;
    if (!list.hdbcLost) return;
    list.hdbcLost = false;
    if (SQL_SUCCEEDED(SQLDisconnect(list.hdbc))) return;
    SQLHDBC fresh = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, list.henv, &fresh))) return;
    SQLFreeHandle(SQL_HANDLE_DBC, list.hdbc);
    list.hdbc = fresh;
}
// A connect string with UID and PWD added for a user name given apart from it
// (--user beside --connect). A value with ";", "{" or "}" goes in braces
// (not every driver takes braces around a plain value).
std::wstring with_credentials(const std::wstring& connStr, const std::wstring& user,
                              const std::wstring& password) {
    if (user.empty()) return connStr;
    auto braced = [](const std::wstring& value) {
        if (value.find_first_of(L";{}") == std::wstring::npos) return value;
        std::wstring out = L"{";
        for (wchar_t c : value) {
            out += c;
            if (c == L'}') out += L'}';
        }
        return out + L"}";
    };
    std::wstring out = connStr;
    if (!out.empty() && out.back() != L';') out += L';';
    out += L"UID=" + braced(user);
    if (!password.empty()) out += L";PWD=" + braced(password);
    return out;
}

// -u 0 hands 4-byte wide characters to a driver manager whose SQLWCHAR has
// 2 bytes: every text is garbled. Lenient mode says so, once.
void warn_wide_form_once() {
    static bool warned = false;
    if (warned || gUnicodeEnc != 0 || sizeof(SQLWCHAR) == sizeof(wchar_t)) return;
    warned = true;
    isql_trace(gfpErrFile, TRACE_NOTICE,
               "SQL: -u 0 passes %zu-byte wide characters, but the driver manager reads %zu-byte "
               "ones: text to and from the driver is garbled; -u 1 matches it\n",
               sizeof(wchar_t), sizeof(SQLWCHAR));
}
}  // namespace

// Connects the shared handle on behalf of state, by data source name or, when
// connstr is not empty, by connect string. Whatever the state held before is
// disconnected first. The identity is stored in the state before the attempt,
// so that a command file's parent can be reconnected with it later.
// Returns 1 connected, 0 not (reasons and diagnostics written).
int isql_connect(ClientState* state, const char* dsn, const wchar_t* connstr, int announce,
                 const wchar_t* user, const wchar_t* password) {
    std::wstring wideDsn;
    if (!isql_check_identity(dsn, connstr, user, password, wideDsn)) return 0;

    // Own copies: callers may pass the state's own fields, which the
    // disconnect below empties.
    const bool hasDsn = dsn != nullptr;
    const std::string dsnCopy = hasDsn ? dsn : "";
    const std::wstring connCopy = connstr != nullptr ? connstr : L"";
    const std::wstring userCopy = user != nullptr ? user : L"";
    const std::wstring passwordCopy = password != nullptr ? password : L"";

    if (state->connected) isql_disconnect(state, announce);
    release_lost_connection();

    if (hasDsn) state->dsn = dsnCopy;
    state->connectString = connCopy;
    state->userName = userCopy;
    state->password = passwordCopy;

    if (announce) {
        if (hasDsn) {
            isql_trace(gfpResFile, TRACE_NOTICE, "SQL: connecting to database: %s...\n",
                       dsnCopy.c_str());
        } else {
            isql_trace(gfpResFile, TRACE_NOTICE, "SQL: connecting with connect_string:\n");
            isql_tracew(gfpResFile, TRACE_NOTICE, "%s", state->connectString.c_str());
            isql_trace(gfpResFile, TRACE_NOTICE, "\n");
        }
    }

    SQLHDBC hdbc = gClientStateList.hdbc;
    if (gSettings.lenient) warn_wide_form_once();
    int rc;
    if (!state->connectString.empty())
        rc = isql_call_sqldriverconnectw(
            hdbc, with_credentials(state->connectString, state->userName, state->password).c_str());
    else
        rc = isql_call_sqlconnectw(hdbc, wideDsn.c_str(), state->userName.c_str(),
                                   state->password.c_str());

    if (!SQL_SUCCEEDED(rc)) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Can't connect to database %s\n",
                   state->dsn.c_str());
        print_err("SQLConnect", hdbc, SQL_NULL_HSTMT);
        return 0;
    }
    if (rc == SQL_SUCCESS_WITH_INFO) print_err("SQLConnect", hdbc, SQL_NULL_HSTMT);
    state->connected = 1;
    if (gSettings.lenient) isql_learn_driver_quirks(hdbc);
    return 1;
}

// Disconnects the shared handle if state holds it and forgets the data source
// name and connect string (user name and password stay). Always returns 1.
int isql_disconnect(ClientState* state, int announce) {
    if (announce)
        isql_trace(gfpResFile, TRACE_NOTICE, "SQL: disconnecting from database: %s...\n",
                   state->dsn.c_str());
    release_lost_connection();
    if (!state->connected) return 1;

    // A refused disconnect is not reported: the state is marked free anyway,
    // and the next CONNECT reports what the driver manager then says.
    const SQLRETURN rc = SQLDisconnect(gClientStateList.hdbc);
    static_cast<void>(rc);

    state->connected = 0;
    isql_forget_driver_quirks();
    state->dsn.clear();
    state->connectString.clear();
    return 1;
}
