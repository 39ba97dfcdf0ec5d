#!/usr/bin/env python3
"""wsql at a terminal, driven through a pseudo-terminal.

Usage: terminal.py WSQL CASE (run through run.sh, which prepares the data
sources "sqlite" and, with the PostgreSQL test server, "pg", and HOME).

Each case types keys as a user would and checks what the session printed:
results, prompts and the history file. Waits are generous time-outs on the
output, never measurements.
"""
import fcntl
import os
import pty
import re
import select
import signal
import struct
import subprocess
import sys
import termios
import time

WAIT = 30.0  # seconds any expected output may take to appear

CTRL_A = b"\x01"
CTRL_C = b"\x03"
CTRL_D = b"\x04"
TAB = b"\t"
UP = b"\x1b[A"
LEFT = b"\x1b[D"
ENTER = b"\r"


class Failure(Exception):
    pass


class Session:
    """One wsql process on the slave side of a pseudo-terminal."""

    def __init__(self, wsql, args=()):
        pid, fd = pty.fork()
        if pid == 0:
            try:
                os.execv(wsql, [wsql, *args])
            finally:
                os._exit(127)
        self.pid = pid
        self.fd = fd
        fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 40, 200, 0, 0))
        self.out = b""
        self.seen = 0  # output before this offset was matched already
        self.status = None

    def send(self, data):
        os.write(self.fd, data)

    def _read(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return False
        try:
            chunk = os.read(self.fd, 65536)
        except OSError:
            chunk = b""
        if not chunk:
            raise Failure("the session ended while output was awaited")
        self.out += chunk
        return True

    def expect(self, pattern, timeout=WAIT, what=None):
        """Waits for pattern (bytes regex) in the output not matched yet."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        while True:
            m = regex.search(self.out, self.seen)
            if m:
                self.seen = m.end()
                return m
            left = deadline - time.monotonic()
            if left <= 0 or not self._read(left):
                raise Failure("no %s within %.0f s; output so far:\n%s"
                              % (what or pattern, timeout, self.tail()))

    def prompt(self, name=b"ISQL"):
        """Waits for the prompt and for the editor to take the terminal:
        the prompt is drawn first, and keys that come before are handled by
        the terminal's own line discipline (where Ctrl-D and Ctrl-C mean
        something else)."""
        m = self.expect(re.escape(name + b"> "), what=(name + b"> ").decode())
        deadline = time.monotonic() + WAIT
        while termios.tcgetattr(self.fd)[3] & termios.ICANON:
            if time.monotonic() > deadline:
                raise Failure("the editor did not take the terminal:\n" + self.tail())
            time.sleep(0.01)
        return m

    def type(self, text):
        """Types text and waits until the editor has shown it, so that keys
        sent next (Ctrl-C) find it in the line being edited."""
        self.send(text)
        self.expect(re.escape(text), what="the echo of %r" % text)

    def line(self, text):
        self.send(text + ENTER)

    def since(self, offset):
        return self.out[offset:]

    def finish(self):
        """Ctrl-D at a fresh prompt; returns the exit status."""
        self.prompt()
        self.send(CTRL_D)
        self.expect(rb"finished successfully", what="the closing lines")
        return self.wait()

    def wait(self, timeout=WAIT):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = status
                try:
                    while self._read(0.1):
                        pass
                except Failure:
                    pass
                os.close(self.fd)
                return status
            try:
                self._read(0.1)
            except Failure:
                pass
        os.kill(self.pid, signal.SIGKILL)
        raise Failure("the session did not end; output:\n" + self.tail())

    def kill(self):
        if self.status is None:
            try:
                os.kill(self.pid, signal.SIGKILL)
                os.waitpid(self.pid, 0)
            except OSError:
                pass

    def tail(self, n=3000):
        return self.out[-n:].decode("utf-8", "replace")


def check(cond, message, session=None):
    if not cond:
        raise Failure(message + ("\noutput:\n" + session.tail() if session else ""))


def connect(s, dsn="sqlite"):
    s.prompt()
    s.line(b"connect " + dsn.encode())
    s.expect(rb"Elapsed time", what="the end of CONNECT")


def result_row(s, value):
    """Waits for a one-column result whose only row is value."""
    s.expect(re.escape(value) + rb"\t\r\n\r\nRows selected = 1", what="row " + value.decode())


# ---- cases --------------------------------------------------------------------

def case_editing(wsql):
    """Ctrl-A and the arrow keys edit a line before Enter; Up recalls it."""
    s = Session(wsql)
    try:
        connect(s)
        s.prompt()
        s.send(b"elect 6*7 as answer;" + CTRL_A + b"s" + ENTER)
        result_row(s, b"42")
        s.prompt()
        s.send(b"select 3 as arrow;" + LEFT * len(b" as arrow;") + b"4" + ENTER)
        result_row(s, b"34")
        s.prompt()
        s.send(UP + ENTER)
        result_row(s, b"34")
        check(os.WEXITSTATUS(s.finish()) == 0, "exit status not 0", s)
    finally:
        s.kill()


def history_path():
    return os.path.join(os.environ["HOME"], ".wsql_history")


def case_history(wsql):
    """Lines are kept across sessions; lines with passwords never are."""
    s = Session(wsql)
    try:
        connect(s)
        s.prompt()
        s.line(b"select 'kept-line' as h;")
        result_row(s, b"kept-line")
        s.prompt()
        s.line(b"connect someone*SecretOne@sqlite")
        s.expect(rb"Elapsed time")
        s.prompt()
        # Up skips the password line: the statement before it comes back.
        s.send(UP + ENTER)
        result_row(s, b"kept-line")
        s.prompt()
        s.line(b'CustomConnect "DSN=sqlite;pWd=SecretTwo"')
        s.expect(rb"Elapsed time")
        s.prompt()
        s.line(b"MULTICONNECT 1 someone*SecretThree@sqlite")
        s.expect(rb"Elapsed time")
        s.prompt()
        s.line(b"multidisconnect")
        s.expect(rb"Elapsed time")
        check(os.WEXITSTATUS(s.finish()) == 0, "exit status not 0", s)
    finally:
        s.kill()

    with open(history_path(), "rb") as f:
        saved = f.read()
    for secret in (b"SecretOne", b"SecretTwo", b"SecretThree"):
        check(secret not in saved, "a password reached the history file:\n%r" % saved)
    check(b"kept-line" in saved and b"multidisconnect" in saved,
          "typed lines missing from the history file:\n%r" % saved)
    mode = os.stat(history_path()).st_mode & 0o777
    check(mode == 0o600, "history file mode %o, not 600" % mode)

    s = Session(wsql)
    try:
        connect(s)
        s.prompt()
        # Newest first: this session's CONNECT, then multidisconnect, then the
        # statement (its recall earlier in the first session).
        s.send(UP + UP + UP + ENTER)
        result_row(s, b"kept-line")
        check(os.WEXITSTATUS(s.finish()) == 0, "exit status not 0", s)
    finally:
        s.kill()


def case_history_setting(wsql):
    """HistoryFile in odbcisql.ini moves the history file, or turns it off."""
    with open("odbcisql.ini", "w") as f:
        f.write("[Common]\nHistoryFile = ~/elsewhere_history\n")
    s = Session(wsql)
    try:
        s.prompt()
        s.line(b"echo moved")
        s.expect(rb"Elapsed time")
        check(os.WEXITSTATUS(s.finish()) == 0, "exit status not 0", s)
    finally:
        s.kill()
    moved = os.path.join(os.environ["HOME"], "elsewhere_history")
    check(os.path.exists(moved), "no history file at the configured place")
    check(not os.path.exists(history_path()), "the default history file was written")

    with open("odbcisql.ini", "w") as f:
        f.write("[Common]\nHistoryFile=\n")
    before = os.listdir(os.environ["HOME"])
    s = Session(wsql)
    try:
        s.prompt()
        s.line(b"echo kept nowhere")
        s.expect(rb"Elapsed time")
        s.prompt()
        # The history of the session itself still works.
        s.send(UP + ENTER)
        s.expect(rb"kept nowhere\r\n(.|\r|\n)*kept nowhere\r\n", what="the recalled ECHO")
        check(os.WEXITSTATUS(s.finish()) == 0, "exit status not 0", s)
    finally:
        s.kill()
    check(os.listdir(os.environ["HOME"]) == before, "a history file was written")


def case_completion(wsql):
    """Tab completes keywords and, while connected, table names."""
    s = Session(wsql)
    try:
        connect(s)
        s.prompt()
        # "tab" is completed as far as "table" and "tables" agree.
        s.send(b"sho" + TAB + b"tab" + TAB + b"s" + ENTER)
        s.expect(rb"TABLE_NAME", what="SHOW TABLES output")
        s.expect(rb"Rows selected = \d+")
        s.prompt()
        s.send(b"SEL" + TAB + b"count(*) as n FROM em" + TAB + b";" + ENTER)
        s.expect(rb"n\t\r\n\r\n\d+\t\r\n\r\nRows selected = 1", what="the count from emp")
        s.prompt()
        s.line(b"disconnect")
        s.expect(rb"Elapsed time")
        s.prompt()
        # Not connected: only keywords are offered, so "de" becomes "delete".
        s.send(b"de" + TAB + b"le" + TAB + CTRL_A + b"echo [" + ENTER)
        s.expect(rb"\[delete \r\n", what="the ECHO of the completed keyword")
        check(os.WEXITSTATUS(s.finish()) == 0, "exit status not 0", s)
    finally:
        s.kill()


def case_ctrlc_prompt(wsql):
    """Ctrl-C drops the line or statement being typed; the session goes on."""
    s = Session(wsql)
    try:
        connect(s)
        s.prompt()
        s.type(b"select 'never' as dropped")
        s.send(CTRL_C)
        s.prompt()
        s.send(CTRL_C)  # at an empty prompt: just a fresh prompt
        s.prompt()
        s.line(b"select 'multi' as dropped2")
        s.prompt(b"Cont")
        s.type(b"where")
        s.send(CTRL_C)
        s.prompt()
        s.line(b"select 'after' as kept;")
        result_row(s, b"after")
        check(b"dropped" not in s.out.split(b"dropped2")[-1] and b"dropped2\t" not in s.out,
              "a dropped statement ran", s)
        check(os.WEXITSTATUS(s.finish()) == 0, "exit status not 0", s)
    finally:
        s.kill()


def case_cancel(wsql):
    """Ctrl-C cancels a long statement on PostgreSQL; the session goes on."""
    if not os.environ.get("WSQL_HAVE_PG"):
        print("terminal/cancel: no PostgreSQL test server (see scripts/testenv)")
        sys.exit(1 if os.environ.get("WSQL_REQUIRE_DB") else 77)
    s = Session(wsql)
    try:
        connect(s, "pg")
        s.prompt()
        s.line(b"select pg_sleep(30);")
        # Ctrl-C before the editor took the line would drop it unread.
        s.expect(rb"pg_sleep\(30\);\r\n", what="the statement taken")
        # The statement may not have reached the server when the first press
        # comes; presses are repeated until the cancel shows, within 5 s of
        # the first one, far less than the 30 s the statement would take.
        deadline = time.monotonic() + 5.0
        cancelled = None
        while cancelled is None and time.monotonic() < deadline:
            s.send(CTRL_C)
            try:
                cancelled = s.expect(rb"canceling statement due to user request", timeout=0.5)
            except Failure:
                pass
        check(cancelled is not None, "no cancel within 5 s of Ctrl-C", s)
        check(re.search(rb"SQL State *= 57014", s.out) is not None,
              "no SQLSTATE 57014 with the cancel", s)
        s.prompt()
        s.line(b"select 'still here' as alive;")
        result_row(s, b"still here")
        check(os.WEXITSTATUS(s.finish()) == 0, "exit status not 0", s)
    finally:
        s.kill()


def case_cancel_fetch(wsql):
    """Ctrl-C while rows are printed stops them between two rows, also with a
    driver that would go on delivering rows (SQLite); the session goes on."""
    s = Session(wsql)
    try:
        connect(s, "sqlite")
        s.prompt()
        s.line(b"maxrows 0")
        s.expect(rb"Elapsed time", what="the end of MAXROWS")
        s.prompt()
        s.line(b"with recursive n(i) as (select 1 union all select i + 1 from n "
               b"where i < 3000000) select i from n;")
        # The terminal holds only a few kilobytes that were not read yet, so
        # wsql is far from the end of its three million rows at the press.
        s.expect(rb"\r\n1000\t\r\n", what="the first thousand rows")
        s.send(CTRL_C)
        s.expect(rb"SQL: Fetch cancelled by Ctrl-C; the rest of the result set was not read",
                 what="the fetch stopped")
        rows = s.expect(rb"Rows selected = (\d+)\r\n", what="the row count")
        check(int(rows.group(1)) < 3000000, "every row was printed", s)
        s.prompt()
        s.line(b"select 'still here' as alive;")
        result_row(s, b"still here")
        check(os.WEXITSTATUS(s.finish()) == 0, "exit status not 0", s)
    finally:
        s.kill()


def case_sigint_file(wsql):
    """A command file at the terminal: SIGINT ends the session as before."""
    with open("cmds", "w") as f:
        f.write("echo file-started\nwait 60\necho not reached\n")
    s = Session(wsql, ["-c", "cmds"])
    try:
        s.expect(rb"file-started\r\n", what="the ECHO of the file")
        # The WAIT may not have begun: SIGINT ends the session either way.
        os.kill(s.pid, signal.SIGINT)
        status = s.wait()
        check(os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGINT,
              "status %r, not death by SIGINT" % status, s)
        check(b"not reached" not in s.out, "the file went on after SIGINT", s)
    finally:
        s.kill()


def case_decoding(wsql):
    """Typed text is decoded as the plain reader decodes it: by the locale,
    or as UTF-8 once NCMDFILE chose that, where a character beyond U+FFFF
    fails the conversion and ends the input as from a file."""
    s = Session(wsql)
    try:
        s.prompt()
        s.line("echo [h\u00e9llo \u20ac]".encode())
        s.expect(re.escape(" [h\u00e9llo \u20ac]\r\n".encode()), what="the locale-decoded ECHO")
        s.prompt()
        s.line(b"ncmdfile /dev/null")
        s.expect(rb"Elapsed time")
        s.prompt()
        s.line("echo [utf8 \u00e9]".encode())
        s.expect(re.escape(" [utf8 \u00e9]\r\n".encode()), what="the UTF-8-decoded ECHO")
        s.prompt()
        s.send("echo \U0001F600".encode())
        s.expect(rb"SQL: utf8towcs conversion of command failed \r\n", what="the conversion failure")
        s.expect(rb"finished successfully", what="the end of the session")
        status = s.wait()
        check(os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0, "status %r" % status, s)
    finally:
        s.kill()


def case_plain_reader(wsql):
    """Standard input at a terminal, results into a pipe: no editor, the
    prompts as ever on standard output, and Ctrl-C still drops the line."""
    master, slave = os.openpty()
    proc = subprocess.Popen([wsql], stdin=slave, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            start_new_session=False, preexec_fn=lambda: _take_terminal(slave))
    os.close(slave)
    out = b""
    try:
        out = _wait_output(proc, out, 1)
        os.write(master, b"connect sqlite\n")
        out = _wait_output(proc, out, 2)
        os.write(master, b"select 'x' as dropped")
        _wait_echo(master, b"dropped")
        os.write(master, CTRL_C)
        out = _wait_output(proc, out, 3)
        os.write(master, b"select 'after' as kept;\n")
        out = _wait_output(proc, out, 4)
        os.write(master, CTRL_D)
        rest, _ = proc.communicate(timeout=WAIT)
        out += rest
    finally:
        if proc.poll() is None:
            proc.kill()
        os.close(master)
    check(proc.returncode == 0, "status %r:\n%s" % (proc.returncode, out.decode()))
    check(b"kept\t\n\nafter\t\n\nRows selected = 1\n" in out, "no result:\n" + out.decode())
    check(b"dropped" not in out, "the dropped line ran:\n" + out.decode())
    check(b"\x1b" not in out and out.count(b"ISQL> ") >= 4,
          "not the plain prompts:\n" + out.decode())


def _take_terminal(fd):
    """In the child: a session of its own with fd as its controlling
    terminal, so that Ctrl-C on it reaches wsql."""
    os.setsid()
    fcntl.ioctl(fd, termios.TIOCSCTTY, 0)


def _wait_output(proc, out, prompts):
    """Reads the results pipe until it holds that many prompts."""
    deadline = time.monotonic() + WAIT
    while out.count(b"ISQL> ") < prompts:
        left = deadline - time.monotonic()
        ready, _, _ = select.select([proc.stdout], [], [], max(left, 0))
        chunk = os.read(proc.stdout.fileno(), 4096) if ready else b""
        if not chunk:
            raise Failure("no prompt %d; output:\n%s" % (prompts, out.decode()))
        out += chunk
    return out


def _wait_echo(master, text):
    seen = b""
    deadline = time.monotonic() + WAIT
    while text not in seen:
        left = deadline - time.monotonic()
        ready, _, _ = select.select([master], [], [], max(left, 0))
        if not ready:
            raise Failure("no echo of %r; terminal showed %r" % (text, seen))
        seen += os.read(master, 4096)


def case_sigint_piped(wsql):
    """Input from a pipe: SIGINT flushes and ends the session as it always did."""
    proc = subprocess.Popen([wsql], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    try:
        proc.stdin.write(b"echo piped-started\nwait 60\necho not reached\n")
        proc.stdin.flush()
        seen = b""
        deadline = time.monotonic() + WAIT
        while b"piped-started" not in seen and time.monotonic() < deadline:
            ready, _, _ = select.select([proc.stdout], [], [], 1)
            if ready:
                chunk = os.read(proc.stdout.fileno(), 4096)
                if not chunk:
                    break
                seen += chunk
        check(b"piped-started" in seen, "no ECHO output:\n" + seen.decode())
        proc.send_signal(signal.SIGINT)
        rest, _ = proc.communicate(timeout=WAIT)
    finally:
        if proc.poll() is None:
            proc.kill()
    check(proc.returncode == -signal.SIGINT, "status %r, not death by SIGINT" % proc.returncode)
    check(b"not reached" not in seen + rest, "the input went on after SIGINT")


CASES = {
    "decoding": case_decoding,
    "plain_reader": case_plain_reader,
    "sigint_piped": case_sigint_piped,
    "editing": case_editing,
    "history": case_history,
    "history_setting": case_history_setting,
    "completion": case_completion,
    "ctrlc_prompt": case_ctrlc_prompt,
    "cancel": case_cancel,
    "cancel_fetch": case_cancel_fetch,
    "sigint_file": case_sigint_file,
}


def main():
    wsql, name = sys.argv[1], sys.argv[2]
    try:
        CASES[name](wsql)
    except Failure as e:
        print("terminal/%s: FAIL: %s" % (name, e))
        return 1
    print("terminal/%s: ok" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
