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
and 260 beside speed 5.

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
                    lftp `get NAME`, `put NAME`, the typed command read with
                    what lftp writes.

Usage: listening_cost.py --build DIR [--quiral DIR]
Needs python3-pyftpdlib, python3-openssl, openssl, lftp and espeak-ng (the
last two only for the lftp column). Not run by CI."""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
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


def naviro_run(exe, quiral, work, address, keys, speed, ini_extra="", trust=None):
    """One run: [(log line, bytes of sound written by then)], bytes a second."""
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


def speech(lines, rate, start, ends, after=0):
    """(seconds of sound, index of the end) from the first line at or after
    index `after` starting with start (None: that index) to the first later
    line starting with one of ends; (None, after) when either is missing."""
    if not rate:
        return None, after
    i0 = after
    if start is not None:
        i0 = next((i for i in range(after, len(lines)) if lines[i][0].startswith(start)), None)
        if i0 is None:
            return None, after
    for i in range(i0 + 1, len(lines)):
        if any(lines[i][0].startswith(e) for e in ends):
            return (lines[i][1] - lines[i0][1]) / rate, i
    return None, after


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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--quiral")
    a = ap.parse_args()
    exe = os.path.abspath(os.path.join(a.build, "app", "naviro"))
    quiral = os.path.abspath(a.quiral or os.path.join(a.build, "quiral"))
    work = tempfile.mkdtemp(prefix="naviro-listening-")
    root, local = os.path.join(work, "srv"), os.path.join(work, "local")
    os.makedirs(root)
    os.makedirs(local)
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
    rows = {}
    try:
        for speed in (3, 5):
            def row(name, value):
                rows.setdefault(name, {})[speed] = value[0]
                return value[1]

            lines, rate = naviro_run(exe, quiral, work, "127.0.0.1:%d" % plain.port, find_keys(),
                                     speed)
            row("start to account, no TLS", speech(lines, rate, None, ["char 97"]))
            at = row("100th of 200, first listing",
                     speech(lines, rate, "char 100", ["announce FTCMD"]))
            row("100th of 200, later listing",
                speech(lines, rate, "char 100", ["announce FTCMD"], at))
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
            row("send one file", speech(lines, rate, "announce FTTRANSM", ["char 27"], at))
        # lftp read aloud.
        texts = {
            "100th of 200, first listing": lftp_output(plain.port, "cls -1", local, 100),
            "100th of 200 (lftp cls *PIECE*)": lftp_output(plain.port, "cls *%s*" % PIECE, local),
            "start to account, no TLS": "",
            "receive one file": lftp_output(plain.port, "get leia.txt -o lftp-leia.txt", local),
                "send one file": lftp_output(plain.port, "put envio.txt -o up-lftp.txt", local),
        }
        lftp = {k: {s: (None if v is None else spoken_seconds(v, RATES[s], work))
                    for s in (3, 5)} for k, v in texts.items()}
    finally:
        tls.stop()

    def f(x):
        return "  -  " if x is None else "%5.1f" % x

    print("Seconds of speech; the 100th name of 200 is %r, found with %r" % (TARGET, PIECE))
    print("%-38s | %-13s | %-13s | %s" % ("task", "Naviro 3 / 5", "lftp 3 / 5", "ratio 3 / 5"))
    for task, by in rows.items():
        other = lftp.get(task, {})
        ratio = ["%4.2f" % (by[s] / other[s]) if by.get(s) and other.get(s) else "  - "
                 for s in (3, 5)]
        print("%-38s | %s / %s | %s / %s | %s / %s" %
              (task, f(by.get(3)), f(by.get(5)), f(other.get(3)), f(other.get(5)), *ratio))
    extra = lftp["100th of 200 (lftp cls *PIECE*)"]
    print("%-38s | %-13s | %s / %s |" % ("lftp cls *PIECE*", "", f(extra[3]), f(extra[5])))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
