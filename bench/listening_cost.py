#!/usr/bin/python3
"""The listener's time: seconds of speech a user hears for the daily tasks,
Naviro at speeds 3 and 5 beside lftp's output read aloud by eSpeak NG.

Naviro runs through the script console with its sound written to a file
(QUIRAL_AUDIO=file:...), which takes the sound as fast as it is made, so the
file holds everything said, whole. The event log goes through a pipe; each
line is stamped with the length of the sound file at that moment, so the
speech of a task is the sound written between two lines of the log (a task
ends at the key that follows it, typed once the script has waited for the
speech to be made). The typed characters' echo counts: the user hears it.

lftp runs the same task against the same server; its output (what a screen
reader would read) goes to espeak-ng -v pt-br, whose WAV length is the
figure. The rate: eSpeak NG's default (175 words a minute) beside speed 3,
and 260 beside speed 5; the plain command read at the pace of Naviro's own
speech (its sound library keeps the pace of eSpeak NG at 220 words a
minute at speed 3, 330 at speed 5) is printed beside it.

Tasks (the rows printed):
  100th of 200      D, then F3, a piece of the name, Enter: from D to the name
                    heard; the first listing of a run (with the arrow
                    instructions) and a later one. The sound file takes all
                    that is said: a key that silences the instructions aloud
                    does not shorten it here. lftp: `cls -1` read to the
                    100th name, and `cls *PIECE*`.
  start->account    from the start to the end of "Qual a conta": a server
                    without TLS, and one with a kept certificate.
  unknown cert      from the start to the end of the S/N question.
  receive, send     from R (T) to the next command's key: the questions, the
                    names typed, the completion message and "Comando ?";
                    lftp `get leia.txt -o lftp-leia.txt` (and `put` so),
                    the typed command read with what lftp writes; beside
                    it the plain `get leia.txt`, `put envio.txt`, run in a
                    directory of their own.

A second model, a practised user (--no-live leaves it out): naviro runs in
tmux on the terminal console with SDL's disk audio, which plays in real
time, and keys come as a user who knows the program presses them: the next
key 0.6 s (0.4 s at speed 5) after a question or the instructions begin to
sound, names typed at 6 keys a second, the name looked for and the outcome
heard whole. A key silences what sounds, so only what was played counts:
each piece of sound from its logged start to the next stop, or whole.
lftp beside it: its output alone, the typed command unheard. This model
does not replace the first; both are printed.

--pieces prints, for each task of the first model, every piece of sound
with its length: the message recordings by key, the letters and signs
spoken by character (the echo of what is typed), the texts said by the
voice.

Usage: listening_cost.py --build DIR [--quiral DIR] [--pieces] [--no-live]
Needs python3-pyftpdlib, python3-openssl, openssl, lftp and espeak-ng (the
last two only for the lftp column), and tmux for the second model. Not run
by CI."""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import shlex
import threading
import time
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from benchlib import free_port  # noqa: E402

WORDS = ["ata", "balanço", "carta", "contrato", "diário", "edital", "folha", "guia", "horário",
         "índice", "lista", "memória", "nota", "orçamento", "parecer", "quadro", "recibo",
         "relatório", "súmula", "tabela"]
NAMES = ["%s %03d.txt" % (WORDS[i % len(WORDS)], i + 1) for i in range(200)]
TARGET = sorted(NAMES, key=lambda n: unicodedata.normalize("NFD", n).encode(
    "ascii", "ignore").upper())[99]  # by name, accents aside, as the browser hears them
PIECE = TARGET.split()[1][:3]  # its number: "100" and the like
RATES = {3: 175, 5: 260}
PACE = {3: 220, 5: 330}  # eSpeak NG's words a minute that Naviro's speech keeps at a speed
RECOGNISED = 0.6  # seconds of a question a practised user hears at speed 3
TYPING = 1 / 6  # seconds between typed keys
QUIET = 0.3  # seconds before a boundary's line at which the sound is read


