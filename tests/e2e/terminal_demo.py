#!/usr/bin/env python3
"""console_demo in terminal mode on a pseudo-terminal: keys typed as a
terminal sends them must come back as the console's key bytes, drawn in
colour on the alternate screen, and the terminal must be given back as it
was when the program ends by Escape or by a signal.

    terminal_demo.py CONSOLE_DEMO WORKDIR
"""
import os
import pty
import select
import signal
import sys
import time

demo, work = sys.argv[1], sys.argv[2]
os.makedirs(os.path.join(work, "sys"), exist_ok=True)
failures = []


def start(extra_env):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(QUIRAL_CONSOLE="terminal", QUIRAL_AUDIO="null", TERM="xterm-256color",
               QUIRAL_SYSDIR=os.path.join(work, "sys"), **extra_env)
    if "COLORTERM" not in extra_env:
        env.pop("COLORTERM", None)
    pid, fd = pty.fork()
    if pid == 0:
        os.execve(demo, [demo], env)
    return pid, fd


def read_until(fd, needle, seconds=10.0):
    out = b""
    end = time.time() + seconds
    while needle not in out and time.time() < end:
        ready, _, _ = select.select([fd], [], [], 0.1)
        if ready:
            try:
                out += os.read(fd, 65536)
            except OSError:
                break
    return out


def finish(pid, fd):
    out = read_until(fd, b"\x1b[?1049l")
    _, status = os.waitpid(pid, 0)
    return out, status


def check(cond, what):
    if not cond:
        failures.append(what)


# Keys as a terminal sends them, and the console's bytes the demo echoes.
dump = os.path.join(work, "screen.txt")
if os.path.exists(dump):
    os.remove(dump)
pid, fd = start({"COLORTERM": "truecolor", "QUIRAL_SCREEN": dump})
screen = read_until(fd, "termina".encode())
check(b"\x1b[?1049h" in screen, "alternate screen not entered")
check("Demonstração".encode() in screen, "prompt not drawn in UTF-8")
check(b"\x1b[0;38;2;255;255;255;48;2;0;0;255m" in screen, "prompt not white on blue in 24-bit colour")
keys = [("ç".encode(), b"\xc3\xa7"), (b"\x1b[A", b"<0 72>"), (b"\x1b[1;5A", b"<0 113>"),
        (b"\x1bOP", b"<0 59>"), (b"\x1b[24;5~", b"<0 105>"), (b"\x1b[2;2~", b"<0 254>"),
        (b"\x01", b"<1>"), (b"\x7f", b"<8>"), (b"\x1b\x01", b"<0 30>"), (b"\x1b[1;3D", b"<0 75>")]
for sent, echoed in keys:
    os.write(fd, sent)
    got = read_until(fd, echoed, 5)
    check(echoed in got, "%r did not come back as %r" % (sent, echoed))
os.write(fd, b"\x1b")  # a lone Escape, after the escape time-out
out, status = finish(pid, fd)
check(os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0, "Escape did not end the demo with 0: %r" % status)
check(out.endswith(b"\x1b[?1049l"), "the normal screen was not given back last")
check(os.path.exists(dump) and open(dump, encoding="utf-8").read().splitlines()[1:3] ==
      ["ç<0 72><0 113><0 59><0 105><0 254><1><8><0 30><0 75>", "Fim."],
      "the screen dump is not the demo's last screen")

# A signal ends the demo with the terminal given back too; 16 colours here.
pid, fd = start({})
screen = read_until(fd, "termina".encode())
check(b"\x1b[0;97;104m" in screen, "prompt not in the 16 ANSI colours without COLORTERM")
os.kill(pid, signal.SIGTERM)
out, status = finish(pid, fd)
check(os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGTERM, "not ended by the signal: %r" % status)
check(b"\x1b[?1049l" in out, "terminal not given back after SIGTERM")

for f in failures:
    print("FAIL:", f)
if not failures:
    print("PASS terminal")
sys.exit(1 if failures else 0)
