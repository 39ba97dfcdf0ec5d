// What the driver claims: SQLGetInfo, SQLGetFunctions, SQLGetTypeInfo and the
// attribute defaults, each answer recorded as it came, errors with their SQLSTATE.
#include "collect.h"

#include <sqlucode.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "info_table.h"

namespace {
constexpr size_t kInfoBytes = 8192;  // the longest answers are keyword lists
constexpr SQLSMALLINT kColumnNameChars = 256;
constexpr SQLINTEGER kAttrTextBytes = 1024;

// What an error answer says: "not supported" for HYC00 and HY096, else the SQLSTATE.
std::string refusal(SQLSMALLINT type, SQLHANDLE h) {
    const std::string state = diag_state(type, h);
    if (state == "HYC00" || state == "HY096" || state == "HY092") return "not supported (" + state + ")";
    return "error " + (state.empty() ? std::string("without diagnostics") : state);
}

std::string info_answer(SQLHDBC dbc, const InfoType& t) {
    alignas(SQLUINTEGER) unsigned char buf[kInfoBytes] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetInfoW(dbc, t.id, buf, sizeof buf - sizeof(char16_t), &length);
    if (!SQL_SUCCEEDED(rc)) return refusal(SQL_HANDLE_DBC, dbc);
    return decode_info(t, buf, sizeof buf - sizeof(char16_t), length);
}

struct Attr {
    SQLINTEGER id;
    const char* name;
    bool text;
};

constexpr Attr kConnectionAttrs[] = {
    {SQL_ATTR_ACCESS_MODE, "SQL_ATTR_ACCESS_MODE", false},
    {SQL_ATTR_ASYNC_ENABLE, "SQL_ATTR_ASYNC_ENABLE", false},
    {SQL_ATTR_AUTO_IPD, "SQL_ATTR_AUTO_IPD", false},
    {SQL_ATTR_AUTOCOMMIT, "SQL_ATTR_AUTOCOMMIT", false},
    {SQL_ATTR_CONNECTION_TIMEOUT, "SQL_ATTR_CONNECTION_TIMEOUT", false},
    {SQL_ATTR_CURRENT_CATALOG, "SQL_ATTR_CURRENT_CATALOG", true},
    {SQL_ATTR_LOGIN_TIMEOUT, "SQL_ATTR_LOGIN_TIMEOUT", false},
    {SQL_ATTR_METADATA_ID, "SQL_ATTR_METADATA_ID", false},
    {SQL_ATTR_ODBC_CURSORS, "SQL_ATTR_ODBC_CURSORS", false},
    {SQL_ATTR_PACKET_SIZE, "SQL_ATTR_PACKET_SIZE", false},
    {SQL_ATTR_TXN_ISOLATION, "SQL_ATTR_TXN_ISOLATION", false},
};

constexpr Attr kStatementAttrs[] = {
    {SQL_ATTR_ASYNC_ENABLE, "SQL_ATTR_ASYNC_ENABLE", false},
    {SQL_ATTR_CONCURRENCY, "SQL_ATTR_CONCURRENCY", false},
    {SQL_ATTR_CURSOR_SCROLLABLE, "SQL_ATTR_CURSOR_SCROLLABLE", false},
    {SQL_ATTR_CURSOR_SENSITIVITY, "SQL_ATTR_CURSOR_SENSITIVITY", false},
    {SQL_ATTR_CURSOR_TYPE, "SQL_ATTR_CURSOR_TYPE", false},
    {SQL_ATTR_ENABLE_AUTO_IPD, "SQL_ATTR_ENABLE_AUTO_IPD", false},
    {SQL_ATTR_KEYSET_SIZE, "SQL_ATTR_KEYSET_SIZE", false},
    {SQL_ATTR_MAX_LENGTH, "SQL_ATTR_MAX_LENGTH", false},
    {SQL_ATTR_MAX_ROWS, "SQL_ATTR_MAX_ROWS", false},
    {SQL_ATTR_METADATA_ID, "SQL_ATTR_METADATA_ID", false},
    {SQL_ATTR_NOSCAN, "SQL_ATTR_NOSCAN", false},
    {SQL_ATTR_PARAMSET_SIZE, "SQL_ATTR_PARAMSET_SIZE", false},
    {SQL_ATTR_QUERY_TIMEOUT, "SQL_ATTR_QUERY_TIMEOUT", false},
    {SQL_ATTR_RETRIEVE_DATA, "SQL_ATTR_RETRIEVE_DATA", false},
    {SQL_ATTR_ROW_ARRAY_SIZE, "SQL_ATTR_ROW_ARRAY_SIZE", false},
    {SQL_ATTR_SIMULATE_CURSOR, "SQL_ATTR_SIMULATE_CURSOR", false},
    {SQL_ATTR_USE_BOOKMARKS, "SQL_ATTR_USE_BOOKMARKS", false},
};

std::string attr_value(bool connection, SQLHANDLE h, const Attr& a) {
    const SQLSMALLINT type = connection ? SQL_HANDLE_DBC : SQL_HANDLE_STMT;
    if (a.text) {
        char16_t text[kAttrTextBytes / sizeof(char16_t)] = {};
        SQLINTEGER length = 0;
        const SQLINTEGER room = kAttrTextBytes - sizeof(char16_t);
        const SQLRETURN rc = SQLGetConnectAttrW(h, a.id, text, room, &length);
        if (!SQL_SUCCEEDED(rc)) return refusal(type, h);
        const size_t units = length < 0 ? 0 : std::min<size_t>(static_cast<size_t>(length), room) / sizeof(char16_t);
        return utf8_of_utf16_view(text, units);
    }
    SQLULEN value = 0;  // some drivers write 32 bits only: the rest stays 0
    const SQLRETURN rc = connection ? SQLGetConnectAttrW(h, a.id, &value, sizeof value, nullptr)
                                    : SQLGetStmtAttrW(h, a.id, &value, sizeof value, nullptr);
    if (!SQL_SUCCEEDED(rc)) return refusal(type, h);
    return std::to_string(value);
}
}  // namespace