class Server:
    """pyftpdlib on loopback, anonymous with write access; TLS when given a
    certificate."""

    def __init__(self, root, cert=None):
        from pyftpdlib.authorizers import DummyAuthorizer
        from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
        from pyftpdlib.servers import FTPServer
        import logging
        from pyftpdlib.log import config_logging
        config_logging(level=logging.ERROR)
        auth = DummyAuthorizer()
        auth.add_anonymous(root, perm="elradfmwMT")
        base = TLS_FTPHandler if cert else FTPHandler

        class Handler(base):
            pass

        Handler.authorizer = auth
        Handler.use_encoding = "utf8"
        if cert:
            Handler.certfile, Handler.keyfile = cert
        self.server = FTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.socket.getsockname()[1]

    def serve(self):
        """Serves this server and every other one made before: they share
        pyftpdlib's one loop, which runs in one thread only."""
        threading.Thread(target=self.server.serve_forever, kwargs={"timeout": 0.1},
                         daemon=True).start()

    def stop(self):
        self.server.close_all()


def wav_rate(path):
    """Bytes a second of a WAV file, from its header."""
    with open(path, "rb") as f:
        head = f.read(64)
    at = head.find(b"fmt ")
    return struct.unpack("<I", head[at + 16:at + 20])[0] if at >= 0 else 0


def make_sysdir(quiral, work, speed, ini_extra="", trust=None):
    """A configuration directory of a run at a speed."""
    sysdir = os.path.join(work, "sys")
    shutil.rmtree(sysdir, ignore_errors=True)
    os.makedirs(sysdir)
    with open(os.path.join(quiral, "QUIRAL.INI"), encoding="cp1252", errors="replace") as f:
        ini = f.read()
    ini = ini.replace("[TRADUTOR]", "[TRADUTOR]\nVELOCIDADE=%d" % speed, 1)
    ini = ini.replace("[NAVIRO]", "[NAVIRO]\n" + ini_extra, 1)
    with open(os.path.join(sysdir, "QUIRAL.INI"), "w", encoding="cp1252") as f:
        f.write(ini)
    if trust:
        with open(os.path.join(sysdir, "CERTIFIC.TXT"), "w") as f:
            f.write(trust)
    return sysdir


