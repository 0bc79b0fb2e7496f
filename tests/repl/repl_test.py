#!/usr/bin/env python3
"""The interactive quill through a pseudo-terminal, as a user meets it: unfinished entries go on
at the continuation prompt, globals stay between entries, an error is followed by a working line,
warnings show, the arrow key recalls the last entry, and the history is kept across runs.

usage: repl_test.py QUILL
"""
import os
import pty
import select
import sys
import tempfile
import time

QUILL = sys.argv[1]
failures = []


class Session:
    def __init__(self, home):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            env = {"HOME": home, "TERM": "xterm", "PATH": "/usr/bin:/bin", "TZ": "UTC"}
            os.execve(QUILL, [QUILL], env)
        self.seen = ""

    def read_until(self, marker, timeout=20.0):
        """Everything up to and including the next `marker`; fails the test on time-out."""
        end = time.monotonic() + timeout
        while marker not in self.seen:
            left = end - time.monotonic()
            if left <= 0:
                raise AssertionError(f"no {marker!r} after {self.seen[-300:]!r}")
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                try:
                    chunk = os.read(self.fd, 4096)
                except OSError:
                    chunk = b""
                if not chunk:
                    raise AssertionError(f"quill ended before {marker!r}: {self.seen[-300:]!r}")
                self.seen += chunk.decode("utf-8", "replace").replace("\r", "")
        head, _, self.seen = self.seen.partition(marker)
        return head

    def entry(self, text, prompt="\n> ", echo=None):
        """Sends a line and returns what was printed before the next prompt. The terminal first
        echoes the line (`echo`, when it differs from what was typed), which is left out."""
        # The line editor switches the terminal to raw mode after it prints the prompt; input
        # that comes sooner is echoed raw (an arrow key as "^[[A").
        time.sleep(0.3)
        os.write(self.fd, text.encode() + b"\r")
        out = self.read_until(prompt)
        lines = out.split("\n")
        echo = text if echo is None else echo
        for i, line in enumerate(lines):
            if echo in line:
                lines = lines[i + 1:]
                break
        # A redraw may repeat the echo.
        while lines and lines[0].strip() in (echo, "> " + echo, "... " + echo):
            lines.pop(0)
        return "\n".join(lines).strip()

    def finish(self):
        """Ends the input with Ctrl-D and returns the exit status; never waits more than 20 s."""
        end = time.monotonic() + 20
        next_eof = 0.0
        while True:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return os.waitstatus_to_exitcode(status)
            now = time.monotonic()
            if now >= end:
                os.kill(self.pid, 9)
                os.waitpid(self.pid, 0)
                raise AssertionError("quill did not leave at the end of input")
            if now >= next_eof:
                # Ctrl-U empties the line first: Ctrl-D only ends the input on an empty line.
                os.write(self.fd, b"\x15\x04")
                next_eof = now + 2
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if ready:
                try:
                    os.read(self.fd, 4096)
                except OSError:
                    pass


def check(what, got, expected):
    if got != expected:
        failures.append(f"{what}: got {got!r}, expected {expected!r}")


with tempfile.TemporaryDirectory() as home:
    s = Session(home)
    s.read_until("> ")
    # An unfinished entry continues at "... " and runs once whole.
    check("continued", s.entry("var a = 1 +", prompt="... "), "")
    check("completed", s.entry("2"), "undefined")
    check("global kept", s.entry("a * 10"), "30")
    check("postfix is no trailing operator", s.entry("a++"), "3")
    check("after postfix", s.entry("a--"), "4")
    check("closer alone is an error", s.entry(")").startswith("error:"), True)
    s.entry("function twice(x) {", prompt="... ")
    s.entry("  return 2 * x;", prompt="... ")
    check("function defined", s.entry("}"), "undefined")
    check("function called", s.entry("twice(a)"), "6")
    # Errors are shown and the session goes on with its globals.
    check("thrown", s.entry("throw 'boom'").split("\n")[0], "boom")
    check("after an error", s.entry("a + 1"), "4")
    check("compile error", s.entry("var = ;").startswith("error: line 0:"), True)
    check("unterminated string is an error, not a continuation",
          s.entry("'abc").startswith("error:"), True)
    # An empty line ends an entry that would go on for ever.
    s.entry("[1,", prompt="... ")
    check("empty line ends the entry", s.entry("").startswith("error:"), True)
    # Warnings show.
    warned = s.entry("noSuchName")
    check("warning", warned, 'Warning: using undefined variable "noSuchName"\nundefined')
    # The up arrow recalls the last entry.
    check("recalled", s.entry("\x1b[A", echo="noSuchName"), warned)
    check("exit status", s.finish(), 0)

    history = open(os.path.join(home, ".quill_history"), encoding="utf-8", errors="replace").read()
    check("history file", "twice(a)" in history, True)
    # A new session finds the old entries under the arrow key, with fresh globals.
    s = Session(home)
    s.read_until("> ")
    check("history across runs", s.entry("\x1b[A", echo="noSuchName"), warned)
    check("fresh globals", s.entry("typeof twice").split("\n")[-1], "undefined")
    s.finish()

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("repl: all checks passed")
