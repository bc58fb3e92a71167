#!/usr/bin/python3
"""Transfer throughput of naviro against a fast local server (vsftpd in
standalone mode on a loopback port, configured here), interleaved run by run
with curl, wget, lftp and the bare 8 KiB loop (bench/bare_transfer.cpp). naviro
runs through the script console; its event log goes through a pipe and each
line is time-stamped here, so a transfer is timed from "send RETR/STOR" to
"announce FTFIMREC/FTFIMENV" without the start-up. Also: the time from the
D key's first command to the first spoken entry of a 15,000-entry listing,
and the processor time of the end-of-data wait.

With --tls: the same over explicit TLS (vsftpd with a certificate made here,
data connections protected, session reuse required), naviro beside
curl --ssl-reqd and lftp, and the time from connecting to a secured control
connection (naviro: the log's FTCONEC to its "tls control" line; curl: its
time_appconnect).

Also: naviro's send and receive of the largest size with and without a key
pressed at the start of the transfer (its progress is said while the data
moves), speech played in real time through SDL's disk driver.

Usage: transfer_bench.py --build DIR [--runs N] [--sizes MiB,...] [--quiral DIR] [--tls]
                         [--baseline DIR]
Installs vsftpd, curl, wget and lftp with apt-get when missing."""
import argparse
import os
import resource
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

from benchlib import MIB, between, clear_outputs, free_port, stamped_run, stop_server, timed


def ensure_tools():
    missing = [t for t in ("vsftpd", "curl", "wget", "lftp") if not shutil.which(t) and
               not os.path.exists("/usr/sbin/" + t)]
    if missing:
        subprocess.run(["apt-get", "install", "-y"] + missing, check=True,
                       stdout=subprocess.DEVNULL)


