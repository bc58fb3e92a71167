"""What the benches that drive naviro share: naviro run through the script
console with its event log read through a pipe and every line time-stamped
as it comes (so that a step is timed from one logged line to another,
without the start-up), other tools timed as whole commands, outputs cleared
outside the timing, files compared by checksum, and the servers started and
stopped by their process ids."""
import hashlib
import os
import shutil
import signal
import socket
import subprocess
import threading
import time

MIB = 1024 * 1024
HERE = os.path.dirname(os.path.abspath(__file__))
SSHD_RIG = os.path.join(os.path.dirname(HERE), "tests", "support", "sshd-rig.sh")


def stamped_run(exe, quiral, sysdir, work, address, keys, cwd, extra_env=None, timeout=600):
    """One naviro run with a key script: (exit code, [(time, log line)]).
    The keys are written to work/keys.txt; a run past timeout is killed
    (exit code None). extra_env adds to the environment; a value None
    takes the name out of it."""
    kfile = os.path.join(work, "keys.txt")
    with open(kfile, "w", encoding="utf-8") as f:
        f.write(keys)
    fifo = os.path.join(work, "log.fifo")
    if os.path.exists(fifo):
        os.unlink(fifo)
    os.mkfifo(fifo)
    stamped = []

    def reader():
        with open(fifo, "rb") as f:
            for line in f:
                stamped.append((time.perf_counter(), line.decode("utf-8", "replace").rstrip()))

    t = threading.Thread(target=reader, daemon=True)
    t.start()
    env = dict(os.environ, QUIRAL_CONSOLE="script", QUIRAL_AUDIO="null", QUIRAL_KEYS=kfile,
               QUIRAL_LOG=fifo, QUIRAL_SYSDIR=sysdir, QUIRAL_ROOT=quiral, TMPDIR=work)
    for name, value in (extra_env or {}).items():
        if value is None:
            env.pop(name, None)
        else:
            env[name] = value
    proc = subprocess.Popen([exe, address], env=env, cwd=cwd, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        rc = proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        rc = None
    t.join(5)
    return rc, stamped


def between(stamped, start_prefix, end_prefix):
    """Seconds from the first line starting with start_prefix to the first
    later one starting with end_prefix; None when either is missing."""
    t0 = next((t for t, l in stamped if l.startswith(start_prefix)), None)
    if t0 is None:
        return None
    t1 = next((t for t, l in stamped if t >= t0 and l.startswith(end_prefix)), None)
    return None if t1 is None else t1 - t0


def timed(cmd, env=None):
    """Seconds a command took; None when it failed."""
    os.sync()  # the previous run's writes reach the disk first, for every tool
    t0 = time.perf_counter()
    ok = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                        env=env).returncode == 0
    return time.perf_counter() - t0 if ok else None


def machine_state():
    """The one-minute load average and the kB of dirty and written-back
    page cache now, as (load, dirty, writeback)."""
    with open("/proc/loadavg") as f:
        load = float(f.read().split()[0])
    dirty = writeback = 0
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("Dirty:"):
                dirty = int(line.split()[1])
            elif line.startswith("Writeback:"):
                writeback = int(line.split()[1])
    return load, dirty, writeback


def drop_caches(*warm):
    """Every dirty page written, then the page cache dropped (root only),
    then the files in warm read back in, so that the next transfer reads
    its source from memory as before and nothing of earlier runs is left
    to write back or to evict."""
    os.sync()
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3\n")
    for path in warm:
        with open(path, "rb") as f:
            while f.read(8 * MIB):
                pass


def clear_outputs(*places):
    """Every step writes a new file: what earlier steps wrote is removed
    first, outside any timing, and the disk given the time to free it.
    Replacing or truncating a 1 GiB file frees its blocks in the writer's
    time, which would fall on whichever tool came second. A directory is
    emptied, a file removed."""
    for place in places:
        if os.path.isdir(place):
            for n in os.listdir(place):
                path = os.path.join(place, n)
                if os.path.isdir(path):
                    shutil.rmtree(path, ignore_errors=True)
                else:
                    os.unlink(path)
        elif os.path.exists(place):
            os.unlink(place)
    os.sync()


def digest(path):
    """The SHA-256 of a file; None when it is not there."""
    if not os.path.exists(path):
        return None
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(MIB), b""):
            h.update(block)
    return h.hexdigest()


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    p = s.getsockname()[1]
    s.close()
    return p


def stop_server(server):
    """Ends a server process started here, if one was: SIGTERM, then KILL."""
    if server is None:
        return
    server.send_signal(signal.SIGTERM)
    try:
        server.wait(5)
    except subprocess.TimeoutExpired:
        server.kill()
        server.wait()


class SshdRig:
    """The tests' private OpenSSH server (tests/support/sshd-rig.sh) in dir:
    port, the account's home, and the rig's client key (dir/id). Needs root;
    stopped by its process ids."""

    def __init__(self, dir):
        self.dir = dir
        out = subprocess.run(["sh", SSHD_RIG, "start", dir], capture_output=True, text=True)
        if out.returncode != 0:
            raise SystemExit("sshd rig: " + out.stderr)
        self.port = int(out.stdout.split()[0])
        self.home = os.path.join(dir, "home")

    def own(self, path):
        """A file in the account's home made the account's."""
        st = os.stat(self.home)
        os.chown(path, st.st_uid, st.st_gid)

    def stop(self):
        subprocess.run(["sh", SSHD_RIG, "stop", self.dir], check=False)
