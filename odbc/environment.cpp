// The ODBC environment and the one connection handle of the session, and the
// storage of the MULTICONNECT set.
#include <vector>

#include "isql.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "platform.h"


namespace {
// Driver-manager environment attribute (outside the ODBC standard) that tells
// which wide-character form the application uses; value 1 is UTF-16.
constexpr SQLINTEGER kAttrAppWideForm = 1064;
constexpr SQLULEN kWideFormUtf16 = 1;
}  // namespace

void isql_announce_utf16(SQLHENV env) {
    // A driver manager that does not know the attribute may refuse it.
    static_cast<void>(SQLSetEnvAttr(env, kAttrAppWideForm, reinterpret_cast<SQLPOINTER>(kWideFormUtf16), SQL_IS_INTEGER));
}

// Allocates the environment (ODBC 3 behaviour) and the shared connection
// handle into gClientStateList. Returns 1 when both exist; 0 after writing
// why not. Handles already made are left for isql_term to free.
int isql_init_odbc() {
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &gClientStateList.henv);
    if (!SQL_SUCCEEDED(rc)) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Can't allocate environment handle\n");
        return 0;
    }

    rc = SQLSetEnvAttr(gClientStateList.henv, SQL_ATTR_ODBC_VERSION,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0);
    if (!SQL_SUCCEEDED(rc)) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Can't allocate version environment attribute\n");
        return 0;
    }

    // The wide form is announced as UTF-16 in both encodings; with -u 0 the
    // 4-byte strings still go out unchanged. A driver manager that does not
    // know the attribute may refuse it, which changes nothing.
    const SQLULEN wideForm = gUnicodeEnc != 0 ? gUnicodeEnc : kWideFormUtf16;
    rc = SQLSetEnvAttr(gClientStateList.henv, kAttrAppWideForm,
                       reinterpret_cast<SQLPOINTER>(wideForm), SQL_IS_INTEGER);
    static_cast<void>(rc);

    rc = SQLAllocHandle(SQL_HANDLE_DBC, gClientStateList.henv, &gClientStateList.hdbc);
    if (!SQL_SUCCEEDED(rc)) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Can't allocate connection handle\n");
        return 0;
    }
    return 1;
}
