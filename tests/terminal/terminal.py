#!/usr/bin/env python3
"""wsql at a terminal, driven through a pseudo-terminal with pexpect.

Usage: terminal.py WSQL CASE (run through run.sh, which prepares the data
sources "sqlite", "step" (SQLite delivering rows as it finds them) and, with
the PostgreSQL test server, "pg", and HOME).

Each case types keys as a user would and checks what the session printed:
results, prompts and the history file. Waits are generous time-outs on the
output, never measurements.
"""
import io, os, re, signal, sys, termios, time

import pexpect
from pexpect.popen_spawn import PopenSpawn

WAIT = 30  # seconds any expected output may take to appear
CTRL_A, CTRL_C, CTRL_D, TAB, UP, LEFT = b"\x01", b"\x03", b"\x04", b"\t", b"\x1b[A", b"\x1b[D"
HOME = os.environ["HOME"]
HISTORY = os.path.join(HOME, ".wsql_history")
DONE, BYE = rb"Elapsed time", rb"finished successfully"


class Failure(Exception):
    pass


def out(s):
    return s.logfile_read.getvalue()


def check(cond, message, s=None):
    if not cond:
        raise Failure(message + ("\noutput:\n" + out(s)[-3000:].decode("utf-8", "replace") if s else ""))


def until(cond, what, s=None):
    """Polls cond for up to WAIT seconds."""
    deadline = time.monotonic() + WAIT
    while not cond():
        check(time.monotonic() < deadline, what, s)
        time.sleep(0.01)


def spawn(wsql, args=(), **kw):
    s = PopenSpawn([wsql], timeout=WAIT) if kw.pop("piped", False) else \
        pexpect.spawn(wsql, list(args), timeout=WAIT, **kw)
    s.logfile_read = io.BytesIO()
    return s


def prompt(s, name=b"ISQL"):
    """Waits for the prompt and for the editor to take the terminal: keys sent
    before are handled by the terminal's own line discipline, where Ctrl-C
    and Ctrl-D mean something else."""
    s.expect_exact(name + b"> ")
    until(lambda: not termios.tcgetattr(s.child_fd)[3] & termios.ICANON,
          "the editor did not take the terminal", s)


def typed(s, text, then=b""):
    """Types text and waits for its echo, so that the keys then sent (Ctrl-C)
    find it in the line being edited."""
    s.send(text)
    s.expect_exact(text)
    s.send(then)


def lines(s, *steps):
    """Each step (keys, pattern[, prompt name]): at a fresh prompt types keys, then waits for pattern."""
    for keys, pattern, *name in steps:
        prompt(s, *name)
        s.send(keys)
        s.expect(pattern)


def row(value):
    """A one-column result whose only row is value."""
    return re.escape(value) + rb"\t\r\n\r\nRows selected = 1"


def ended(s, status, *said):
    """The session prints said (patterns, in order) and ends with status."""
    for pattern in said + (pexpect.EOF,):
        s.expect(pattern)
    s.close()
    check(s.exitstatus == status, "exit status %r" % s.exitstatus, s)


def finish(s, status=0, *said):
    """Ctrl-D at a fresh prompt; the session prints said, says goodbye and ends with status."""
    prompt(s)
    s.send(CTRL_D)
    ended(s, status, *said, BYE)


def connected(wsql, dsn=b"sqlite"):
    s = spawn(wsql, dimensions=(40, 200))
    lines(s, (b"connect " + dsn + b"\r", DONE))
    return s


def caught(s):
    """The signals the session catches, from /proc."""
    with open("/proc/%d/status" % s.pid) as f:
        return int(re.search(r"SigCgt:\s*(\w+)", f.read()).group(1), 16)


# ---- cases --------------------------------------------------------------------