def start_vsftpd(root, work, tls=None, extra=()):
    """vsftpd on a free loopback port serving ROOT to anonymous users with
    write access; TLS=(certificate, key) requires TLS; EXTRA lines are added
    to its configuration."""
    port = free_port()
    empty = os.path.join(work, "empty")
    os.makedirs(empty, exist_ok=True)
    conf = os.path.join(work, "vsftpd.conf")
    with open(conf, "w") as f:
        f.write("\n".join([
            "listen=YES", "listen_address=127.0.0.1", "listen_port=%d" % port,
            "anonymous_enable=YES", "local_enable=NO", "write_enable=YES",
            "anon_upload_enable=YES", "anon_other_write_enable=YES",
            "anon_world_readable_only=NO", "anon_root=" + root, "no_anon_password=YES",
            "pasv_enable=YES", "pasv_min_port=40000", "pasv_max_port=40999",
            "port_enable=YES", "connect_from_port_20=NO", "secure_chroot_dir=" + empty,
            "seccomp_sandbox=NO", "background=NO", "xferlog_enable=NO",
            "use_localtime=NO", "ftp_username=ftp", "anon_umask=022",
            "pasv_promiscuous=YES", "port_promiscuous=YES"] +
            (["ssl_enable=YES", "rsa_cert_file=" + tls[0], "rsa_private_key_file=" + tls[1],
              "allow_anon_ssl=YES", "force_anon_logins_ssl=YES", "force_anon_data_ssl=YES",
              "require_ssl_reuse=YES", "ssl_ciphers=HIGH"] if tls else []) + list(extra) + [""]))
    proc = subprocess.Popen(["/usr/sbin/vsftpd", conf], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    for _ in range(50):
        try:
            socket.create_connection(("127.0.0.1", port), 0.2).close()
            return proc, port
        except OSError:
            time.sleep(0.1)
    proc.kill()
    raise SystemExit("vsftpd did not start")


class Naviro:
    """One naviro run with a key script; returns the time-stamped log."""

    def __init__(self, exe, quiral, work):
        self.exe, self.quiral, self.work = exe, quiral, work
        self.sysdir = os.path.join(work, "sys")
        os.makedirs(self.sysdir, exist_ok=True)
        with open(os.path.join(quiral, "QUIRAL.INI"), encoding="utf-8", errors="replace") as f:
            self.ini = f.read()

    def run(self, port, keys, cwd, passive=True, timeout=300, audio=False):
        with open(os.path.join(self.sysdir, "QUIRAL.INI"), "w", encoding="utf-8") as f:
            f.write(self.ini if passive else self.ini.replace("PASSIVO=S", "PASSIVO=N"))
        extra = {}
        if audio:
            # Real-time speech without a sound card: SDL's disk driver plays
            # at the device's pace into nothing.
            extra = dict(QUIRAL_AUDIO="sdl", SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=os.devnull)
        _, stamped = stamped_run(self.exe, self.quiral, self.sysdir, self.work,
                                 "127.0.0.1:%d" % port, keys, cwd, extra_env=extra,
                                 timeout=timeout)
        return stamped


LOGIN = "{until Qual a conta}anonymous{Enter}{until Comando ?}"


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


LOADS = []


def measured(step):
    """A step's time and the processor time (user and system) of the
    processes it ran, start-up and login included; the machine's load beside
    it, for others may be building meanwhile."""
    c0 = children_cpu()
    t = step()
    LOADS.append(os.getloadavg()[0])
    return t, children_cpu() - c0


def summary(name, size, runs):
    good = [(t, c) for t, c in runs if t]
    if not good:
        return "%-28s failed" % name
    rates = [size / t / 1e6 for t, _ in good]
    return "%-28s median %7.1f MB/s  (min %7.1f, max %7.1f, %d runs)  cpu %5.2f s" % (
        name, statistics.median(rates), min(rates), max(rates), len(rates),
        statistics.median(c for _, c in good))


def ratios(results, key_of, against):
    """naviro's median rate over each other tool's, per direction."""
    lines = []
    for direction in ("get", "put"):
        def med(tool):
            good = [t for t, _ in results.get(key_of(tool, direction), []) if t]
            return statistics.median(good) if good else None
        n = med("naviro")
        for tool in against:
            o = med(tool)
            if n and o:
                lines.append("naviro/%s %s: %.2fx" % (tool, direction, o / n))
    return lines


def load_line():
    if not LOADS:
        return ""
    return "load average (1 min) during the runs: min %.1f, median %.1f, max %.1f" % (
        min(LOADS), statistics.median(LOADS), max(LOADS))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--quiral")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--sizes", default="100,1024")
    ap.add_argument("--modes", default="passive,active")
    ap.add_argument("--tls", action="store_true")
    ap.add_argument("--baseline", help="another build whose naviro runs beside, as naviro-base "
                    "(e.g. main before a change), in the same interleaved runs")
    a = ap.parse_args()
    ensure_tools()
    if a.tls:
        return tls_bench(a)
    exe = os.path.join(a.build, "app", "naviro")
    bare = os.path.join(a.build, "bench", "bare_transfer")
    quiral = a.quiral or os.path.join(a.build, "quiral")
    work = tempfile.mkdtemp(prefix="naviro-bench-")
    root = os.path.join(work, "srv")
    up = os.path.join(root, "up")
    local = os.path.join(work, "local")
    for d in (root, up, local):
        os.makedirs(d)
    os.chmod(root, 0o555)
    os.chmod(up, 0o777)
    server = None
    try:
        sizes = [int(s) for s in a.sizes.split(",")]
        for s in sizes:
            with open(os.path.join(root, "f%d.bin" % s), "wb") as f:
                block = os.urandom(MIB)
                for _ in range(s):
                    f.write(block)
            shutil.copy(os.path.join(root, "f%d.bin" % s), os.path.join(local, "f%d.bin" % s))
        with open(os.path.join(root, "um.bin"), "wb") as f:
            f.write(b"x")
        listing = os.path.join(root, "muitos")
        os.makedirs(listing)
        for i in range(15000):
            open(os.path.join(listing, "arquivo-%05d.txt" % i), "w").close()
        server, port = start_vsftpd(root, work)
        nav = Naviro(exe, quiral, work)
        navs = [("naviro", nav, "n")]
        if a.baseline:
            navs.append(("naviro-base", Naviro(os.path.join(a.baseline, "app", "naviro"), quiral,
                                               work), "m"))
        url = "ftp://127.0.0.1:%d/" % port
        results = {}
        for mode in a.modes.split(","):
            passive = mode == "passive"
            for s in sizes:
                name = "f%d.bin" % s
                size = s * MIB
                for r in range(a.runs):
                    out = os.path.join(work, "out.bin")
                    target = os.path.join(work, "recv")
                    os.makedirs(target, exist_ok=True)
                    pv = [] if passive else ["-P", "-"]

                    def naviro_get(nav):
                        keys = (LOGIN + "r{until remoto ?}" + name + "{Enter}{until local ?}"
                                "{Enter}{until imagem}s{until Recepção completada}"
                                "{until Comando ?}{Esc}")
                        os.sync()
                        log = nav.run(port, keys, target, passive)
                        return between(log, "send RETR", "announce FTFIMREC")

                    def naviro_put(nav, letter):
                        keys = (LOGIN + "t{until local ?}" + os.path.join(local, name) +
                                "{Enter}{until remoto ?}up/%s%d{Enter}{until imagem}s"
                                "{until Envio completado}{until Comando ?}{Esc}" % (letter, r))
                        os.sync()
                        log = nav.run(port, keys, target, passive)
                        return between(log, "send STOR", "announce FTFIMENV")

                    # Every tool's receive and send is a step of its own; the
                    # order turns by one step each run, so that no tool always
                    # follows the same neighbour's writes to the disk and the
                    # page cache.
                    def lftp(command):
                        # Plain FTP only (no AUTH TLS attempt), one try.
                        return timed(["lftp", "-c", "set ftp:passive-mode %s; set ftp:ssl-allow no; "
                                      "set xfer:clobber on; set net:max-retries 1; "
                                      "open -p %d 127.0.0.1; %s" % (
                                          "on" if passive else "off", port, command)])

                    steps = [
                        ("curl", "get", lambda: timed(["curl", "-s", "-o", out] + pv +
                                                      [url + name])),
                        ("wget", "get", lambda: timed(
                            ["wget", "-q", "-O", out] +
                            ([] if passive else ["--no-passive-ftp"]) + [url + name])),
                        ("curl", "put", lambda: timed(["curl", "-s", "-T",
                                                       os.path.join(local, name)] + pv +
                                                      [url + "up/c%d" % r])),
                        ("lftp", "get", lambda: lftp("get %s -o %s" % (name, out))),
                        ("lftp", "put", lambda: lftp("put %s -o up/l%d" % (
                            os.path.join(local, name), r))),
                    ]
                    for tool, nv, letter in navs:
                        steps += [(tool, "get", lambda nv=nv: naviro_get(nv)),
                                  (tool, "put", lambda nv=nv, letter=letter: naviro_put(nv, letter))]
                    if passive:
                        steps += [
                            ("bare", "get", lambda: timed([bare, "127.0.0.1", str(port), "get",
                                                           name, out])),
                            ("bare", "put", lambda: timed([bare, "127.0.0.1", str(port), "put",
                                                           "up/b%d" % r,
                                                           os.path.join(local, name)])),
                        ]
                    turn = r % len(steps)
                    for tool, direction, step in steps[turn:] + steps[:turn]:
                        clear_outputs(out, target, up)
                        results.setdefault((tool, direction, mode, s), []).append(
                            measured(step))
                    clear_outputs(out, target, up)
        # The other tools are timed whole, start-up and login included, and
        # naviro from its command to its completion message: what a 1-byte
        # receive takes tells how much of each figure is not transfer.
        fixed = {"curl": ["curl", "-s", "-o", os.devnull, url + "um.bin"],
                 "wget": ["wget", "-q", "-O", os.devnull, url + "um.bin"],
                 "lftp": ["lftp", "-c", "set ftp:ssl-allow no; set xfer:clobber on; "
                          "open -p %d 127.0.0.1; "
                          "get um.bin -o %s" % (port, os.path.join(work, "um.out"))]}
        print("1-byte receive, whole run (start-up and login included), median of 3: " +
              ", ".join("%s %.0f ms" % (tool, 1000 * statistics.median(
                  [timed(cmd) or 0 for _ in range(3)])) for tool, cmd in fixed.items()))
        print("Transfers over loopback from vsftpd (MB = 10^6 bytes):")
        for key in sorted(results, key=lambda k: (k[3], k[2], k[1], k[0])):
            tool, direction, mode, s = key
            print(summary("%s %s %s %dMiB" % (tool, direction, mode, s), s * MIB, results[key]))
        for mode in a.modes.split(","):
            for s in sizes:
                for line in ratios(results, lambda tool, d: (tool, d, mode, s), ("lftp", "curl", "naviro-base")):
                    print("%s %s %dMiB" % (line, mode, s))
        print(load_line())

        # A key at the start of a transfer asks for its progress: said while
        # the data goes on, it must not lengthen the transfer.
        s = sizes[-1]
        name = "f%d.bin" % s
        target = os.path.join(work, "recv")
        os.makedirs(target, exist_ok=True)
        keyed = {}
        for r in range(a.runs):
            for tool, nv, letter in navs:
                for key in ("", "x"):
                    clear_outputs(os.path.join(work, "out.bin"), target, up)
                    get = (LOGIN + "r{until remoto ?}" + name + "{Enter}{until local ?}"
                           "{Enter}{until imagem}s" + key + "{until Recepção completada}"
                           "{until Comando ?}{Esc}")
                    log = nv.run(port, get, target, True, audio=True)
                    keyed.setdefault((tool, "get", key), []).append(
                        between(log, "send RETR", "announce FTFIMREC"))
                    put = (LOGIN + "t{until local ?}" + os.path.join(local, name) +
                           "{Enter}{until remoto ?}up/k%s%d%s{Enter}{until imagem}s" % (
                               letter, r, key or "n") + key +
                           "{until Envio completado}{until Comando ?}{Esc}")
                    log = nv.run(port, put, target, True, audio=True)
                    keyed.setdefault((tool, "put", key), []).append(
                        between(log, "send STOR", "announce FTFIMENV"))
        clear_outputs(os.path.join(work, "out.bin"), target, up)
        print("Progress key, %dMiB passive, real-time speech, median s (runs):" % s)
        for (tool, direction, key), t in sorted(keyed.items()):
            done = [x for x in t if x is not None]
            print("  %s %s %s: %s (%s)" % (
                tool, direction, "with a key" if key else "no key",
                "%.3f" % statistics.median(done) if done else "-",
                ", ".join("%.3f" % x if x is not None else "-" for x in t)))

        # D on a 15,000-entry directory: from the first command to the first entry.
        keys = (LOGIN + "s{until desejado}muitos{Enter}{until Comando ?}d{until ESC termina}"
                "{wait 300}{Esc}{until Comando ?}{Esc}")
        times = []
        for _ in range(3):
            log = nav.run(port, keys, work)
            times.append(between(log, "send TYPE A", "text arquivo-00000.txt") or
                         between(log, "send TYPE A", "voice arquivo-00000.txt"))
        print("D, 15,000 entries, first command to first entry: %s s" %
              ", ".join("%.3f" % t if t else "-" for t in times))
    finally:
        stop_server(server)
        shutil.rmtree(work, ignore_errors=True)


