#!/usr/bin/python3
"""Whole folders against vsftpd on loopback, run by run beside lftp's mirror
(receive) and mirror -R (send), each also with --parallel=N: a tree of
1,000 files of 4 KiB in 20 directories, and one of 10 files of 100 MiB.
naviro runs through the script console (R on the folder in the browser, T
with the local folder) and is timed from the log's "Receber pasta" /
"Transmitir pasta" to its completion announcement, less the time its
question ("Pasta arvore: ... Continuar?") waits for the script's answer, so
its start-up, login and the user's time are left out (the listing and the
making of directories count); lftp is timed whole, its connection and login
included. naviro runs with CONEXOES as given (--conexoes 1,4 runs both).
The checksum of every file is compared after every run.

Beside the wall times, the processor time per GiB moved, median of the
runs: the client's (naviro or lftp, from its resource usage; naviro's counts
its start and login too) and vsftpd's
(all its processes, counted by a cpuacct control group made for the run when
the bench runs as root with cgroup v1; "-" otherwise). On a shared machine
the wall time is noisy and these are not: on loopback the server's share
counts as much as the client's, as both sides share the processors.

Usage: tree_bench.py --build DIR [--runs N] [--parallel 2,4,8] [--trees small,big]
                     [--conexoes 4]
Needs vsftpd and lftp (apt-get install lftp: for the bench only)."""
import argparse
import hashlib
import os
import resource
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import transfer_bench as tb  # noqa: E402  (vsftpd, the timed naviro run)

KIB = 1024
MIB = 1024 * KIB


def make_tree(root, kind):
    if kind == "small":
        for d in range(20):
            os.makedirs(os.path.join(root, "d%02d" % d))
            for f in range(50):
                with open(os.path.join(root, "d%02d" % d, "f%03d.bin" % f), "wb") as out:
                    out.write(os.urandom(4 * KIB))
    else:
        os.makedirs(root)
        block = os.urandom(MIB)
        for f in range(10):
            with open(os.path.join(root, "g%02d.bin" % f), "wb") as out:
                for i in range(100):
                    out.write(block[i:] + block[:i])


def sums(root):
    out = {}
    for d, _, names in os.walk(root):
        for n in names:
            p = os.path.join(d, n)
            h = hashlib.sha256()
            with open(p, "rb") as f:
                for chunk in iter(lambda: f.read(MIB), b""):
                    h.update(chunk)
            out[os.path.relpath(p, root)] = h.hexdigest()
    return out


def lftp(port, command):
    return tb.timed(["lftp", "-u", "anonymous,x", "-p", str(port), "-e",
                     "set ftp:passive-mode on; set net:max-retries 1; " + command + "; quit",
                     "127.0.0.1"])


CPUACCT = "/sys/fs/cgroup/cpuacct"


class ServerCpu:
    """The processor time of a server and every process it starts, from a
    control group of its own; None when one cannot be made."""

    def __init__(self, pid):
        self.group = None
        try:
            group = os.path.join(CPUACCT, "naviro-treebench-%d" % os.getpid())
            os.mkdir(group)
            self.group = group
            with open(os.path.join(group, "cgroup.procs"), "w") as f:
                f.write(str(pid))
        except OSError:
            self.close()

    def seconds(self):
        if not self.group:
            return None
        with open(os.path.join(self.group, "cpuacct.usage")) as f:
            return int(f.read()) / 1e9

    def close(self):
        """After the server stopped: the group goes."""
        for _ in range(20):  # its last processes may take a moment to end
            if not self.group:
                return
            try:
                os.rmdir(self.group)
                self.group = None
            except OSError:
                time.sleep(0.1)


