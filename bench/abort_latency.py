#!/usr/bin/python3
"""ESC-to-ABOR latency during a 1 GiB receive: naviro runs in the terminal
console on a pseudo-terminal against vsftpd on loopback; the benchmark types
the answers like a user, presses ESC one second into the transfer and times
the moment the ESC byte is written to the terminal against the moment
"send ABOR" reaches the event log. A lone ESC is told from the start of an
escape sequence by 50 ms of quiet, which is part of the figure.

Usage: abort_latency.py --build DIR [--runs N]"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import transfer_bench as tb  # noqa: E402


def run_once(exe, quiral, port, work):
    sysdir = os.path.join(work, "sys")
    os.makedirs(sysdir, exist_ok=True)
    with open(os.path.join(quiral, "QUIRAL.INI"), encoding="utf-8", errors="replace") as f:
        ini = f.read()
    with open(os.path.join(sysdir, "QUIRAL.INI"), "w", encoding="utf-8") as f:
        f.write(ini)
    fifo = os.path.join(work, "log.fifo")
    if os.path.exists(fifo):
        os.unlink(fifo)
    os.mkfifo(fifo)
    lines = []
    cond = threading.Condition()

    def reader():
        with open(fifo, "rb") as f:
            for raw in f:
                with cond:
                    lines.append((time.perf_counter(), raw.decode("utf-8", "replace").rstrip()))
                    cond.notify_all()

    threading.Thread(target=reader, daemon=True).start()
    master, slave = os.openpty()
    env = dict(os.environ, QUIRAL_CONSOLE="terminal", QUIRAL_AUDIO="null", QUIRAL_LOG=fifo,
               QUIRAL_SYSDIR=sysdir, QUIRAL_ROOT=quiral, TERM="xterm", TMPDIR=work)
    proc = subprocess.Popen([exe, "127.0.0.1:%d" % port], env=env, cwd=work, stdin=slave,
                            stdout=slave, stderr=subprocess.DEVNULL, close_fds=True)
    os.close(slave)
    drain = threading.Thread(target=lambda: _drain(master), daemon=True)
    drain.start()

    def wait_for(prefix, timeout=30):
        end = time.perf_counter() + timeout
        with cond:
            while True:
                hit = next((t for t, l in lines if l.startswith(prefix)), None)
                if hit is not None:
                    return hit
                left = end - time.perf_counter()
                if left <= 0:
                    raise TimeoutError(prefix)
                cond.wait(left)

    def type_(text):
        time.sleep(0.3)  # the pace of a person waiting for the prompt to be said
        os.write(master, text.encode())

    try:
        wait_for("announce FTCONTA")
        type_("anonymous\r")
        wait_for("announce FTCMD")
        type_("r")
        wait_for("announce FTNOMREM")
        type_("big.bin\r")
        wait_for("announce FTNOMLOC")
        type_("\r")
        wait_for("announce FTMODIMG")
        type_("s")
        wait_for("send RETR")
        time.sleep(1.0)
        t0 = time.perf_counter()
        os.write(master, b"\x1b")
        t1 = wait_for("send ABOR", 10)
        return t1 - t0
    finally:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
        os.close(master)


def _drain(fd):
    try:
        while os.read(fd, 65536):
            pass
    except OSError:
        pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--runs", type=int, default=5)
    a = ap.parse_args()
    tb.ensure_tools()
    exe = os.path.join(a.build, "app", "naviro")
    quiral = os.path.join(a.build, "quiral")
    with tempfile.TemporaryDirectory() as work:
        root = os.path.join(work, "root")
        os.makedirs(root)
        with open(os.path.join(root, "big.bin"), "wb") as f:
            f.truncate(1024 * tb.MIB)
        server, port = tb.start_vsftpd(root, work)
        try:
            times = []
            for i in range(a.runs):
                run = os.path.join(work, "run%d" % i)
                os.makedirs(run)
                times.append(run_once(exe, quiral, port, run))
        finally:
            server.kill()
            server.wait()
    ms = [t * 1000 for t in times]
    print("ESC to ABOR during a 1 GiB receive: median %.1f ms (min %.1f, max %.1f, %d runs)"
          % (statistics.median(ms), min(ms), max(ms), len(ms)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