def tls_bench(a):
    """1 GiB (or --sizes) over explicit TLS: naviro, curl --ssl-reqd and lftp
    interleaved, then the secured-login time of naviro and curl."""
    if not shutil.which("lftp"):
        subprocess.run(["apt-get", "install", "-y", "lftp"], check=True, stdout=subprocess.DEVNULL)
    exe = os.path.join(a.build, "app", "naviro")
    quiral = a.quiral or os.path.join(a.build, "quiral")
    work = tempfile.mkdtemp(prefix="naviro-tlsbench-")
    root, local = os.path.join(work, "srv"), os.path.join(work, "local")
    up = os.path.join(root, "up")
    for d in (root, up, local):
        os.makedirs(d)
    key, crt = os.path.join(work, "s.key"), os.path.join(work, "s.crt")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                    "/CN=bench", "-keyout", key, "-out", crt], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    fp = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", crt],
                        capture_output=True, text=True).stdout.strip().split("=")[1]
    server = None
    try:
        sizes = [int(x) for x in a.sizes.split(",")][-1:]
        for s in sizes:
            with open(os.path.join(root, "f%d.bin" % s), "wb") as f:
                block = os.urandom(MIB)
                for _ in range(s):
                    f.write(block)
            shutil.copy(os.path.join(root, "f%d.bin" % s), os.path.join(local, "f%d.bin" % s))
        os.chmod(root, 0o555)
        os.chmod(up, 0o777)
        server, port = start_vsftpd(root, work, (crt, key))
        nav = Naviro(exe, quiral, work)
        nav.ini = nav.ini.replace("TLS=AUTO", "TLS=S")
        navs = [("naviro", nav, "n")]
        if a.baseline:
            base = Naviro(os.path.join(a.baseline, "app", "naviro"), quiral, work)
            base.ini = nav.ini
            navs.append(("naviro-base", base, "m"))
        with open(os.path.join(nav.sysdir, "CERTIFIC.TXT"), "w") as f:
            f.write("127.0.0.1:%d %s\n" % (port, fp.replace(":", "")))
        url = "ftp://127.0.0.1:%d/" % port
        curl = ["curl", "-s", "--ssl-reqd", "-k"]
        lftp_open = ("set xfer:clobber on; "
                     "set ftp:ssl-force true; set ftp:ssl-protect-data true; "
                     "set ssl:verify-certificate no; set ftp:passive-mode true; "
                     "open -u anonymous,x -p %d 127.0.0.1; " % port)
        out = os.path.join(work, "out.bin")
        target = os.path.join(work, "recv")
        results = {}
        for s in sizes:
            name, size = "f%d.bin" % s, s * MIB
            for r in range(a.runs):
                os.makedirs(target, exist_ok=True)

                def naviro_get(nav):
                    keys = (LOGIN + "r{until remoto ?}" + name + "{Enter}{until local ?}"
                            "{Enter}{until imagem}s{until Recepção completada}"
                            "{until Comando ?}{Esc}")
                    os.sync()
                    return between(nav.run(port, keys, target), "send RETR", "announce FTFIMREC")

                def naviro_put(nav, letter):
                    keys = (LOGIN + "t{until local ?}" + os.path.join(local, name) +
                            "{Enter}{until remoto ?}up/%s%d{Enter}{until imagem}s"
                            "{until Envio completado}{until Comando ?}{Esc}" % (letter, r))
                    os.sync()
                    return between(nav.run(port, keys, target), "send STOR", "announce FTFIMENV")

                steps = [
                    ("curl", "get", lambda: timed(curl + ["-o", out, url + name])),
                    ("curl", "put", lambda: timed(curl + ["-T", os.path.join(local, name),
                                                          url + "up/c%d" % r])),
                    ("lftp", "get", lambda: timed(["lftp", "-c", lftp_open +
                                                   "get %s -o %s" % (name, out)])),
                    ("lftp", "put", lambda: timed(["lftp", "-c", lftp_open + "put %s -o up/l%d"
                                                   % (os.path.join(local, name), r)])),
                ]
                for tool, nv, letter in navs:
                    steps += [(tool, "get", lambda nv=nv: naviro_get(nv)),
                              (tool, "put", lambda nv=nv, letter=letter: naviro_put(nv, letter))]
                turn = r % len(steps)
                for tool, direction, step in steps[turn:] + steps[:turn]:
                    clear_outputs(out, target, up)
                    results.setdefault((tool, direction, s), []).append(measured(step))
                clear_outputs(out, target, up)
        print("Transfers over loopback from vsftpd, explicit TLS, passive (MB = 10^6 bytes):")
        for key in sorted(results, key=lambda k: (k[2], k[1], k[0])):
            tool, direction, s = key
            print(summary("%s %s TLS %dMiB" % (tool, direction, s), s * MIB, results[key]))
        for s in sizes:
            for line in ratios(results, lambda tool, d: (tool, d, s), ("curl", "lftp", "naviro-base")):
                print(line)
        print(load_line())

        # Secured login: connecting to the control connection in TLS, interleaved.
        ours, theirs, handshakes = [], [], []
        for _ in range(max(5, a.runs)):
            log = nav.run(port, "{until Qual a conta}{Esc}{until Comando ?}{Esc}", work)
            ours.append(between(log, "announce FTCONEC", "tls control"))
            handshakes.append(between(log, "send AUTH TLS", "tls control"))
            w = subprocess.run(curl + ["-o", "/dev/null", "-w", "%{time_appconnect}",
                                       "--list-only", url], capture_output=True, text=True)
            theirs.append(float(w.stdout) if w.returncode == 0 and w.stdout else None)
        fmt = lambda ts: ", ".join("%.1f" % (t * 1000) if t else "-" for t in ts)
        print("TLS login, connect to secured control connection (ms): naviro %s; curl %s" %
              (fmt(ours), fmt(theirs)))
        good_o, good_t = [t for t in ours if t], [t for t in theirs if t]
        if good_o and good_t:
            print("  medians: naviro %.1f ms, curl %.1f ms" %
                  (statistics.median(good_o) * 1000, statistics.median(good_t) * 1000))
        # naviro's figure holds the spoken "Pedindo conexão segura" before AUTH.
        good_h = [t for t in handshakes if t]
        if good_h:
            print("  naviro from AUTH TLS to secured: median %.1f ms (%s)" %
                  (statistics.median(good_h) * 1000, fmt(handshakes)))
    finally:
        stop_server(server)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
