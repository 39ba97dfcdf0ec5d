/*
 * Reference programs for the wsql benchmark: what a plain, careful ODBC
 * client costs, so that bench/run can state wsql's times as ratios.
 *
 *   reference export DSN SQL   fetch every row and write it to standard
 *                              output as tab-separated text, in the same
 *                              layout as wsql (header line, empty line, rows,
 *                              empty line, "Rows selected = N")
 *   reference fetch DSN SQL    the same fetch loop, writing nothing but the
 *                              final count
 *   reference tfetch DSN SQL   the fetch loop with typed bindings, as wsql
 *                              binds: integers, floating point, dates and
 *                              times to their C types, wide text as wide
 *                              text, the rest as text; the driver converts
 *                              each value, which the text bindings spare it
 *   reference startup          allocate and free the environment and
 *                              connection handles, nothing else
 *
 * The strongest plain loop we know: every column is bound once as SQL_C_CHAR
 * text into a short buffer of its display size + 1, at most 256 bytes (the
 * driver converts nothing; the SQLite driver zero-fills the whole bound buffer
 * on every fetch, so a short one costs least), rows come one at a time through
 * SQLFetch, a value that did not fit is read whole with SQLGetData (where the
 * driver allows it on bound columns: SQL_GD_BOUND), and output goes through a
 * fully buffered stdio stream with a large buffer. REF_MAX_COLUMN_BYTES in the
 * environment changes the cap (8192 gives the older reference, which bound
 * long text with 8 KiB). Exit status 0 on success, 1 on any ODBC failure (with
 * its diagnostics on standard error), 2 on a usage error.
 *
 * Built by bench/run with: cc -O2 reference.c -o reference -lodbc
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sql.h>
#include <sqlext.h>

enum {
    OUT_BUFFER_BYTES = 1 << 20,   /* stdio buffer of the export */
    MAX_COLUMN_BYTES = 256,       /* cap of one bound text buffer */
    LONG_VALUE_BYTES = 1 << 20,   /* a value read with SQLGetData is cut here */
    NAME_BYTES = 256              /* column name buffer */
};

/* Prints the diagnostics of handle after a failed call and returns 1. */
static int fail(const char *call, SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6], text[1024];
    SQLINTEGER native;
    SQLSMALLINT len;
    SQLSMALLINT i;
    fprintf(stderr, "reference: %s failed\n", call);
    for (i = 1; handle != SQL_NULL_HANDLE; ++i) {
        SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &len);
        if (!SQL_SUCCEEDED(rc)) break;
        fprintf(stderr, "  [%s] %s\n", (const char *)state, (const char *)text);
    }
    return 1;
}

/* Allocates the environment (ODBC 3) and one connection handle. 1 on success. */
static int alloc_handles(SQLHENV *env, SQLHDBC *dbc) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env))) {
        fprintf(stderr, "reference: SQLAllocHandle(ENV) failed\n");
        return 0;
    }
    if (!SQL_SUCCEEDED(SQLSetEnvAttr(*env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0))) {
        fail("SQLSetEnvAttr", SQL_HANDLE_ENV, *env);
        return 0;
    }
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, *env, dbc))) {
        fail("SQLAllocHandle(DBC)", SQL_HANDLE_ENV, *env);
        return 0;
    }
    return 1;
}