std::string utf8_of_utf16_view(const char16_t* units, size_t count) {
    return utf8_of_utf16(std::u16string_view(units, count));
}

ReportSection collect_info(SQLHDBC dbc) {
    ReportSection s{"info", {}};
    for (size_t i = 0; i < kInfoTypeCount; ++i) s.entries.push_back({kInfoTypes[i].name, info_answer(dbc, kInfoTypes[i])});
    return s;
}

std::string info_value(SQLHDBC dbc, const char* name) {
    const InfoType* t = info_type_by_name(name);
    return t ? info_answer(dbc, *t) : "";
}

namespace {
constexpr SQLSMALLINT kNameChars = 256;
constexpr SQLSMALLINT kAttributeChars = 4096;

std::string narrow_text(const SQLWCHAR* w, SQLSMALLINT length, SQLSMALLINT room) {
    const size_t units = length < 0 ? 0 : std::min<size_t>(static_cast<size_t>(length), room - 1);
    return utf8_of_utf16_view(reinterpret_cast<const char16_t*>(w), units);
}

// The driver's file as the driver manager's configuration names it: the DSN's
// driver description (SQLDataSources), then its Driver= key (SQLDrivers).
std::string driver_path(SQLHENV env, const std::string& dsn) {
    if (env == SQL_NULL_HENV || dsn.empty()) return "not known (no data source name)";
    std::string description;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;; direction = SQL_FETCH_NEXT) {
        SQLWCHAR name[kNameChars], desc[kNameChars];
        SQLSMALLINT nameLength = 0, descLength = 0;
        if (!SQL_SUCCEEDED(SQLDataSourcesW(env, direction, name, kNameChars, &nameLength, desc, kNameChars, &descLength)))
            break;
        if (narrow_text(name, nameLength, kNameChars) == dsn) {
            description = narrow_text(desc, descLength, kNameChars);
            break;
        }
    }
    if (description.empty()) return "not known (the data source names no driver)";
    for (direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
        SQLWCHAR desc[kNameChars], attrs[kAttributeChars];
        SQLSMALLINT descLength = 0, attrsLength = 0;
        if (!SQL_SUCCEEDED(SQLDriversW(env, direction, desc, kNameChars, &descLength, attrs, kAttributeChars, &attrsLength)))
            break;
        if (narrow_text(desc, descLength, kNameChars) != description) continue;
        // The attributes are "key=value" texts, each ended by a NUL.
        const SQLSMALLINT units = std::min<SQLSMALLINT>(attrsLength < 0 ? 0 : attrsLength, kAttributeChars - 1);
        attrs[units] = 0;
        for (SQLSMALLINT at = 0; at < units;) {
            SQLSMALLINT end = at;
            while (end < units && attrs[end] != 0) ++end;
            const std::string pair = narrow_text(attrs + at, static_cast<SQLSMALLINT>(end - at), kAttributeChars);
            if (pair.starts_with("Driver=")) return pair.substr(7);
            at = static_cast<SQLSMALLINT>(end + 1);
        }
    }
    return "not known (driver " + description + " has no Driver key)";
}
}  // namespace

