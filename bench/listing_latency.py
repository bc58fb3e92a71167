#!/usr/bin/python3
"""D to the first spoken name: the listener's wait between pressing D and
hearing the first entry of a four-entry directory, against pyftpdlib on
loopback (four entries in the top directory and four in pub). naviro runs through the script console with its sound played in
real time by SDL's disk driver (written to /dev/null at the pace of a sound
card), so every recorded message lasts as long as it would aloud. Its event
log goes through a pipe and each line is time-stamped here: D is the echo of
the key ("char 100"), the first name is the first "text" after "announce
FTDIRPED" (logged when the name starts to sound, once what was said before
it has ended).

Each run lists twice: the first listing of a run (with the arrow
instructions) and a later one (without them, unless REPETEAJUDA=S).

Usage: listing_latency.py --build DIR [--runs N] [--quiral DIR] [--every]
Needs python3-pyftpdlib. Not run by CI."""
import argparse
import os
import socket
import statistics
import sys
import tempfile
import threading

from benchlib import stamped_run

LOGIN = "{until Qual a conta}anonymous{Enter}{until Qual a senha}x@y{Enter}{until Comando ?}"
# D in the top directory, Esc once its first name is heard, S into pub, D
# there, Esc, Esc. Any key silences speech, and the order of the names is
# the server's (MLSD lists them unsorted): the Esc comes well after the
# first name, whichever it is.
KEYS = (LOGIN + "d{until ESC termina}{wait 11000}{Esc}{wait 300}s{until desejado}pub{Enter}"
        "{until OK}d{wait 11000}{Esc}{wait 300}{Esc}")
TREE = ["canção.txt", "leia-me.txt", "velho.txt", "pub/ata.txt", "pub/lista.txt",
        "pub/nota.txt", "pub/sub/"]


def start_server(root):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    import logging
    from pyftpdlib.log import config_logging
    config_logging(level=logging.ERROR)
    auth = DummyAuthorizer()
    auth.add_anonymous(root)
    FTPHandler.authorizer = auth
    server = FTPServer(("127.0.0.1", 0), FTPHandler)
    port = server.socket.getsockname()[1]
    threading.Thread(target=server.serve_forever, kwargs={"timeout": 0.1},
                     daemon=True).start()
    return server, port


def one_run(exe, quiral, work, port, every):
    sysdir = os.path.join(work, "sys")
    os.makedirs(sysdir, exist_ok=True)
    with open(os.path.join(quiral, "QUIRAL.INI"), encoding="utf-8", errors="replace") as f:
        ini = f.read()
    if every:
        ini = ini.replace("[NAVIRO]", "[NAVIRO]\nREPETEAJUDA=S")
    with open(os.path.join(sysdir, "QUIRAL.INI"), "w", encoding="utf-8") as f:
        f.write(ini)
    return stamped_run(exe, quiral, sysdir, work, "127.0.0.1:%d" % port, KEYS, work,
                       extra_env=dict(QUIRAL_AUDIO="sdl", SDL_AUDIODRIVER="disk",
                                      SDL_DISKAUDIOFILE="/dev/null"), timeout=120)


def listings(stamped):
    """(D to first name, D to the request sent, instructions heard) of each listing."""
    out = []
    for i, (t, line) in enumerate(stamped):
        if line != "announce FTDIRPED":
            continue
        key = next((tk for tk, lk in reversed(stamped[:i]) if lk in ("char 100", "char 68")),
                   None)
        after = stamped[i + 1:]
        name = next((tn for tn, ln in after if ln.startswith("text ")), None)
        sent = next((ts for ts, ls in after if ls in ("send LIST", "send MLSD")), None)
        end = next((j for j, (_, l) in enumerate(after) if l.startswith("text ")), len(after))
        told = any(l == "announce FTUSSETA" for _, l in after[:end])
        if key is not None and name is not None:
            out.append((name - key, None if sent is None else sent - key, told))
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--quiral")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--every", action="store_true", help="REPETEAJUDA=S")
    a = ap.parse_args()
    exe = os.path.abspath(os.path.join(a.build, "app", "naviro"))
    quiral = os.path.abspath(a.quiral or os.path.join(a.build, "quiral"))
    work = tempfile.mkdtemp(prefix="naviro-listing-")
    root = os.path.join(work, "srv")
    for name in TREE:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if not name.endswith("/"):
            with open(path, "w", encoding="utf-8") as f:
                f.write("x\n")
    server, port = start_server(root)
    first, later, sends = [], [], []
    try:
        for r in range(a.runs):
            rc, stamped = one_run(exe, quiral, work, port, a.every)
            got = listings(stamped)
            if len(got) != 2:
                print("run %d: exit %s, %d listings timed" % (r + 1, rc, len(got)))
                continue
            (f, fs, ft), (l, ls, lt) = got
            first.append(f)
            later.append(l)
            sends += [s for s in (fs, ls) if s is not None]
            print("run %d: first listing %.2f s (instructions %s), later %.2f s "
                  "(instructions %s); D to the request %s" %
                  (r + 1, f, "heard" if ft else "not heard", l, "heard" if lt else "not heard",
                   ", ".join("%.2f s" % s for s in (fs, ls) if s is not None)))
    finally:
        server.close_all()
    if not first:
        print("no listing timed")
        return 1
    print("D to the first spoken name, 4 entries, median of %d runs:" % len(first))
    print("  first listing of a run  %.2f s (min %.2f, max %.2f)" %
          (statistics.median(first), min(first), max(first)))
    print("  later listings          %.2f s (min %.2f, max %.2f)   target <= 3 s" %
          (statistics.median(later), min(later), max(later)))
    if sends:
        print("  D to LIST or MLSD sent  %.2f s (median)" % statistics.median(sends))
    return 0


if __name__ == "__main__":
    sys.exit(main())
