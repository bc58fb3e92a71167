#!/usr/bin/env python3
"""console_demo in window mode on a private virtual display (Xvfb), typed at
with xdotool: the screen dump must equal the script console's for the same
key script, cells must show in the colours of the palette and the colour
map, the magnifier must enlarge the picture under the right button and give
it back on release, a resized window must redraw the grid to fit, and
Ctrl+Break must end the program with 255. With
naviro and its generated sound library, the line editor's copy and paste go
through the display's clipboard and say what the script console says.

    window_e2e.py CONSOLE_DEMO KEY_CASES WORKDIR [NAVIRO QUIRAL_ROOT]

Exit code 77 (skipped) when Xvfb or xdotool is missing.
"""
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time
import zlib

demo, cases, work = sys.argv[1], sys.argv[2], sys.argv[3]
naviro, quiral_root = (sys.argv[4], sys.argv[5]) if len(sys.argv) > 5 else (None, None)
failures = []
CELL_W, CELL_H = 10, 20  # LARGURALETRA, ALTURALETRA of the test configuration

if not all(shutil.which(p) for p in ("Xvfb", "xdotool", "xwd", "xmodmap")):
    print("SKIP: Xvfb, xdotool, xwd or xmodmap missing (scripts/install-deps.sh installs them)")
    sys.exit(77)


def x_client(args, env):
    """An X client's run. Xvfb resets a connection now and then when clients
    come and go quickly; a client that could not open the display runs again."""
    for _ in range(5):
        r = subprocess.run(args, env=env, capture_output=True, text=True)
        if r.returncode == 0 or not re.search(r"(?i)open display", r.stderr):
            return r
        time.sleep(0.1)
    return r


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


# Key-script names and the X key names that type them.
X_NAMES = {"Enter": "Return", "Esc": "Escape", "Tab": "Tab", "Backspace": "BackSpace",
           "Space": "space", "Up": "Up", "Down": "Down", "Left": "Left", "Right": "Right",
           "Home": "Home", "End": "End", "PgUp": "Prior", "PgDn": "Next", "Ins": "Insert",
           "Del": "Delete", "Ctrl": "ctrl", "Alt": "alt", "Shift": "shift"}


def x_key(name):
    if name in X_NAMES:
        return X_NAMES[name]
    if re.fullmatch(r"F\d+", name):
        return name
    if len(name) == 1 and name.isalnum():
        return name.lower()
    raise ValueError("no X key for " + name)


def xdotool_steps(script):
    """The xdotool commands that type a key script (line breaks ignored)."""
    steps = []
    text = script.replace("\n", "")
    i = 0
    while i < len(text):
        if text.startswith("{{", i):
            steps.append(["type", "--delay", "60", "{"])
            i += 2
            continue
        if text[i] != "{":
            j = i
            while j < len(text) and text[j] != "{":
                j += 1
            # Letters outside ASCII are typed slowly: xdotool may change the
            # keyboard map for them.
            for run in re.findall(r"[\x00-\x7f]+|[^\x00-\x7f]", text[i:j]):
                steps.append(["type", "--delay", "30" if run.isascii() else "200", run])
            i = j
            continue
        j = text.index("}", i)
        token = text[i + 1:j]
        i = j + 1
        if token.startswith("chord "):
            keys = [x_key(k) for k in token.split()[1:]]
            steps += [["keydown", k] for k in keys] + [["keyup", k] for k in keys]
        else:
            steps.append(["key", "+".join(x_key(k) for k in token.split("+"))])
    return steps


def read_xwd(path):
    """(width, height, pixel(x, y) -> (r, g, b)) of an xwd file."""
    data = open(path, "rb").read()
    h = struct.unpack(">25I", data[:100])
    header, width, height, order, bpp, bpl, ncolors = h[0], h[4], h[5], h[7], h[11], h[12], h[19]
    base = header + ncolors * 12
    size = bpp // 8

    def pixel(x, y):
        at = base + y * bpl + x * size
        v = int.from_bytes(data[at:at + size], "little" if order == 0 else "big")
        return ((v >> 16) & 255, (v >> 8) & 255, v & 255)
    return width, height, pixel


