#!/usr/bin/python3
"""SFTP throughput of naviro against the tests' private OpenSSH server
(tests/support/sshd-rig.sh, loopback), interleaved run by run with OpenSSH's
sftp client and curl sftp:// where they are installed. naviro runs through
the script console; its event log goes through a pipe and each line is
time-stamped here, so a transfer is timed from its "transfer" line to
"announce FTFIMREC/FTFIMENV", without the start-up and the login. sftp and
curl are timed as whole processes, less the median time of the same
command moving an empty file (their connection and login). Every copy is
compared with the file by its SHA-256; the table says whether all were the
same.

Each transfer's CPU time is measured too, per GiB moved: the client's
(naviro's whole run, its start-up and login included; sftp's and curl's
less the median CPU of their empty transfer) and the server's (the rig's
sshd sessions, its sftp server included, sampled every 20 ms). A client
that is slower while spending less CPU is waiting, not working.

Every transfer starts after every dirty page was written (sync), and is
printed as it ends with the one-minute load average and the dirty and
written-back page cache at its start; the table gives the median and the
best of each. --drop-caches also drops the page cache before every transfer
(each tool's source file read back in first), so that no tool inherits
another's cache.

Usage: sftp_bench.py --build DIR [--runs N] [--mib SIZE] [--quiral DIR] [--drop-caches]
Needs root (the rig's mount namespace) and the build's sound library."""
import argparse
import itertools
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from benchlib import (MIB, SshdRig, between, clear_outputs, digest, drop_caches, machine_state,
                      stamped_run, timed)

CMD = "{until Comando ?}"