def naviro_run(exe, quiral, work, address, keys, speed, ini_extra="", trust=None):
    """One run: [(log line, bytes of sound written by then)], bytes a second."""
    sysdir = make_sysdir(quiral, work, speed, ini_extra, trust)
    kfile, fifo, wav = (os.path.join(work, n) for n in ("keys.txt", "log.fifo", "sound.wav"))
    with open(kfile, "w", encoding="utf-8") as f:
        f.write(keys)
    for p in (fifo, wav):
        if os.path.exists(p):
            os.unlink(p)
    os.mkfifo(fifo)
    lines, sizes, done = [], [], threading.Event()

    def reader():
        with open(fifo, "rb") as f:
            for raw in f:
                lines.append((raw.decode("utf-8", "replace").rstrip(), time.perf_counter()))

    def sampler():
        while not done.is_set():
            sizes.append((time.perf_counter(), os.path.getsize(wav) if os.path.exists(wav) else 0))
            time.sleep(0.02)

    threads = [threading.Thread(target=reader, daemon=True),
               threading.Thread(target=sampler, daemon=True)]
    for t in threads:
        t.start()
    env = dict(os.environ, QUIRAL_CONSOLE="script", QUIRAL_AUDIO="file:" + wav,
               QUIRAL_KEYS=kfile, QUIRAL_LOG=fifo, QUIRAL_SYSDIR=sysdir, QUIRAL_ROOT=quiral,
               TMPDIR=work, XDG_STATE_HOME=os.path.join(work, "state"))
    proc = subprocess.Popen([exe, address], env=env, cwd=work, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        proc.wait(180)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
    threads[0].join(5)
    done.set()
    threads[1].join(5)

    # Every boundary of a task comes after a quiet wait of the key script:
    # the sound written by then is the sound file's length a little before
    # the boundary's line was logged.
    def before(t):
        return next((b for ts, b in reversed(sizes) if ts <= t - QUIET), 0)

    lines = [(line, before(t)) for line, t in lines]
    return lines, wav_rate(wav) if os.path.exists(wav) else 0


class Live:
    """naviro on the terminal console in a tmux session, its sound played in
    real time by SDL's disk audio, its log read line by line with the time
    each line came; keys sent when the log says they are due."""

    def __init__(self, exe, quiral, work, address, speed, cwd):
        sysdir = make_sysdir(quiral, work, speed)
        fifo = os.path.join(work, "live.fifo")
        if os.path.exists(fifo):
            os.unlink(fifo)
        os.mkfifo(fifo)
        self.lines = []

        def reader():
            with open(fifo, "rb") as f:
                for raw in f:
                    self.lines.append((time.perf_counter(),
                                       raw.decode("utf-8", "replace").rstrip()))

        threading.Thread(target=reader, daemon=True).start()
        env = dict(QUIRAL_CONSOLE="terminal", QUIRAL_AUDIO="sdl", SDL_AUDIODRIVER="disk",
                   SDL_DISKAUDIOFILE=os.devnull, QUIRAL_LOG=fifo, QUIRAL_SYSDIR=sysdir,
                   QUIRAL_ROOT=quiral, TMPDIR=work, XDG_STATE_HOME=os.path.join(work, "state"),
                   TERM="xterm-256color", LANG="C.UTF-8")
        start = os.path.join(work, "live.sh")
        with open(start, "w") as f:
            f.write("#!/bin/sh\ncd %s\n" % shlex.quote(cwd))
            for k, v in env.items():
                f.write("export %s=%s\n" % (k, shlex.quote(v)))
            f.write("exec %s %s\n" % (shlex.quote(exe), shlex.quote(address)))
        os.chmod(start, 0o755)
        self.session = "naviro-listening-%d" % os.getpid()
        subprocess.run(["tmux", "new-session", "-d", "-s", self.session, "-x", "80", "-y", "25",
                        start], check=True)
        self.at = 0

    def heard_start(self, prefix, timeout=30):
        """Waits for a line starting with prefix after the last one waited
        for (a sound file is matched by its key: "FTCMD")."""
        end = time.perf_counter() + timeout
        while time.perf_counter() < end:
            for i in range(self.at, len(self.lines)):
                line = self.lines[i][1]
                if line.startswith(prefix) or (line.startswith("sound ") and
                                               line.endswith("/%s.wav" % prefix)):
                    self.at = i + 1
                    return
            time.sleep(0.005)
        raise TimeoutError(prefix)

    def after(self, prefix, seconds):
        """Once prefix begins to sound, waits the seconds it takes to know it."""
        self.heard_start(prefix)
        time.sleep(seconds)

    def key(self, *keys):
        """Presses keys (tmux names: Enter, Escape, F3); the time before."""
        t = time.perf_counter()
        subprocess.run(["tmux", "send-keys", "-t", self.session] + list(keys), check=True)
        return t

    def type(self, text):
        for c in text:
            self.key("-l", c)
            time.sleep(TYPING)

    def close(self):
        subprocess.run(["tmux", "kill-session", "-t", self.session], stderr=subprocess.DEVNULL)


def played(stamped, t0, t1, speed):
    """Seconds of sound played from t0 to t1: each piece from its logged start
    to the next stop (a key silences it), or whole."""
    lines = [line for _, line in stamped]
    total = 0.0
    for i, seconds, _ in pieces(lines, speed):
        t = stamped[i][0]
        if t0 <= t < t1:
            cut = next((u for u, line in stamped[i + 1:] if line == "stop" and u < t1), t1)
            total += max(0.0, min(seconds, cut - t))
    return total


def answer_transfer(run, first, name, second, know):
    """A transfer's questions answered as a practised user does: the name at
    the first, the offered name kept at the second, the image mode taken;
    returns once the outcome was heard whole (the prompt came after it)."""
    run.after(first, know)
    run.type(name)
    run.key("Enter")
    run.after(second, know)
    run.key("Enter")
    run.after("FTMODIMG", know)
    run.key("s")
    run.after("FTCMD", know)


def practised_user(exe, quiral, work, address, speed, cwd):
    """The second model's rows at a speed: {task: seconds played}."""
    know = RECOGNISED * PACE[3] / PACE[speed]
    rows = {}
    run = Live(exe, quiral, work, address, speed, cwd)
    try:
        run.after("FTCONTA", know)
        run.type("anonymous")
        run.key("Enter")
        run.after("FTSENHA", know)
        run.type("x@y")
        run.key("Enter")
        run.after("FTCMD", 1.0)
        for task in ("100th of 200, first listing", "100th of 200, later listing"):
            t0 = run.key("d")
            # The instructions on the first listing, the first name on a later one.
            run.after("FTUSSETA" if task.endswith("first listing") else "text ", know)
            run.key("F3")
            run.after("FTPROCUR", know / 2)
            run.type(PIECE)
            run.key("Enter")
            run.after("text " + TARGET.split()[0], 4.0)  # heard whole
            t1 = run.key("Escape")
            run.after("FTCMD", 1.0)
            rows[task] = played(run.lines, t0, t1, speed)
        t0 = run.key("r")
        answer_transfer(run, "FTNOMREM", "leia.txt", "FTNOMLOC", know)
        t1 = run.key("t")
        rows["receive one file"] = played(run.lines, t0, t1, speed)
        answer_transfer(run, "FTNOMLOC", "envio.txt", "FTNOMREM", know)
        rows["send one file"] = played(run.lines, t1, run.key("Escape"), speed)
        time.sleep(1.5)
    finally:
        run.close()
    return rows


def span(lines, start, ends, after=0):
    """(index of the first line at or after `after` starting with start
    (None: that index), index of the first later line starting with one of
    ends); None when either is missing."""
    i0 = after
    if start is not None:
        i0 = next((i for i in range(after, len(lines)) if lines[i][0].startswith(start)), None)
        if i0 is None:
            return None
    for i in range(i0 + 1, len(lines)):
        if any(lines[i][0].startswith(e) for e in ends):
            return i0, i
    return None


def speech(lines, rate, start, ends, after=0):
    """(seconds of sound, index of the end) over span(); (None, after) when
    it is missing."""
    found = span(lines, start, ends, after)
    if not rate or found is None:
        return None, after
    i0, i1 = found
    return (lines[i1][1] - lines[i0][1]) / rate, i1


def wav_seconds(path, cache={}):
    """Length of a WAV file in seconds."""
    if path not in cache:
        with open(path, "rb") as f:
            d = f.read()
        at = d.find(b"fmt ")
        channels, rate = struct.unpack("<HI", d[at + 10:at + 16])
        bits = struct.unpack("<H", d[at + 22:at + 24])[0]
        da = d.find(b"data")
        cache[path] = struct.unpack("<I", d[da + 4:da + 8])[0] / (rate * channels * bits / 8)
    return cache[path]


def pieces(lines, speed):
    """The pieces of sound of logged lines: [(index, seconds, what)].
    Recordings (messages, letters, number pieces) are played faster or
    slower than made by the speed's pace; the voice's in-memory sounds
    (8-bit, 11,025 Hz) are made at it, except numbers joined from recorded
    pieces, which the player still speeds up: at speed 5 they count longer
    here than they sound (the first model's totals, read from the sound
    file, are not touched by this). A sound file is named by its file
    (FTCMD, _46: the sign of code 46); an in-memory one by the text that
    went before."""
    tempo = PACE[speed] / PACE[3]
    said, out = "", []
    for i, line in enumerate(lines):
        if line.startswith(("text ", "voice ")):
            said = line
        elif line.startswith("sound "):
            name = os.path.splitext(os.path.basename(line[6:]))[0]
            out.append((i, wav_seconds(line[6:]) / tempo, name))
        elif line.startswith("image "):
            out.append((i, int(line[6:]) / 11025, said))
    return out


def spoken_seconds(text, wpm, work):
    """Seconds espeak-ng takes to read a text in Brazilian Portuguese."""
    wav = os.path.join(work, "espeak.wav")
    if not shutil.which("espeak-ng") or not text.strip():
        return None if not shutil.which("espeak-ng") else 0.0
    subprocess.run(["espeak-ng", "-v", "pt-br", "-s", str(wpm), "-w", wav, text],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    rate = wav_rate(wav)
    return (os.path.getsize(wav) - 44) / rate if rate else None


def lftp_output(port, command, cwd, lines=None):
    """What a screen reader reads of one lftp command: the command as typed
    (its echo) and what lftp writes, its first `lines` lines when given."""
    if not shutil.which("lftp"):
        return None
    out = subprocess.run(["lftp", "-e", "set ftp:ssl-allow no; set cmd:interactive yes; " +
                          command + "; bye", "-u", "anonymous,x@y", "127.0.0.1:%d" % port],
                         capture_output=True, text=True, cwd=cwd, timeout=60,
                         stdin=subprocess.DEVNULL).stdout
    if lines:
        out = "\n".join(out.splitlines()[:lines])
    return command + "\n" + out


LOGIN = "{until Qual a conta}{wait 1500}anonymous{Enter}{until Qual a senha}x@y{Enter}" \
        "{until Comando ?}{wait 1500}"


def find_keys():
    look = "d{until ESC termina}{wait 2000}{F3}{until Procurar}" + PIECE + "{Enter}" \
           "{until %s}{wait 2500}{Esc}{until Comando ?}{wait 1500}" % TARGET.split()[0]
    return LOGIN + look + look + "{Esc}"


def transfer_keys():
    recv = ("r{until arquivo remoto}leia.txt{Enter}{until arquivo local}{Enter}"
            "{until imagem}s{until completada}{wait 2500}")
    send = ("t{until arquivo local}envio.txt{Enter}{until arquivo remoto}{Enter}"
            "{until imagem}s{until completado}{wait 2500}")
    return LOGIN + recv + send + "{Esc}"


def print_pieces(task, lines, found, speed):
    """The pieces of one task of the first model, with their seconds."""
    if found is None:
        return
    i0, i1 = found
    texts = [line for line, _ in lines]
    inside = [(seconds, what) for i, seconds, what in pieces(texts, speed) if i0 <= i < i1]
    print("%s at speed %d: %.2f s" % (task, speed, sum(x for x, _ in inside)))
    for seconds, what in inside:
        print("  %5.2f  %s" % (seconds, what))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--quiral")
    ap.add_argument("--pieces", action="store_true", help="print each task's pieces of sound")
    ap.add_argument("--no-live", action="store_true", help="leave the second model out")
    a = ap.parse_args()
    exe = os.path.abspath(os.path.join(a.build, "app", "naviro"))
    quiral = os.path.abspath(a.quiral or os.path.join(a.build, "quiral"))
    work = tempfile.mkdtemp(prefix="naviro-listening-")
    root, local = os.path.join(work, "srv"), os.path.join(work, "local")
    own = os.path.join(work, "lftp")
    for d in (root, local, own):
        os.makedirs(d)
    for n in NAMES:
        with open(os.path.join(root, n), "w") as f:
            f.write("x\n")
    with open(os.path.join(root, "leia.txt"), "wb") as f:
        f.write(os.urandom(20000))
    crt, key = os.path.join(work, "s.crt"), os.path.join(work, "s.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                    "/CN=naviro-bench/O=Bancada", "-keyout", key, "-out", crt],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    fp = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", crt],
                        capture_output=True, text=True, check=True).stdout
    fp = fp.strip().split("=", 1)[1].replace(":", "")
    plain, tls = Server(root), Server(root, (crt, key))
    tls.serve()
    rows, live = {}, {}
    live_ok = not a.no_live and shutil.which("tmux")
    try:
        for speed in (3, 5):
            def row(name, value):
                rows.setdefault(name, {})[speed] = value[0]
                return value[1]

            def show(task, lines, found):
                if a.pieces:
                    print_pieces(task, lines, found, speed)

            lines, rate = naviro_run(exe, quiral, work, "127.0.0.1:%d" % plain.port, find_keys(),
                                     speed)
            row("start to account, no TLS", speech(lines, rate, None, ["char 97"]))
            at = row("100th of 200, first listing",
                     speech(lines, rate, "char 100", ["announce FTCMD"]))
            show("100th of 200, first listing", lines, span(lines, "char 100", ["announce FTCMD"]))
            row("100th of 200, later listing",
                speech(lines, rate, "char 100", ["announce FTCMD"], at))
            show("100th of 200, later listing", lines,
                 span(lines, "char 100", ["announce FTCMD"], at))
            lines, rate = naviro_run(exe, quiral, work, "127.0.0.1:%d" % tls.port,
                                     "{until Qual a conta}{wait 1500}{Esc}{wait 500}{Esc}",
                                     speed, trust="127.0.0.1:%d %s\n" % (tls.port, fp))
            row("start to account, kept certificate",
                speech(lines, rate, None, ["announce FTDESIS"]))
            lines, rate = naviro_run(exe, quiral, work, "127.0.0.1:%d" % tls.port,
                                     "{until S ou N}{wait 3000}n{wait 500}", speed)
            row("unknown certificate (from the start)",
                speech(lines, rate, None, ["char 110", "announce FTCERREC"]))
            shutil.copy(os.path.join(root, "leia.txt"), os.path.join(local, "envio.txt"))
            if os.path.exists(os.path.join(local, "leia.txt")):
                os.unlink(os.path.join(local, "leia.txt"))
            lines, rate = naviro_run(exe, quiral, local, "127.0.0.1:%d" % plain.port,
                                     transfer_keys(), speed)
            # The names typed hold t's: T is known by what it announces.
            at = row("receive one file", speech(lines, rate, "char 114", ["announce FTTRANSM"]))
            show("receive one file", lines, span(lines, "char 114", ["announce FTTRANSM"]))
            row("send one file", speech(lines, rate, "announce FTTRANSM", ["char 27"], at))
            show("send one file", lines, span(lines, "announce FTTRANSM", ["char 27"], at))
            if live_ok:
                os.unlink(os.path.join(local, "leia.txt"))
                for task, seconds in practised_user(exe, quiral, work, "127.0.0.1:%d" % plain.port,
                                                    speed, local).items():
                    live.setdefault(task, {})[speed] = seconds
        # lftp read aloud: as the first column has it, and the plain command
        # in a directory of its own.
        shutil.copy(os.path.join(local, "envio.txt"), os.path.join(own, "envio.txt"))
        texts = {
            "100th of 200, first listing": lftp_output(plain.port, "cls -1", local, 100),
            "100th of 200 (lftp cls *PIECE*)": lftp_output(plain.port, "cls *%s*" % PIECE, local),
            "start to account, no TLS": "",
            "receive one file": lftp_output(plain.port, "get leia.txt -o lftp-leia.txt", local),
            "send one file": lftp_output(plain.port, "put envio.txt -o up-lftp.txt", local),
        }
        plain_texts = {
            "receive one file": lftp_output(plain.port, "get leia.txt", own),
            "send one file": lftp_output(plain.port, "put envio.txt", own),
        }

        def read(by, rates, output_only=False):
            def said(text):
                return text.split("\n", 1)[1] if output_only and text else text
            return {k: {s: (None if v is None else spoken_seconds(said(v), rates[s], work))
                        for s in (3, 5)} for k, v in by.items()}

        lftp = read(texts, RATES)
        lftp_pace = read(plain_texts, PACE)
        # The second model's lftp: the name found by `cls *PIECE*` and the
        # transfer lines, the command typed unheard.
        live_texts = dict(plain_texts)
        for task in ("100th of 200, first listing", "100th of 200, later listing"):
            live_texts[task] = texts["100th of 200 (lftp cls *PIECE*)"]
        lftp_output_only = {"slow": read(live_texts, RATES, True),
                            "pace": read(live_texts, PACE, True)}
    finally:
        tls.stop()

    def f(x):
        return "  -  " if x is None else "%5.1f" % x

    def ratio(a, b):
        return "%4.2f" % (a / b) if a and b else "  - "

    print("Seconds of speech; the 100th name of 200 is %r, found with %r" % (TARGET, PIECE))
    print("First model: all that is said, whole (file audio, each key after the speech ended).")
    print("lftp read at %d / %d words a minute; the plain command at Naviro's pace, %d / %d."
          % (RATES[3], RATES[5], PACE[3], PACE[5]))
    print("%-38s | %-13s | %-13s | %-11s | %-13s | %s" %
          ("task", "Naviro 3 / 5", "lftp 3 / 5", "ratio 3 / 5", "same pace", "ratio 3 / 5"))
    for task, by in rows.items():
        other, same = lftp.get(task, {}), lftp_pace.get(task, {})
        print("%-38s | %s / %s | %s / %s | %s / %s | %s / %s | %s / %s" %
              (task, f(by.get(3)), f(by.get(5)), f(other.get(3)), f(other.get(5)),
               ratio(by.get(3), other.get(3)), ratio(by.get(5), other.get(5)),
               f(same.get(3)), f(same.get(5)),
               ratio(by.get(3), same.get(3)), ratio(by.get(5), same.get(5))))
    extra = lftp["100th of 200 (lftp cls *PIECE*)"]
    print("%-38s | %-13s | %s / %s |" % ("lftp cls *PIECE*", "", f(extra[3]), f(extra[5])))
    if live:
        print()
        print("Second model: a practised user on a real-time device, what was played "
              "(lftp: its output alone).")
        print("%-38s | %-13s | %-13s | %-11s | %-13s | %s" %
              ("task", "Naviro 3 / 5", "lftp 3 / 5", "ratio 3 / 5", "same pace", "ratio 3 / 5"))
        for task, by in live.items():
            slow = lftp_output_only["slow"].get(task, {})
            same = lftp_output_only["pace"].get(task, {})
            print("%-38s | %s / %s | %s / %s | %s / %s | %s / %s | %s / %s" %
                  (task, f(by.get(3)), f(by.get(5)), f(slow.get(3)), f(slow.get(5)),
                   ratio(by.get(3), slow.get(3)), ratio(by.get(5), slow.get(5)),
                   f(same.get(3)), f(same.get(5)),
                   ratio(by.get(3), same.get(3)), ratio(by.get(5), same.get(5))))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