def save_png(shot, path):
    width, height, pixel = shot
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pixel(x, y))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" +
                chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


class Display:
    def __init__(self):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(w,), stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        while not number.endswith(b"\n"):
            part = os.read(r, 16)
            if not part:
                break
            number += part
        os.close(r)
        self.name = ":" + number.decode().strip()
        # xdotool types a character missing from the keyboard map by changing
        # the map for a moment, which a program may see too late; the test's
        # accented letters get keys of their own before any window opens.
        r = x_client(["xmodmap", "-display", self.name, "-e", "keycode 250 = aacute Aacute",
                      "-e", "keycode 251 = ccedilla Ccedilla"], os.environ)
        r.check_returncode()

    def stop(self):
        os.kill(self.proc.pid, signal.SIGTERM)
        self.proc.wait()


class Run:
    """console_demo in window mode on the display, its files in a directory."""

    def __init__(self, display, name, ini, program=None, title="console_demo", extra=None):
        self.dir = os.path.join(work, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(os.path.join(self.dir, "sys"))
        with open(os.path.join(self.dir, "sys", "QUIRAL.INI"), "w") as f:
            f.write(ini)
        self.env = dict(os.environ, DISPLAY=display.name, QUIRAL_CONSOLE="window",
                        QUIRAL_AUDIO="null", QUIRAL_SYSDIR=os.path.join(self.dir, "sys"),
                        QUIRAL_SCREEN=os.path.join(self.dir, "screen.txt"),
                        QUIRAL_ATTRS=os.path.join(self.dir, "attrs.txt"),
                        QUIRAL_LOG=os.path.join(self.dir, "log.txt"))
        self.env.update(extra or {})
        self.env.pop("WAYLAND_DISPLAY", None)
        self.proc = subprocess.Popen([program or demo], env=self.env, stderr=subprocess.PIPE)
        self.window = None
        end = time.time() + 60  # a loaded machine may take long to map the first window
        while time.time() < end and self.proc.poll() is None:
            out = self.xdotool("search", "--onlyvisible", "--name", title, check=False)
            if out.strip():
                self.window = out.split()[0]
                break
            time.sleep(0.05)
        if self.window is None:
            code = self.proc.poll()
            seen = self.xdotool("search", "--name", title, check=False).split()
            check(False, "%s: no window titled %s (exit code %s, windows by name %s): %s" %
                  (name, title, code, seen, self.stuck_report()))
            return
        # Without a window manager the focus follows the pointer.
        self.xdotool("mousemove", "--window", self.window, "5", "5")
        self.xdotool("windowfocus", "--sync", self.window)
        # Ready when the banner (white on colour 1) is drawn: the console has
        # opened and the Braille mode's tones are over.
        for _ in range(50 if program is None else 0):
            _, _, pixel = self.shot("ready", png=False)
            if pixel(1, 1) != BLACK:
                break
            time.sleep(0.1)

    def stuck_report(self):
        """Where a program that shows no window is, for the failure message."""
        report = []
        if self.proc.poll() is None and shutil.which("gdb"):
            r = subprocess.run(["gdb", "-p", str(self.proc.pid), "-batch", "-ex", "info threads",
                                "-ex", "thread apply all bt 30", "-ex", "thread 1", "-ex", "frame 0",
                                "-ex", "p *mutex", "-ex", "p (char*)SDL_GetCurrentVideoDriver()"],
                               capture_output=True, text=True)
            report.append(r.stdout[-6000:])
        if shutil.which("xwininfo"):
            tree = subprocess.run(["xwininfo", "-root", "-tree"], env=self.env,
                                  capture_output=True, text=True)
            report.append(tree.stdout[-2000:])
        self.proc.kill()
        report.append(self.proc.stderr.read().decode())
        return "\n".join(report)

    def xdotool(self, *args, check=True):
        r = x_client(["xdotool", *args], self.env)
        if check and r.returncode != 0:
            failures.append("xdotool %s: %s" % (" ".join(args), r.stderr.strip()))
        return r.stdout

    def type_script(self, script):
        for step in xdotool_steps(script):
            self.xdotool(*step)

    def geometry(self):
        out = self.xdotool("getwindowgeometry", "--shell", self.window)
        g = dict(line.split("=", 1) for line in out.split() if "=" in line)
        if "WIDTH" not in g:
            failures.append("no geometry: " + out)
            return 0, 0
        return int(g["WIDTH"]), int(g["HEIGHT"])

    def shot(self, name, png=True):
        path = os.path.join(self.dir, name + ".xwd")
        x_client(["xwd", "-silent", "-id", self.window, "-out", path], self.env).check_returncode()
        shot = read_xwd(path)
        if png:
            save_png(shot, os.path.join(self.dir, name + ".png"))
        return shot

    def settle(self, seconds=0.25):
        time.sleep(seconds)

    def finish(self, expected=0):
        try:
            code = self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            code = "killed"
        err = self.proc.stderr.read().decode()
        check(code == expected, "%s: exit code %s %s" % (self.dir, code, err))
        return open(self.env["QUIRAL_SCREEN"]).read(), open(self.env["QUIRAL_ATTRS"]).read()


def script_run(name, ini, keys):
    """The same key script through the script console."""
    d = os.path.join(work, name + "_script")
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(os.path.join(d, "sys"))
    with open(os.path.join(d, "sys", "QUIRAL.INI"), "w") as f:
        f.write(ini)
    keys_path = os.path.join(d, "keys")
    with open(keys_path, "w", encoding="utf-8") as f:
        f.write(keys)
    env = dict(os.environ, QUIRAL_CONSOLE="script", QUIRAL_AUDIO="null", QUIRAL_KEYS=keys_path,
               QUIRAL_SYSDIR=os.path.join(d, "sys"), QUIRAL_SCREEN=os.path.join(d, "screen.txt"))
    subprocess.run([demo], env=env, timeout=60, capture_output=True)
    return open(env["QUIRAL_SCREEN"]).read()


def cell_colours(shot, column, row, origin):
    """The set of colours inside a cell (1-based column and row)."""
    _, _, pixel = shot
    x0 = origin[0] + (column - 1) * CELL_W
    y0 = origin[1] + (row - 1) * CELL_H
    return {pixel(x, y) for y in range(y0, y0 + CELL_H) for x in range(x0, x0 + CELL_W)}


BLUE, WHITE, YELLOW, RED, BLACK = (0, 0, 255), (255, 255, 255), (255, 255, 0), (255, 0, 0), (0, 0, 0)
SIZE_INI = "[VIDEO]\nLARGURALETRA=%d\nALTURALETRA=%d\n" % (CELL_W, CELL_H)

display = Display()
try:
    # A display that cannot be reached: the program says so and goes on to
    # the terminal (none here, so it ends) instead of drawing a window in
    # memory that nobody sees and waiting for its keys for ever.
    free = 5000 + os.getpid() % 1000  # far from the numbers servers take
    while os.path.exists("/tmp/.X%d-lock" % free) or os.path.exists("/tmp/.X11-unix/X%d" % free):
        free += 1
    for shown in (":%d" % free, ""):
        env = dict(os.environ, DISPLAY=shown, QUIRAL_CONSOLE="window", QUIRAL_AUDIO="null",
                   QUIRAL_SYSDIR=os.path.join(work, "nodisplay"))
        env.pop("WAYLAND_DISPLAY", None)
        env.pop("SDL_VIDEODRIVER", None)
        os.makedirs(env["QUIRAL_SYSDIR"], exist_ok=True)
        try:
            r = subprocess.run([demo], env=env, stdin=subprocess.DEVNULL, capture_output=True,
                               text=True, timeout=30)
            check(r.returncode != 0 and "naviro: no window:" in r.stderr,
                  "DISPLAY=%r: exit code %s, %r" % (shown, r.returncode, r.stderr))
        except subprocess.TimeoutExpired:
            check(False, "DISPLAY=%r: still running after 30 s, with no window" % shown)

    # Keys: the key scripts of the script console's cases, typed for real.
    # X takes Ctrl+Alt+F1-F12 for switching consoles, so the Braille case
    # starts in Braille mode from the configuration instead; one chord is
    # held long enough for the key to repeat.
    braille = "{chord F D}{chord F S J}{chord Space F S J}{chord K}"
    for case, ini, keys, held in (
            ("typing", SIZE_INI,
             open(os.path.join(cases, "typing.keys"), encoding="utf-8").read().strip()
             .removesuffix("{Esc}"), False),
            ("braille", SIZE_INI + "[BRAILLE]\nMODO=1\n", braille, True)):
        run = Run(display, case, ini)
        if run.window is None:
            break
        run.type_script(keys)
        if held:
            run.xdotool("keydown", "f")
            time.sleep(0.8)
            run.xdotool("keydown", "d", "keyup", "f", "keyup", "d")
            keys += "{chord F D}"
        run.type_script("{Esc}")
        window_screen, _ = run.finish()
        script_screen = script_run(case, ini, keys + "{Esc}")
        check(window_screen == script_screen,
              "%s: the window's screen dump differs from the script console's:\n%s\n%s" %
              (case, window_screen, script_screen))

    # Slow scrolling moves the picture up instead of repainting it: the
    # window must look the same as one that repaints.
    pictures = []
    for slow in ("S", "N"):
        run = Run(display, "scroll_" + slow, SIZE_INI + "LENTO=%s\n" % slow)
        if run.window is None:
            break
        lines = [k for i in range(30) for k in (chr(97 + i % 26), "Return")]
        run.xdotool("key", "--delay", "15", *lines)
        run.settle()
        _, _, pixel = run.shot("scrolled")
        pictures.append([pixel(x, y) for y in range(0, 500, 2) for x in range(0, 800, 2)])
        run.xdotool("key", "Escape")
        screen, _ = run.finish()
        check(screen.splitlines()[0] == "h" and screen.splitlines()[22] == "d",
              "scroll_%s: screen dump %r" % (slow, screen[:40]))
    check(len(pictures) == 2 and pictures[0] == pictures[1],
          "the slowly scrolled picture differs from the repainted one")

    # Colours, caret, magnifier and resizing on one window. Colour 1 is
    # mapped to palette entry 4 (red); the attribute plane keeps 1.
    ini = SIZE_INI + "TABCORES=0,4,2,3,4,5,6,7,8,9,10,11,12,13,14,15\nAMPLIF=2\n"
    run = Run(display, "picture", ini)
    if run.window is not None:
        run.xdotool("type", "--delay", "60", "ab")
        run.settle()
        width, height = run.geometry()
        check((width, height) == (80 * CELL_W, 25 * CELL_H),
              "window is %dx%d, not 80x25 cells of %dx%d" % (width, height, CELL_W, CELL_H))
        before = run.shot("before")
        banner = cell_colours(before, 1, 1, (0, 0))
        check(RED in banner and WHITE in banner and BLUE not in banner,
              "banner cell (1,1) is not white on the mapped red: %s" % sorted(banner)[:4])
        typed = cell_colours(before, 1, 2, (0, 0))
        check(YELLOW in typed and all(c[0] == c[1] and c[2] == 0 for c in typed),
              "typed cell (1,2) is not yellow on black")
        caret = cell_colours(before, 3, 2, (0, 0))
        check(WHITE in caret, "no caret at the cursor (3,2) while a key is awaited")

        # Right button on the banner's top edge: the picture doubles around
        # the mouse; on release it is as before.
        run.xdotool("mousemove", "--window", run.window, "200", "0")
        run.xdotool("mousedown", "3")
        run.settle(0.3)
        zoomed = run.shot("zoomed")
        _, _, zp = zoomed
        _, _, bp = before
        red_rows = [y for y in range(80) if any(zp(x, y) == RED for x in range(0, 400, 3))]
        check(len(red_rows) == 2 * CELL_H,
              "magnified banner is %d pixels high, not about %d" % (len(red_rows), 2 * CELL_H))
        check(zp(200, 0) == bp(200, 0), "the point under the mouse moved")
        run.xdotool("mousemove", "--window", run.window, "600", "300")
        run.settle(0.3)
        _, _, moved = run.shot("zoomed_moved")
        check(any(moved(x, 5) != zp(x, 5) for x in range(0, 800, 7)),
              "the magnified picture did not follow the mouse")
        run.xdotool("mouseup", "3")
        run.settle(0.3)
        _, _, after = run.shot("after")
        check(all(after(x, y) == bp(x, y) for y in range(0, 60, 3) for x in range(0, 800, 3)),
              "the picture is not back after the right button is released")

        # A larger window: the grid is redrawn with cells of the new size.
        run.xdotool("windowsize", run.window, "900", "600")
        run.settle(0.6)
        resized = run.shot("resized")
        CELL_W, CELL_H = 11, 24
        origin = ((900 - 80 * CELL_W) // 2, 0)
        banner = cell_colours(resized, 43, 1, origin)
        below = cell_colours(resized, 1, 2, origin)
        after_banner = cell_colours(resized, 44, 1, origin)
        check(RED in banner and RED not in below and after_banner == {BLACK},
              "after resizing to 900x600 the banner is not 43 cells of 11x24")
        # Ctrl+Break ends the program at once with 255, the dumps written.
        run.xdotool("key", "ctrl+Pause")
        screen, attrs = run.finish(255)
        check(screen.splitlines()[1] == "ab", "typed text not in the dump: %r" % screen[:120])
        check(attrs.splitlines()[0].startswith("1f" * 43), "attribute plane changed by the map")
    # Copy and paste in naviro's line editor through the display's clipboard:
    # "abc", Ctrl+C copies it, Ctrl+Y blanks the answer, Ctrl+V brings it
    # back, Ctrl+F1 says the whole answer, Esc ends the run.
    if naviro and os.path.isdir(os.path.join(quiral_root, "som", "letras")):
        sound = {"QUIRAL_ROOT": quiral_root, "QUIRAL_SYSDIR": quiral_root}
        keys = "abc{Ctrl+C}{Ctrl+Y}{Ctrl+V}{Ctrl+F1}{Esc}"
        run = Run(display, "clipboard", "", naviro, "NAVIRO", sound)
        if run.window is not None:
            for _ in range(100):  # until the computer's name is asked
                if "announce FTCOMPUT" in open(run.env["QUIRAL_LOG"]).read():
                    break
                time.sleep(0.1)
            run.settle()
            run.type_script(keys)
            run.finish()
            window_log = open(run.env["QUIRAL_LOG"]).read().splitlines()
            d = os.path.join(work, "clipboard_script")
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d)
            with open(os.path.join(d, "keys"), "w") as f:
                f.write(keys)
            subprocess.run([naviro], timeout=60, capture_output=True, env=dict(
                os.environ, QUIRAL_CONSOLE="script", QUIRAL_AUDIO="null",
                QUIRAL_KEYS=os.path.join(d, "keys"), QUIRAL_LOG=os.path.join(d, "log.txt"),
                **sound))
            script_log = open(os.path.join(d, "log.txt")).read().splitlines()
            pasted = window_log[window_log.index("clipboard abc  "):] \
                if "clipboard abc  " in window_log else []
            check("text abc" in pasted, "the pasted answer was not spoken: %s" % pasted[:12])
            check([l for l in window_log if l != "stop"] == [l for l in script_log if l != "stop"],
                  "the window's event log differs from the script console's")
    else:
        print("naviro case skipped: no generated sound library")
finally:
    display.stop()

if failures:
    sys.exit(1)
print("PASS")