class ServerCpu:
    """CPU seconds used by the sessions of the server whose process id is
    given (its descendants), sampled every 20 ms: a session's last sample
    before it ended counts."""

    def __init__(self, pid):
        self.pid = str(pid)
        self.seen = {}
        self.tick = os.sysconf("SC_CLK_TCK")
        threading.Thread(target=self.run, daemon=True).start()

    def children(self, pid):
        try:
            with open("/proc/%s/task/%s/children" % (pid, pid)) as f:
                kids = f.read().split()
        except OSError:
            return []
        return kids + [g for k in kids for g in self.children(k)]

    def run(self):
        while True:
            for pid in self.children(self.pid):
                try:
                    with open("/proc/%s/stat" % pid) as f:
                        fields = f.read().rsplit(")", 1)[1].split()
                    self.seen[pid] = (int(fields[11]) + int(fields[12])) / self.tick
                except (OSError, IndexError, ValueError):
                    pass
            time.sleep(0.02)

    def total(self):
        """Every session's CPU so far, once the ones just ended were seen."""
        time.sleep(0.05)
        return sum(self.seen.values())


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def clear(*paths):
    """The outputs of earlier steps removed, and a pause for the disk to
    free their blocks before the next transfer is timed."""
    clear_outputs(*paths)
    time.sleep(0.5)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--quiral")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--mib", type=int, default=1024)
    ap.add_argument("--drop-caches", action="store_true")
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    exe = os.path.join(build, "app", "naviro")
    quiral = os.path.abspath(a.quiral) if a.quiral else os.path.join(build, "quiral")
    if not os.path.isdir(os.path.join(quiral, "som")):
        raise SystemExit("no sound library in " + quiral)
    work = tempfile.mkdtemp(prefix="naviro-sftp-bench-")
    os.chmod(work, 0o755)
    rig = os.path.join(work, "rig")
    sshd = SshdRig(rig)
    port = sshd.port
    try:
        home_srv = sshd.home
        big = os.path.join(home_srv, "grande.bin")
        with open(big, "wb") as f:
            subprocess.run(["head", "-c", str(a.mib * MIB), "/dev/urandom"], stdout=f, check=True)
        empty = os.path.join(home_srv, "vazio.bin")
        open(empty, "wb").close()
        for p in (big, empty):
            sshd.own(p)
        cwd = os.path.join(work, "cwd")
        os.makedirs(cwd)
        local_big = os.path.join(cwd, "envio.bin")
        shutil.copy(big, local_big)
        open(os.path.join(cwd, "envio-vazio.bin"), "wb").close()
        # The user: the rig's key, the server's key known.
        home = os.path.join(work, "user")
        os.makedirs(os.path.join(home, ".ssh"), mode=0o700)
        shutil.copy(os.path.join(rig, "id"), os.path.join(home, ".ssh", "id_ed25519"))
        os.chmod(os.path.join(home, ".ssh", "id_ed25519"), 0o600)
        with open(os.path.join(rig, "hostkey.pub")) as f:
            key = " ".join(f.read().split()[:2])
        known = os.path.join(home, ".ssh", "known_hosts")
        with open(known, "w") as f:
            f.write("[127.0.0.1]:%d %s\n" % (port, key))
        sysdir = os.path.join(work, "sys")
        os.makedirs(sysdir)
        shutil.copy(os.path.join(quiral, "QUIRAL.INI"), sysdir)
        address = "sftp://ana@127.0.0.1:%d" % port
        ssh_opts = ["-o", "BatchMode=yes", "-o", "UserKnownHostsFile=" + known,
                    "-o", "IdentityFile=" + os.path.join(home, ".ssh", "id_ed25519"),
                    "-o", "IdentitiesOnly=yes", "-P", str(port)]
        env = dict(os.environ, HOME=home)
        env.pop("SSH_AUTH_SOCK", None)

        def naviro_run(keys):
            _, stamped = stamped_run(exe, quiral, sysdir, work, address, keys, cwd,
                                     extra_env={"HOME": home, "SSH_AUTH_SOCK": None})
            return stamped

        batches = itertools.count()

        def sftp_cmd(batch):
            """The command that runs batch (a file of its own for each)."""
            bfile = os.path.join(work, "batch-%d" % next(batches))
            with open(bfile, "w") as f:
                f.write(batch + "\n")
            return ["sftp", "-q", "-b", bfile] + ssh_opts + ["ana@127.0.0.1"]

        have_curl = shutil.which("curl") is not None and \
            "sftp" in subprocess.run(["curl", "-V"], capture_output=True, text=True).stdout
        curl_base = ["curl", "-s", "-S", "--key", os.path.join(home, ".ssh", "id_ed25519"),
                     "--pubkey", os.path.join(rig, "id.pub"), "--insecure"]
        url = "sftp://ana@127.0.0.1:%d/~/" % port

        original = digest(big)
        wrong = {}  # (tool, way) -> transfers whose copy differs from the file

        def check(tool, way, copy):
            if digest(copy) != original:
                wrong[(tool, way)] = wrong.get((tool, way), 0) + 1

        tools = {"naviro": {}, "sftp": {}, "curl": {}}
        base = {"sftp": {"get": [], "put": []}, "curl": {"get": [], "put": []}}
        got = os.path.join(cwd, "grande.bin")
        sent = os.path.join(home_srv, "enviado.bin")
        states = {}  # (tool, way) -> [(load, dirty kB, writeback kB) at each start]
        first_load = machine_state()[0]

        def ready(tool, way, source):
            """Just before a timed transfer: the caches as the options say,
            and the machine's state noted."""
            if a.drop_caches:
                drop_caches(source)
            states.setdefault((tool, way), []).append(machine_state())

        server = ServerCpu(open(os.path.join(rig, "sshd.pid")).read().strip())
        cpu = {}  # (tool, way[, "empty"]) -> [(client CPU s, server CPU s)] of each transfer

        def metered(key, fn):
            """fn(), with the client's and the server's CPU noted under key."""
            c0, s0 = children_cpu(), server.total()
            out = fn()
            cpu.setdefault(key, []).append((children_cpu() - c0, server.total() - s0))
            return out

        def other(tool, way, cmd, empty_cmd, copy):
            """sftp or curl: the transfer timed and checked, then an empty one
            (its connection and login)."""
            ready(tool, way, big if way == "get" else local_big)
            tools[tool].setdefault(way, []).append(metered((tool, way), lambda: timed(cmd, env)))
            check(tool, way, copy)
            base[tool][way].append(metered((tool, way, "empty"), lambda: timed(empty_cmd, env)))
            clear(copy)

        for i in range(a.runs):
            # Receive.
            clear(got, got + ".part")
            ready("naviro", "get", big)
            stamped = metered(("naviro", "get"), lambda: naviro_run(
                CMD + "r{until remoto ?}grande.bin{Enter}{until local ?}{Enter}"
                "{until grande.bin, }" + CMD + "{Esc}"))
            tools["naviro"].setdefault("get", []).append(
                between(stamped, "transfer receive", "announce FTFIMREC"))
            check("naviro", "get", got)
            clear(got)
            other("sftp", "get", sftp_cmd("get grande.bin " + got),
                  sftp_cmd("get vazio.bin " + got + ".0"), got)
            if have_curl:
                other("curl", "get", curl_base + ["-o", got, url + "grande.bin"],
                      curl_base + ["-o", got + ".0", url + "vazio.bin"], got)
            # Send.
            clear(sent)
            ready("naviro", "put", local_big)
            stamped = metered(("naviro", "put"), lambda: naviro_run(
                CMD + "t{until local ?}envio.bin{Enter}{until remoto ?}"
                "enviado.bin{Enter}{until envio.bin, }" + CMD + "{Esc}"))
            tools["naviro"].setdefault("put", []).append(
                between(stamped, "transfer send", "announce FTFIMENV"))
            check("naviro", "put", sent)
            clear(sent)
            other("sftp", "put", sftp_cmd("put " + local_big + " enviado.bin"),
                  sftp_cmd("put " + os.path.join(cwd, "envio-vazio.bin") + " v0.bin"), sent)
            if have_curl:
                other("curl", "put", curl_base + ["-T", local_big, url + "enviado.bin"],
                      curl_base + ["-T", os.path.join(cwd, "envio-vazio.bin"), url + "v0.bin"],
                      sent)
            print("run %d of %d done" % (i + 1, a.runs), file=sys.stderr)

        def median(xs):
            xs = [x for x in xs if x is not None]
            return statistics.median(xs) if xs else None

        # Each transfer's seconds: sftp's and curl's less their median
        # connection and login.
        times = {}
        for tool in ("naviro", "sftp", "curl"):
            for way in ("get", "put"):
                b = median(base[tool][way]) if tool in base else 0
                times[(tool, way)] = [None if t is None else t - (b or 0)
                                      for t in tools[tool].get(way, [])]
        # Each transfer's CPU seconds per GiB, client and server: sftp's and
        # curl's less the median of their empty transfers.
        per_gib = {}
        for key, pairs in cpu.items():
            if len(key) == 3:
                continue
            empty = cpu.get(key + ("empty",), [])
            c0 = median([c for c, _ in empty]) or 0
            s0 = median([v for _, v in empty]) or 0
            per_gib[key] = [((c - c0) * 1024 / a.mib, (v - s0) * 1024 / a.mib) for c, v in pairs]
        print("Each transfer, in the order run (load: one-minute average at its start;"
              " dirty/writeback: page cache at its start; CPU-s per GiB of the client and"
              " of the server)")
        for i in range(a.runs):
            for way in ("get", "put"):
                for tool in ("naviro", "sftp", "curl"):
                    ts = times[(tool, way)]
                    if i >= len(ts):
                        continue
                    load, dirty, writeback = states[(tool, way)][i]
                    rate = "%7.1f MiB/s" % (a.mib / ts[i]) if ts[i] else "  failed"
                    client, srv = per_gib[(tool, way)][i]
                    print("  run %d %-4s %-6s %s  load %5.2f  dirty %4d MiB  writeback %4d MiB"
                          "  CPU %5.2f + %5.2f"
                          % (i + 1, way, tool, rate, load, dirty // 1024, writeback // 1024,
                             client, srv))
        loads = [st[0] for v in states.values() for st in v]
        print("SFTP, %d MiB over loopback, %d interleaved runs%s; load average %.2f at the"
              " start, %.2f to %.2f during, %.2f at the end"
              % (a.mib, a.runs, ", page cache dropped before each" if a.drop_caches else "",
                 first_load, min(loads), max(loads), machine_state()[0]))
        print("%-7s %-4s %8s %9s %9s %9s %9s %9s %10s %10s"
              % ("tool", "way", "median s", "med MiB/s", "best MiB/s", "vs sftp", "best vs",
                 "checksum", "client CPU", "server CPU"))
        figures, bests = {}, {}
        for key, ts in times.items():
            ts = [t for t in ts if t]
            figures[key] = statistics.median(ts) if ts else None
            bests[key] = min(ts) if ts else None
        for tool in ("naviro", "sftp", "curl"):
            for way in ("get", "put"):
                t, best = figures[(tool, way)], bests[(tool, way)]
                if t is None:
                    print("%-7s %-4s %8s" % (tool, way, "-"))
                    continue
                ref, ref_best = figures[("sftp", way)], bests[("sftp", way)]
                ratio = "%.2fx" % (ref / t) if ref and t > 0 else "-"
                best_ratio = "%.2fx" % (ref_best / best) if ref_best and best > 0 else "-"
                sums = "%d differ" % wrong[(tool, way)] if (tool, way) in wrong else "same"
                client = median([c for c, _ in per_gib[(tool, way)]])
                srv = median([v for _, v in per_gib[(tool, way)]])
                print("%-7s %-4s %8.2f %9.1f %9.1f %9s %9s %9s %10.2f %10.2f" %
                      (tool, way, t, a.mib / t, a.mib / best, ratio, best_ratio, sums, client, srv))
        print("(CPU: median CPU-s per GiB; naviro's client figure includes its start-up and"
              " login)")
        nav = [figures[("naviro", w)] for w in ("get", "put")]
        ref = [figures[("sftp", w)] for w in ("get", "put")]
        if all(nav) and all(ref):
            held = all(r / n >= 1.0 for n, r in zip(nav, ref)) and \
                not any(tool == "naviro" for tool, _ in wrong)
            print("target naviro >= 1.0x OpenSSH sftp both ways (medians):",
                  "held" if held else "NOT held")
    finally:
        sshd.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