def client_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def naviro_time(log, start, end):
    """From start to end, less the wait of the folder's question for its
    answer; None when either is missing."""
    total = tb.between(log, start, end)
    asked = tb.between(log, "text Pasta arvore:", "text s")
    return total - asked if total is not None and asked is not None else total


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--quiral")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--parallel", default="2,4,8")
    ap.add_argument("--trees", default="small,big")
    ap.add_argument("--conexoes", default="4")
    a = ap.parse_args()
    if not shutil.which("lftp"):
        raise SystemExit("lftp is missing: apt-get install lftp")
    exe = os.path.join(os.path.abspath(a.build), "app", "naviro")
    quiral = a.quiral or os.path.join(os.path.abspath(a.build), "quiral")
    work = tempfile.mkdtemp(prefix="naviro-treebench-")
    server = None
    cpu = None
    try:
        srv = os.path.join(work, "srv")
        up = os.path.join(srv, "up")
        os.makedirs(up)
        os.chmod(up, 0o777)
        local = os.path.join(work, "local")
        got = os.path.join(work, "got")
        os.makedirs(got)
        nav = tb.Naviro(exe, quiral, work)
        ini = nav.ini

        def use(tool):
            count = tool.split("=")[1] if "=" in tool else "4"
            nav.ini = ini.replace("[NAVIRO]", "[NAVIRO]\nCONEXOES=%s" % count, 1)
        server, port = tb.start_vsftpd(srv, work, extra=["anon_mkdir_write_enable=YES"])  # a sent folder makes its directories
        cpu = ServerCpu(server.pid)

        def measured(step):
            """Runs step (which gives its time); its time and the client's
            and the server's processor seconds. A server process ends a
            moment after its client: the count waits for it."""
            c0, s0 = client_cpu(), cpu.seconds()
            t = step()
            time.sleep(0.3)
            s1 = cpu.seconds()
            return t, client_cpu() - c0, (s1 - s0) if s0 is not None else None
        print("%-6s %-8s %-22s %8s %8s   %s" % ("tree", "way", "tool", "median", "best",
                                               "cpu s/GiB: client server"))
        for kind in a.trees.split(","):
            clean_srv = os.path.join(srv, "arvore")
            shutil.rmtree(clean_srv, ignore_errors=True)
            shutil.rmtree(local, ignore_errors=True)
            make_tree(clean_srv, kind)
            shutil.copytree(clean_srv, local)
            os.chmod(srv, 0o555)
            want = sums(clean_srv)
            navs = ["naviro" if c == "4" and a.conexoes == "4" else "naviro CONEXOES=%s" % c
                    for c in a.conexoes.split(",")]
            tools = navs + ["lftp"] + ["lftp --parallel=%s" % n for n in a.parallel.split(",")]
            times = {(w, t): [] for w in ("receive", "send") for t in tools}
            cpus = {(w, t): [] for w in ("receive", "send") for t in tools}
            gib = sum(os.path.getsize(os.path.join(d, n)) for d, _, names in os.walk(clean_srv)
                      for n in names) / (1024.0 * MIB)
            for _ in range(a.runs):
                for tool in tools:
                    # Receive into got/arvore.
                    tb.clear_outputs(got)

                    def receive():
                        if tool.startswith("naviro"):
                            use(tool)
                            log = nav.run(port, tb.LOGIN + "d{until diret}r{until Continuar}s"
                                          "{until completada}{wait 100}{Esc}{wait 100}{Esc}", got)
                            return naviro_time(log, "text Receber pasta", "announce FTFIMREC")
                        par = tool[len("lftp"):]
                        return lftp(port, "mirror%s /arvore %s" % (par, os.path.join(got, "arvore")))
                    t, c, sv = measured(receive)
                    ok = sums(os.path.join(got, "arvore")) == want if t else False
                    times[("receive", tool)].append(t if ok else None)
                    cpus[("receive", tool)].append((c, sv))
                    # Send local/ as up/arvore.
                    tb.clear_outputs(up)
                    os.chdir(work)

                    def send():
                        if tool.startswith("naviro"):
                            use(tool)
                            shutil.rmtree(os.path.join(work, "arvore"), ignore_errors=True)
                            os.rename(local, os.path.join(work, "arvore"))
                            try:
                                log = nav.run(port, tb.LOGIN + "s{until desejado}up{Enter}"
                                              "{wait 200}t{until arquivo local}arvore{Enter}"
                                              "{until Continuar}s{until completado}{wait 100}{Esc}",
                                              work)
                            finally:
                                os.rename(os.path.join(work, "arvore"), local)
                            return naviro_time(log, "text Transmitir pasta", "announce FTFIMENV")
                        par = tool[len("lftp"):]
                        return lftp(port, "mirror -R%s %s /up/arvore" % (par, local))
                    t, c, sv = measured(send)
                    ok = sums(os.path.join(up, "arvore")) == want if t else False
                    times[("send", tool)].append(t if ok else None)
                    cpus[("send", tool)].append((c, sv))
            for way in ("receive", "send"):
                for tool in tools:
                    runs = times[(way, tool)]
                    good = [t for t in runs if t is not None]
                    if len(good) < len(runs):
                        print("%-6s %-8s %-22s %d of %d runs failed or differed" %
                              (kind, way, tool, len(runs) - len(good), len(runs)))
                    if good:
                        cs = cpus[(way, tool)]
                        client = statistics.median(c for c, _ in cs) / gib
                        servers = [sv for _, sv in cs if sv is not None]
                        server_text = "%.2f" % (statistics.median(servers) / gib) if servers else "-"
                        print("%-6s %-8s %-22s %7.2fs %7.2fs   %6.2f %6s" %
                              (kind, way, tool, statistics.median(good), min(good), client,
                               server_text))
            os.chmod(srv, 0o755)
        print("load average during the runs: %.2f" % os.getloadavg()[0])
    finally:
        tb.stop_server(server)
        if cpu:
            cpu.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
