#!/usr/bin/env python3
"""console_demo in terminal mode on a pseudo-terminal: keys typed as a
terminal sends them must come back as the console's key bytes, drawn in
colour on the alternate screen, and the terminal must be given back as it
was when the program ends by Escape or by a signal. A terminal smaller than
the console shows the part around the cursor and says so; a scrolled console
scrolls the terminal; a Latin-1 locale gets Latin-1 bytes; linear mode writes
plain lines.

    terminal_demo.py CONSOLE_DEMO WORKDIR
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

demo, work = sys.argv[1], sys.argv[2]
os.makedirs(os.path.join(work, "sys"), exist_ok=True)
failures = []


def start(extra_env, size=(80, 25)):
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "LC_ALL", "LC_CTYPE", "LANG")}
    env.update(QUIRAL_CONSOLE="terminal", QUIRAL_AUDIO="null", TERM="xterm-256color",
               QUIRAL_SYSDIR=os.path.join(work, "sys"))
    env.update(extra_env)
    if "COLORTERM" not in extra_env:
        env.pop("COLORTERM", None)
    pid, fd = pty.fork()
    if pid == 0:
        fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", size[1], size[0], 0, 0))
        os.execve(demo, [demo], env)
    return pid, fd


def type_and_read(fd, data, needle, seconds=5.0):
    os.write(fd, data)
    return read_until(fd, needle, seconds)


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

# An 80x24 terminal: the row of the cursor stays in view, nothing is drawn
# below the terminal, and the console's scrolling is the terminal's.
pid, fd = start({}, (80, 24))
screen = read_until(fd, b"por 24")
check(b"Terminal de 80 por 24" in screen, "an 80x24 terminal was not told it is too small")
out = type_and_read(fd, b"\r" * 30 + b"fim", b"fim")
check(b"\x1b[1;24r" in out, "the console's scroll did not scroll the terminal's 24 rows")
check(b"\x1b[25;" not in screen + out, "drew on a 25th row of an 80x24 terminal")
check(out.rstrip(b"\x1b[?25h").endswith(b"\x1b[24;4H") or b"fim\x1b[24;4H" in out,
      "the cursor is not on the terminal's last row after the text")
os.write(fd, b"\x1b")
finish(pid, fd)

# A narrow, short terminal: the columns around the cursor.
pid, fd = start({}, (40, 10))
read_until(fd, b"por 10")
out = type_and_read(fd, b"a" * 60 + b"Z", b"Z")
moves = re.findall(rb"\x1b\[(\d+);(\d+)H", out)
check(moves and all(int(c) <= 40 and int(r) <= 10 for r, c in moves), "drew outside a 40x10 terminal")
os.write(fd, b"\x1b")
finish(pid, fd)

# A Latin-1 locale: output and input in Latin-1.
locales = os.path.join(work, "locales")
os.makedirs(locales, exist_ok=True)
latin1 = os.path.join(locales, "pt_BR.ISO-8859-1")
if not os.path.isdir(latin1):
    subprocess.run(["localedef", "-i", "pt_BR", "-f", "ISO-8859-1", latin1],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
if os.path.isdir(latin1):
    pid, fd = start({"LOCPATH": locales, "LANG": "pt_BR.ISO-8859-1"})
    screen = read_until(fd, b"termina")
    check(b"Demonstra\xe7\xe3o" in screen, "the prompt did not come in Latin-1")
    out = type_and_read(fd, b"\xe9", b"\xe9")
    check(b"\xe9" in out and b"\xc3" not in out, "a Latin-1 key did not come back in Latin-1")
    os.write(fd, b"\x1b")
    finish(pid, fd)
else:
    failures.append("localedef could not make a Latin-1 locale (package locales)")

# Linear mode: plain lines, nothing but the caption in escape sequences.
pid, fd = start({"QUIRAL_CONSOLE": "linear"})
out = read_until(fd, b"termina")
out += type_and_read(fd, b"abc\rde\x7ff\r", b"f\r\n")
os.write(fd, b"\x1b")
_, status = os.waitpid(pid, 0)
while True:
    ready, _, _ = select.select([fd], [], [], 0.5)
    if not ready:
        break
    try:
        chunk = os.read(fd, 65536)
    except OSError:
        break
    if not chunk:
        break
    out += chunk
plain = re.sub(rb"\x1b\]2;[^\x07]*\x07", b"", out)
check(b"\x1b" not in plain, "linear mode wrote an escape sequence other than the caption: %r" % plain[:200])
check("Demonstração do console: tecle; Esc termina\r\n".encode() in plain, "linear mode: no prompt line")
check(b"\r\nabc\r\nde<8>f\r\n" in plain, "linear mode: typed lines not written plainly: %r" % plain)
check(os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0, "linear mode did not end with 0")

for f in failures:
    print("FAIL:", f)
if not failures:
    print("PASS terminal")
sys.exit(1 if failures else 0)