# Cases that are keys typed at fresh prompts of a session connected to "sqlite".
TYPED = {
    # Ctrl-A and the arrow keys edit a line before Enter; Up recalls it.
    "editing": [
        (b"elect 6*7 as answer;" + CTRL_A + b"s\r", row(b"42")),
        (b"select 3 as arrow;" + LEFT * len(b" as arrow;") + b"4\r", row(b"34")),
        (UP + b"\r", row(b"34"))],
    # Tab completes keywords and, while connected, table names. "tab" is
    # completed as far as "table" and "tables" agree; not connected, only
    # keywords are offered, so "de" becomes "delete".
    "completion": [
        (b"sho" + TAB + b"tab" + TAB + b"s\r", rb"TABLE_NAME(.|\r|\n)*Rows selected = \d+"),
        (b"SEL" + TAB + b"count(*) as n FROM em" + TAB + b";\r", rb"n\t\r\n\r\n\d+\t\r\n\r\nRows selected = 1"),
        (b"disconnect\r", DONE),
        (b"de" + TAB + b"le" + TAB + CTRL_A + b"echo [\r", rb"\[delete \r\n")],
    # By place: tables (read again after CREATE) behind INTO and DESCRIBE, where
    # "cus" at the start is CUSTOMCONNECT; columns of a table named further on.
    "completion_context": [
        (b"select count(*) as n from em" + TAB + b";\r", row(b"1")),
        (b"create table customers (cust_id integer, cust_name varchar(20));\r", DONE),
        (b"insert into cus" + TAB + b"values (7, 'Ann');\r", DONE),
        (b"cus" + TAB + CTRL_A + b"echo [\r", rb"\[customconnect \r\n"),
        (b"describe cus" + TAB + b"\r", rb"cust_name"),
        (b"select cust_n from customers;" + LEFT * len(b" from customers;") + TAB + b"\r", row(b"Ann")),
        # The session form completes too, and switches the layout at the terminal.
        (b"\\fo" + TAB + b"al" + TAB + b"\r", rb"Output format is aligned"),
        (b"select cust_name from customers;\r", rb" cust_name\r\n-----------\r\n Ann\r\n")],
}


def case_history(wsql):
    """Lines are kept across sessions; lines with passwords never are."""
    s = connected(wsql)
    lines(s, (b"select 'kept-line' as h;\r", b"Rows selected"),
          (b"connect someone*SecretOne@sqlite\r", DONE),
          (UP + b"\r", row(b"kept-line")),  # skips the password line: the statement comes back
          (b'CustomConnect "DSN=sqlite;pWd=SecretTwo"\r', DONE),
          (b"MULTICONNECT 1 someone*SecretThree@sqlite\r", DONE),
          (b"multidisconnect\r", DONE))
    finish(s)
    with open(HISTORY, "rb") as f:
        saved = f.read()
    for secret in (b"SecretOne", b"SecretTwo", b"SecretThree"):
        check(secret not in saved, "a password reached the history file:\n%r" % saved)
    check(b"kept-line" in saved and b"multidisconnect" in saved, "lines missing:\n%r" % saved)
    check(os.stat(HISTORY).st_mode & 0o777 == 0o600, "history file mode not 600")
    s = connected(wsql)
    # Newest first: this session's CONNECT, multidisconnect, the statement.
    lines(s, (UP * 3 + b"\r", row(b"kept-line")))
    finish(s)


def case_history_multiline(wsql):
    """A statement typed over two lines is one entry, recalled whole and run
    again, also in the next session; its second line completes a column of
    the table its first line names."""
    s = connected(wsql)
    lines(s, (b"select ename as who\r", b""), (b"from emp where empn" + TAB + b"= 1;\r", row(b"Emp1-1"), b"Cont"),
          (UP + b"\r", row(b"Emp1-1")))
    finish(s)
    s = connected(wsql)
    lines(s, (UP * 2 + b"\r", row(b"Emp1-1")))  # this session's CONNECT, then the statement
    finish(s)


def case_completion_lost(wsql):
    """A catalog call that fails (the server ended the connection) writes no
    message into the line being typed."""
    s = connected(wsql, b"pg")
    lines(s, (b"select pg_terminate_backend(pg_backend_pid());\r", DONE))
    prompt(s)
    typed(s, b"select 1 from x", TAB)
    s.expect_exact(b"\a")  # nothing to offer
    s.send(CTRL_C)
    finish(s)
    check(b"SQLTablesW" not in out(s), "the failed catalog call was reported", s)