static void free_handles(SQLHENV env, SQLHDBC dbc) {
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

struct column {
    SQLCHAR *buf;
    SQLLEN size;
    SQLLEN ind;
};

/* Reads column col of the current row whole into *longBuf (LONG_VALUE_BYTES)
 * and points *text and *len at it. 1 on success. */
static int read_whole(SQLHSTMT stmt, SQLUSMALLINT col, char **longBuf, const char **text,
                      SQLLEN *len) {
    SQLLEN ind = 0;
    SQLRETURN rc;
    if (*longBuf == NULL && (*longBuf = malloc(LONG_VALUE_BYTES)) == NULL) return 0;
    rc = SQLGetData(stmt, col, SQL_C_CHAR, *longBuf, LONG_VALUE_BYTES, &ind);
    if (!SQL_SUCCEEDED(rc)) return fail("SQLGetData", SQL_HANDLE_STMT, stmt), 0;
    *text = *longBuf;
    *len = ind >= 0 && ind < LONG_VALUE_BYTES ? ind : (SQLLEN)strlen(*longBuf);
    return 1;
}

/* The C type of a typed binding of a column of sqlType, and its size. */
static SQLSMALLINT typed_target(SQLLEN sqlType, SQLLEN *size) {
    switch (sqlType) {
    case SQL_INTEGER: case SQL_SMALLINT: case SQL_TINYINT: case SQL_BIT:
        *size = sizeof(SQLINTEGER);
        return SQL_C_LONG;
    case SQL_BIGINT:
        *size = sizeof(SQLBIGINT);
        return SQL_C_SBIGINT;
    case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE:
        *size = sizeof(SQLDOUBLE);
        return SQL_C_DOUBLE;
    case SQL_TYPE_DATE:
        *size = sizeof(SQL_DATE_STRUCT);
        return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME:
        *size = sizeof(SQL_TIME_STRUCT);
        return SQL_C_TYPE_TIME;
    case SQL_TYPE_TIMESTAMP:
        *size = sizeof(SQL_TIMESTAMP_STRUCT);
        return SQL_C_TYPE_TIMESTAMP;
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR:
        return SQL_C_WCHAR;
    default:
        return SQL_C_CHAR;
    }
}

/* Connects to dsn, runs sql and fetches every row; writes the rows when
 * write_rows is set, binds typed (fetch only) when typed is set. Returns
 * the exit status. */
static int run_query(const char *dsn, const char *sql, int write_rows, int typed) {
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
    SQLSMALLINT ncols, i;
    SQLRETURN rc;
    SQLUINTEGER extensions = 0;
    struct column *cols;
    long long rows = 0;
    static char outbuf[OUT_BUFFER_BYTES];
    char *longBuf = NULL;
    FILE *out = stdout;
    const char *cap = getenv("REF_MAX_COLUMN_BYTES");
    SQLLEN max_column_bytes = cap != NULL && atol(cap) > 1 ? atol(cap) : MAX_COLUMN_BYTES;

    if (setvbuf(out, outbuf, _IOFBF, sizeof outbuf) != 0) return 1;
    if (!alloc_handles(&env, &dbc)) return 1;
    rc = SQLConnect(dbc, (SQLCHAR *)dsn, SQL_NTS, NULL, 0, NULL, 0);
    if (!SQL_SUCCEEDED(rc)) return fail("SQLConnect", SQL_HANDLE_DBC, dbc);
    rc = SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, NULL);
    if (!SQL_SUCCEEDED(rc)) return fail("SQLGetInfo", SQL_HANDLE_DBC, dbc);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt)))
        return fail("SQLAllocHandle(STMT)", SQL_HANDLE_DBC, dbc);
    rc = SQLExecDirect(stmt, (SQLCHAR *)sql, SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) return fail("SQLExecDirect", SQL_HANDLE_STMT, stmt);
    if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &ncols)) || ncols <= 0)
        return fail("SQLNumResultCols", SQL_HANDLE_STMT, stmt);

    cols = calloc((size_t)ncols, sizeof *cols);
    if (cols == NULL) return 1;
    for (i = 0; i < ncols; ++i) {
        SQLCHAR name[NAME_BYTES];
        SQLSMALLINT nameLen = 0;
        SQLLEN display = 0, sqlType = 0;
        SQLSMALLINT target = SQL_C_CHAR;
        rc = SQLColAttribute(stmt, (SQLUSMALLINT)(i + 1), SQL_DESC_NAME, name, sizeof name,
                             &nameLen, NULL);
        if (!SQL_SUCCEEDED(rc)) return fail("SQLColAttribute", SQL_HANDLE_STMT, stmt);
        rc = SQLColAttribute(stmt, (SQLUSMALLINT)(i + 1), SQL_DESC_DISPLAY_SIZE, NULL, 0, NULL,
                             &display);
        if (!SQL_SUCCEEDED(rc)) return fail("SQLColAttribute", SQL_HANDLE_STMT, stmt);
        /* Unknown or unbounded sizes get the cap; longer values are read whole below. */
        if (display <= 0 || display >= max_column_bytes) display = max_column_bytes - 1;
        cols[i].size = display + 1;
        if (typed) {
            rc = SQLColAttribute(stmt, (SQLUSMALLINT)(i + 1), SQL_DESC_CONCISE_TYPE, NULL, 0,
                                 NULL, &sqlType);
            if (!SQL_SUCCEEDED(rc)) return fail("SQLColAttribute", SQL_HANDLE_STMT, stmt);
            target = typed_target(sqlType, &cols[i].size);
        }
        cols[i].buf = malloc((size_t)cols[i].size);
        if (cols[i].buf == NULL) return 1;
        rc = SQLBindCol(stmt, (SQLUSMALLINT)(i + 1), target, cols[i].buf, cols[i].size,
                        &cols[i].ind);
        if (!SQL_SUCCEEDED(rc)) return fail("SQLBindCol", SQL_HANDLE_STMT, stmt);
        if (write_rows) {
            fputs((const char *)name, out);
            putc('\t', out);
        }
    }
    if (write_rows) fputs("\n\n", out);

    while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
        ++rows;
        for (i = 0; i < ncols; ++i) {
            const struct column *c = &cols[i];
            const char *text = (const char *)c->buf;
            SQLLEN len = c->ind;
            if (c->ind == SQL_NULL_DATA) {
                text = "NULL";
                len = 4;
            } else if (!typed && (c->ind < 0 || c->ind >= c->size)) {
                /* Did not fit: whole where the driver allows, else up to the NUL. */
                if (!(extensions & SQL_GD_BOUND) ||
                    !read_whole(stmt, (SQLUSMALLINT)(i + 1), &longBuf, &text, &len))
                    len = (SQLLEN)strlen(text);
            }
            if (!write_rows) continue;
            fwrite(text, 1, (size_t)len, out);
            putc('\t', out);
        }
        if (write_rows) putc('\n', out);
    }
    if (rc != SQL_NO_DATA) return fail("SQLFetch", SQL_HANDLE_STMT, stmt);
    if (write_rows) putc('\n', out);
    fprintf(out, "Rows selected = %lld\n", rows);
    if (fflush(out) != 0) {
        perror("reference: write");
        return 1;
    }

    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    free_handles(env, dbc);
    for (i = 0; i < ncols; ++i) free(cols[i].buf);
    free(cols);
    free(longBuf);
    return 0;
}

int main(int argc, char **argv) {
    if (argc == 2 && strcmp(argv[1], "startup") == 0) {
        SQLHENV env;
        SQLHDBC dbc;
        if (!alloc_handles(&env, &dbc)) return 1;
        free_handles(env, dbc);
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "export") == 0) return run_query(argv[2], argv[3], 1, 0);
    if (argc == 4 && strcmp(argv[1], "fetch") == 0) return run_query(argv[2], argv[3], 0, 0);
    if (argc == 4 && strcmp(argv[1], "tfetch") == 0) return run_query(argv[2], argv[3], 0, 1);
    fprintf(stderr, "usage: reference export|fetch|tfetch DSN SQL | reference startup\n");
    return 2;
}