ReportSection collect_driver(SQLHENV env, SQLHDBC dbc, const std::string& dsn) {
    ReportSection s{"driver", {}};
    s.entries.push_back({"driver path", driver_path(env, dsn)});
    static const char* const kNames[][2] = {
        {"driver manager version", "SQL_DM_VER"}, {"driver file", "SQL_DRIVER_NAME"},
        {"driver version", "SQL_DRIVER_VER"}, {"driver ODBC version", "SQL_DRIVER_ODBC_VER"},
        {"ODBC version", "SQL_ODBC_VER"}, {"DBMS", "SQL_DBMS_NAME"}, {"DBMS version", "SQL_DBMS_VER"},
        {"data source", "SQL_DATA_SOURCE_NAME"}, {"interface conformance", "SQL_ODBC_INTERFACE_CONFORMANCE"},
    };
    for (const auto& [label, name] : kNames) s.entries.push_back({label, info_value(dbc, name)});
    return s;
}

ReportSection collect_functions(SQLHDBC dbc) {
    ReportSection s{"functions", {}};
    SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
    const SQLRETURN rc = SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bits);
    if (!SQL_SUCCEEDED(rc)) {
        s.entries.push_back({"SQLGetFunctions", refusal(SQL_HANDLE_DBC, dbc)});
        return s;
    }
    for (size_t i = 0; i < kFunctionIdCount; ++i)
        s.entries.push_back({kFunctionIds[i].name, SQL_FUNC_EXISTS(bits, kFunctionIds[i].value) ? "supported" : "no"});
    return s;
}

ReportSection collect_types(SQLHDBC dbc) {
    ReportSection s{"types", {}};
    OwnStmt st(dbc);
    if (!st.ok() || !SQL_SUCCEEDED(SQLGetTypeInfoW(st.get(), SQL_ALL_TYPES))) {
        s.entries.push_back({"SQLGetTypeInfo", st.ok() ? refusal(SQL_HANDLE_STMT, st.get()) : "no statement handle"});
        return s;
    }
    SQLSMALLINT columns = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(st.get(), &columns))) columns = 0;
    std::vector<std::string> names;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
        char16_t name[kColumnNameChars] = {};
        SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        if (!SQL_SUCCEEDED(SQLDescribeColW(st.get(), c, reinterpret_cast<SQLWCHAR*>(name), kColumnNameChars, &length,
                                           &type, &size, &digits, &nullable)))
            length = 0;
        names.push_back(utf8_of_utf16_view(name, std::min<size_t>(length < 0 ? 0 : length, kColumnNameChars - 1)));
    }
    std::map<std::string, int> seen;
    for (SQLRETURN rc; SQL_SUCCEEDED(rc = SQLFetch(st.get()));) {
        std::string key, value, why;
        for (SQLUSMALLINT c = 1; c <= names.size(); ++c) {
            std::string v;
            if (!get_text(st.get(), c, v, why)) v = "error";
            if (c == 1) key = v;
            else value += (c > 2 ? ", " : "") + names[c - 1] + "=" + v;
        }
        if (const int n = ++seen[key]; n > 1) key += " #" + std::to_string(n);
        s.entries.push_back({key, value});
    }
    return s;
}

ReportSection collect_attributes(SQLHDBC dbc) {
    ReportSection s{"attributes", {}};
    for (const Attr& a : kConnectionAttrs) s.entries.push_back({std::string("connection ") + a.name, attr_value(true, dbc, a)});
    OwnStmt st(dbc);
    for (const Attr& a : kStatementAttrs)
        s.entries.push_back({std::string("statement ") + a.name, st.ok() ? attr_value(false, st.get(), a) : "no statement handle"});
    return s;
}
