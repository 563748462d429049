#!/usr/bin/env python3
"""Drives `zarn repl` through a pseudo-terminal, as a user at a keyboard would:
the prompts, an entry over several lines, history recall with the up arrow,
Ctrl+C cancelling an entry being typed and one running, Ctrl+D leaving, and
the history file carried into the next session. Every wait is bounded.

    terminal_session.py ZARN
"""
import os
import pty
import select
import signal
import stat
import sys
import tempfile
import time

ZARN = sys.argv[1]
# Generous: the suite also runs under the sanitizers on a busy machine.
WAIT_SECONDS = 30
UP_ARROW = "\x1b[A"
CTRL_C = "\x03"
CTRL_D = "\x04"


class Session:
    def __init__(self, home):
        self.output = ""
        self.seen = 0  # output before this offset has been matched already
        pid, fd = pty.fork()
        if pid == 0:
            env = dict(os.environ, HOME=home, TERM="xterm")
            env.pop("USERPROFILE", None)
            os.execve(ZARN, [ZARN, "repl"], env)
        self.pid, self.fd = pid, fd

    def read_some(self, deadline):
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            return False
        ready, _, _ = select.select([self.fd], [], [], remaining)
        if not ready:
            return False
        try:
            chunk = os.read(self.fd, 4096)
        except OSError:
            return False
        if not chunk:
            return False
        self.output += chunk.decode("utf-8", "replace")
        return True

    def expect(self, text):
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            found = self.output.find(text, self.seen)
            if found >= 0:
                self.seen = found + len(text)
                return
            if not self.read_some(deadline):
                self.fail("expected %r" % text)

    def expect_line(self, text):
        """A whole line of output, not the same text in an echoed entry."""
        self.expect("\n" + text + "\r\n")

    def send(self, keys):
        # As a person types: a moment after the prompt shows. libedit puts the
        # terminal into its editing mode around showing the prompt, and keys
        # that arrive before that are taken by the terminal's own line mode.
        time.sleep(0.2)
        os.write(self.fd, keys.encode())

    def wait_exit(self):
        deadline = time.monotonic() + WAIT_SECONDS
        while time.monotonic() < deadline:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid == self.pid:
                return os.waitstatus_to_exitcode(status)
            self.read_some(min(deadline, time.monotonic() + 0.1))
        self.fail("the session did not end")

    def fail(self, why):
        try:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        except OSError:
            pass
        sys.exit("FAIL: %s\n--- terminal output after the last match ---\n%s"
                 % (why, self.output[self.seen:]))


def check(condition, why):
    if not condition:
        sys.exit("FAIL: " + why)


with tempfile.TemporaryDirectory() as home:
    s = Session(home)
    s.expect("Ctrl+D leaves")
    s.expect("zarn> ")
    s.send("let x: int = 41\r")
    s.expect("zarn> ")
    s.send("x + 1\r")
    s.expect_line("42")
    s.expect("zarn> ")

    # An open brace continues the entry under the continuation prompt.
    s.send("function f(): int {\r")
    s.expect("  ... ")
    s.send("return x * 2\r")
    s.expect("  ... ")
    s.send("}\r")
    s.expect("zarn> ")
    s.send("f()\r")
    s.expect_line("82")
    s.expect("zarn> ")

    # The up arrow brings back the line before; Enter runs it again.
    s.send(UP_ARROW)
    s.expect("f()")
    s.send("\r")
    s.expect_line("82")
    s.expect("zarn> ")

    # Ctrl+C cancels an entry still being typed: nothing of it is declared.
    s.send("let y: int = (1 +\r")
    s.expect("  ... ")
    s.send(CTRL_C)
    s.expect("zarn> ")
    s.send("y\r")
    s.expect("E0017")
    s.expect("zarn> ")

    # Ctrl+C also ends an entry that runs without end; the session goes on.
    # Once it shows that it runs, the terminal is back in its usual mode and
    # Ctrl+C reaches the session as an interrupt.
    s.send('println("loop" + "ing"); while (true) { x = x }\r')
    s.expect_line("looping")
    time.sleep(0.2)
    s.send(CTRL_C)
    s.expect("Runtime error: interrupted")
    s.expect("zarn> ")
    s.send("x\r")
    s.expect_line("41")
    s.expect("zarn> ")

    # Ctrl+D on an empty line leaves with status 0.
    s.send(CTRL_D)
    check(s.wait_exit() == 0, "Ctrl+D should leave with status 0")

    history = os.path.join(home, ".zarn_history")
    check(os.path.isfile(history), "the history file was not written")
    check(stat.S_IMODE(os.stat(history).st_mode) == 0o600,
          "the history file should be readable by its owner only")

    # The next session starts with that history: the last line was "x".
    s = Session(home)
    s.expect("zarn> ")
    s.send("let x: int = 7\r")
    s.expect("zarn> ")
    s.send(UP_ARROW + UP_ARROW + "\r")
    s.expect_line("7")
    s.expect("zarn> ")
    s.send(CTRL_D)
    check(s.wait_exit() == 0, "the second session should leave with status 0")

# A home where no history can be written costs nothing but the history.
s = Session("/nonexistent/zarn-home")
s.expect("zarn> ")
s.send("6 * 7\r")
s.expect_line("42")
s.expect("zarn> ")
s.send(CTRL_D)
check(s.wait_exit() == 0, "a session without a history file should still work")
print("ok")