def case_history_setting(wsql):
    """HistoryFile in odbcisql.ini moves the history file, or turns it off."""
    def session(setting, *steps):
        with open("odbcisql.ini", "w") as f:
            f.write("[Common]\nHistoryFile" + setting + "\n")
        s = spawn(wsql)
        lines(s, *steps)
        finish(s)
    session(" = ~/elsewhere_history", (b"echo moved\r", DONE))
    check(os.path.exists(os.path.join(HOME, "elsewhere_history")), "no history file at the configured place")
    check(not os.path.exists(HISTORY), "the default history file was written")
    before = os.listdir(HOME)
    # The history of the session itself still works.
    session("=", (b"echo kept nowhere\r", DONE), (UP + b"\r", rb"kept nowhere\r\n"))
    check(os.listdir(HOME) == before, "a history file was written")


def case_ctrlc_prompt(wsql):
    """Ctrl-C drops the line or statement being typed; the session goes on."""
    s = connected(wsql)
    prompt(s)
    typed(s, b"select 'never' as dropped", CTRL_C)
    # Ctrl-C at an empty prompt: a fresh prompt.
    lines(s, (CTRL_C, b""), (b"select 'multi' as dropped2\r", b""), (b"", b"", b"Cont"))
    typed(s, b"where", CTRL_C)
    lines(s, (b"select 'after' as kept;\r", row(b"after")))
    check(b"dropped\t" not in out(s) and b"dropped2\t" not in out(s), "a dropped statement ran", s)
    finish(s)


def still_there(s, *args):
    lines(s, (b"select 'still here' as alive;\r", b"still here\t"))
    finish(s, *args)


def case_cancel(wsql):
    """Ctrl-C cancels a long statement on PostgreSQL; the session goes on."""
    s = connected(wsql, b"pg")
    # Ctrl-C before the editor took the line would drop it unread.
    lines(s, (b"select pg_sleep(30);\r", rb"pg_sleep\(30\);\r\n"))
    # The statement may not have reached the server at the first press:
    # presses are repeated for 5 s, far less than the 30 s it would take.
    deadline = time.monotonic() + 5.0
    while time.monotonic() < deadline:
        s.send(CTRL_C)
        if s.expect([rb"canceling statement due to user request", pexpect.TIMEOUT], timeout=0.5) == 0:
            break
    check(b"canceling statement" in out(s) and re.search(rb"SQL State *= 57014", out(s)),
          "no cancel (SQLSTATE 57014) within 5 s of Ctrl-C", s)
    still_there(s)


def case_cancel_fetch(wsql):
    """Ctrl-C while rows are printed stops them between two rows, also with a
    driver that would go on delivering rows (SQLite); the session goes on.
    The terminal holds only a few kilobytes not read yet, so wsql is far from
    the end of its three million rows at the press. The cancelled statement
    is a failed command."""
    s = spawn(wsql, ["--on-error=continue"], dimensions=(40, 200))
    lines(s, (b"connect sqlite\r", DONE), (b"maxrows 0\r", DONE),
          (b"with recursive n(i) as (select 1 union all select i + 1 from n "
           b"where i < 3000000) select i from n;\r", rb"\r\n1000\t\r\n"))
    s.send(CTRL_C)
    s.expect(rb"SQL: Fetch cancelled by Ctrl-C; the rest of the result set was not read")
    s.expect(rb"Rows selected = (\d+)\r\n")
    check(int(s.match.group(1)) < 3000000, "every row was printed", s)
    still_there(s, 1, rb"1 of 4 commands failed")


def case_write_through(wsql):
    """At the terminal rows show as they are fetched, and statements run with
    the suspend and resize signals as they were before line editing."""
    s = connected(wsql, b"step")
    job_signals = 1 << (signal.SIGWINCH - 1) | 1 << (signal.SIGTSTP - 1)
    prompt(s)
    until(lambda: caught(s) & job_signals == job_signals, "the editor catches no SIGWINCH", s)
    # A result without end: its first row is seen long before any end.
    s.send(b"with recursive n(i) as (select 1 union all select i + 1 from n) "
           b"select i from n where i = 1 or i < 0;\r")
    s.expect(rb"\r\n1\t\r\n")
    check(caught(s) & job_signals == 0, "SIGWINCH or SIGTSTP still caught after editing", s)
    s.terminate(force=True)


