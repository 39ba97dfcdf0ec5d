/*
 * Reference loop for the load benchmark: what plain ODBC clients that
 * prepare once and re-execute reach, so that bench/load can state wsql's
 * load runs as a ratio of it.
 *
 *   load_loop DSN SECONDS CLIENTS SQL LOW HIGH
 *
 * Starts CLIENTS processes; each connects to DSN, prepares SQL (one "?"
 * parameter, bound once as SQL_C_SBIGINT), and until SECONDS have passed
 * sets the parameter to a random integer from LOW to HIGH, executes, fetches
 * every row without reading a column, and closes the cursor. Prints
 * "statements N seconds S rate R" for all clients together. Exit status 0,
 * 1 when a client failed (its diagnostics on standard error), 2 on a usage
 * error.
 *
 * Built by bench/load with: cc -O2 load_loop.c -o load_loop -lodbc
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <sql.h>
#include <sqlext.h>

enum { MAX_CLIENTS = 1000 };

static double now_seconds(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

/* Prints the diagnostics of handle after a failed call and returns 1. */
static int fail(const char *call, SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6], text[1024];
    SQLINTEGER native;
    SQLSMALLINT len;
    fprintf(stderr, "load_loop: %s failed\n", call);
    for (SQLSMALLINT i = 1;; ++i) {
        if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &len))) break;
        fprintf(stderr, "  [%s] %s\n", (const char *)state, (const char *)text);
    }
    return 1;
}

/* One client: statements executed until the deadline, written to fd. */
static int client(const char *dsn, double deadline, const char *sql, long long low, long long high, int fd,
                  unsigned seed) {
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return 1;
    if (!SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0)))
        return fail("SQLSetEnvAttr", SQL_HANDLE_ENV, env);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) return fail("SQLAllocHandle", SQL_HANDLE_ENV, env);
    if (!SQL_SUCCEEDED(SQLConnect(dbc, (SQLCHAR *)dsn, SQL_NTS, NULL, 0, NULL, 0)))
        return fail("SQLConnect", SQL_HANDLE_DBC, dbc);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) return fail("SQLAllocHandle", SQL_HANDLE_DBC, dbc);
    if (!SQL_SUCCEEDED(SQLPrepare(stmt, (SQLCHAR *)sql, SQL_NTS))) return fail("SQLPrepare", SQL_HANDLE_STMT, stmt);
    long long key = 0;
    SQLLEN keyLength = sizeof key;
    if (!SQL_SUCCEEDED(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &key, 0,
                                        &keyLength)))
        return fail("SQLBindParameter", SQL_HANDLE_STMT, stmt);
    long long done = 0;
    while (now_seconds() < deadline) {
        key = low + (long long)(rand_r(&seed) % (unsigned)(high - low + 1));
        SQLRETURN rc = SQLExecute(stmt);
        if (!SQL_SUCCEEDED(rc)) return fail("SQLExecute", SQL_HANDLE_STMT, stmt);
        while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
        }
        if (rc != SQL_NO_DATA) return fail("SQLFetch", SQL_HANDLE_STMT, stmt);
        if (!SQL_SUCCEEDED(SQLFreeStmt(stmt, SQL_CLOSE))) return fail("SQLFreeStmt", SQL_HANDLE_STMT, stmt);
        ++done;
    }
    if (write(fd, &done, sizeof done) != (ssize_t)sizeof done) return 1;
    if (!SQL_SUCCEEDED(SQLFreeHandle(SQL_HANDLE_STMT, stmt))) return fail("SQLFreeHandle", SQL_HANDLE_DBC, dbc);
    if (!SQL_SUCCEEDED(SQLDisconnect(dbc))) return fail("SQLDisconnect", SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 7) {
        fprintf(stderr, "usage: load_loop DSN SECONDS CLIENTS SQL LOW HIGH\n");
        return 2;
    }
    const double seconds = atof(argv[2]);
    const int clients = atoi(argv[3]);
    const long long low = atoll(argv[5]), high = atoll(argv[6]);
    if (seconds <= 0 || clients < 1 || clients > MAX_CLIENTS || high < low) {
        fprintf(stderr, "load_loop: bad arguments\n");
        return 2;
    }
    int fds[2];
    if (pipe(fds) != 0) return 1;
    const double start = now_seconds();
    for (int i = 0; i < clients; ++i) {
        pid_t pid = fork();
        if (pid < 0) return 1;
        if (pid == 0) {
            close(fds[0]);
            _exit(client(argv[1], start + seconds, argv[4], low, high, fds[1], (unsigned)(getpid() ^ i)));
        }
    }
    close(fds[1]);
    long long total = 0, one;
    int failed = 0;
    while (read(fds[0], &one, sizeof one) == (ssize_t)sizeof one) total += one;
    for (int i = 0; i < clients; ++i) {
        int status;
        if (wait(&status) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) failed = 1;
    }
    const double elapsed = now_seconds() - start;
    printf("statements %lld seconds %.3f rate %.1f\n", total, elapsed, (double)total / elapsed);
    return failed;
}