def case_decoding(wsql):
    """Typed text is decoded as the plain reader decodes it: by the locale,
    or as UTF-8 once NCMDFILE chose that, where a character beyond U+FFFF
    fails the conversion and ends the input as from a file."""
    s = spawn(wsql)
    echo = lambda text: ("echo " + text + "\r").encode()
    # ECHO's own line, not the editor's echo of the typed one.
    lines(s, (echo("[h\u00e9llo \u20ac]"), re.escape("\n [h\u00e9llo \u20ac]\r\n".encode())),
          (b"ncmdfile /dev/null\r", DONE),
          (echo("[utf8 \u00e9]"), re.escape("\n [utf8 \u00e9]\r\n".encode())),
          ("echo \U0001F600".encode(), rb"SQL: utf8towcs conversion of command failed \r\n"))
    ended(s, 0, BYE)


def case_plain_reader(wsql):
    """Standard input at a terminal, results into a pipe: no editor, the
    prompts as ever on standard output, and Ctrl-C still drops the line."""
    s = spawn("bash", ["-c", 'set -o pipefail; "$0" | tee -i results', wsql])
    for keys in (b"connect sqlite\n", b"select 'x' as dropped", b"select 'after' as kept;\n", CTRL_D):
        s.expect_exact(b"ISQL> ")
        if b"dropped" in keys:
            typed(s, keys, CTRL_C)  # after the echo: Ctrl-C finds the line being typed
        else:
            s.send(keys)
    s.expect(pexpect.EOF)
    s.close()
    with open("results", "rb") as f:
        res = f.read()
    check(s.exitstatus == 0, "status %r:\n%s" % (s.exitstatus, res.decode()))
    check(b"kept\t\n\nafter\t\n\nRows selected = 1\n" in res, "no result:\n" + res.decode())
    check(b"dropped" not in res, "the dropped line ran:\n" + res.decode())
    check(b"\x1b" not in res and res.count(b"ISQL> ") >= 4, "not the plain prompts:\n" + res.decode())


def case_sigint(wsql, piped):
    """A command file at the terminal, or input from a pipe: SIGINT ends the
    session as it always did. The WAIT may not have begun: either way it ends."""
    cmds = b"echo started\nwait 60\necho not reached\n"
    if piped:
        s = spawn(wsql, piped=True)
        s.send(cmds)
    else:
        with open("cmds", "wb") as f:
            f.write(cmds)
        s = spawn(wsql, ["-c", "cmds"])
    s.expect(rb"started\r?\n")
    s.kill(signal.SIGINT)
    s.expect(pexpect.EOF)
    s.wait() if piped else s.close()
    check(s.signalstatus == signal.SIGINT, "status %r, not death by SIGINT" % s.exitstatus, s)
    check(b"not reached" not in out(s), "the input went on after SIGINT", s)


def case_password(wsql):
    """--user at a terminal without WSQL_PASSWORD prompts for the password with
    echo off: what is typed does not appear."""
    os.environ.pop("WSQL_PASSWORD", None)
    s = spawn(wsql, ["--user", "ann", "sqlite"])
    s.expect_exact(b"Password: ")
    until(lambda: not termios.tcgetattr(s.child_fd)[3] & termios.ECHO, "echo left on at the password prompt", s)
    s.send(b"s3cret\r")
    lines(s, (b"select 1 as one;\r", row(b"1")))
    check(b"s3cret" not in out(s), "the password was echoed", s)
    finish(s)


def case_load_ctrlc(wsql):
    """A load run at the terminal shows a progress line a second; Ctrl-C ends
    it early with the report of what ran, every job stopped, status 130 (128 + SIGINT)."""
    s = spawn(wsql, ["--jobs", "2", "--duration", "100", "--command", "select 1;", "sqlite"])
    s.expect(rb"progress: [0-9.]+ s, [0-9.]+ statements/s, p95 [0-9.]+ ms, 0 failed\r\n")
    s.send(CTRL_C)
    ended(s, 130, rb"Load run: 2 jobs, duration 100 s",
          rb"\n +1 +[1-9][0-9]* .* stopped\r\n +2 +[1-9][0-9]* .* stopped\r\n")


def main():
    wsql, name = sys.argv[1:3]
    try:
        if name in TYPED:
            s = connected(wsql)
            lines(s, *TYPED[name])
            finish(s)
        elif name.startswith("sigint_"):
            case_sigint(wsql, name == "sigint_piped")
        else:
            globals()["case_" + name](wsql)
    except (Failure, pexpect.ExceptionPexpect) as e:
        print("terminal/%s: FAIL: %s" % (name, e))
        return 1
    print("terminal/%s: ok" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
