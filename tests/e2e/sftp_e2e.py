#!/usr/bin/python3
"""End-to-end runs of naviro over SFTP: the real program through the script
console against a private OpenSSH server on loopback
(tests/support/sshd-rig.sh). HOME is the run's own, so ~/.ssh (keys,
known_hosts) is the test's; no agent is reachable. Checks the files on both
sides by checksum, what was heard, and the server's log.

Usage: sftp_e2e.py --naviro PATH --quiral DIR --case NAME
Exit 0 pass, 1 fail, 77 skipped (no sound library, or no private sshd)."""
import hashlib
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ftp_e2e import Run, case_arguments, write_config  # noqa: E402
import tree_e2e  # noqa: E402  (the tree of awkward names, its checksums)

RIG = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                   "support", "sshd-rig.sh")
MIB = 1024 * 1024
CMD = "{until Comando ?}"
ACCEPT = "{until S ou N}s"


class Sshd:
    """The private server: started and stopped by its PID through the rig."""

    def __init__(self, work):
        self.dir = os.path.join(work, "rig")
        out = subprocess.run(["sh", RIG, "start", self.dir], capture_output=True, text=True)
        if out.returncode == 77:
            raise SystemExit(77)
        if out.returncode != 0:
            raise RuntimeError("sshd did not start: " + out.stderr)
        self.port = int(out.stdout.split()[0])
        self.home = os.path.join(self.dir, "home")

    def log(self):
        with open(os.path.join(self.dir, "sshd.log"), errors="replace") as f:
            return f.read()

    def stop(self):
        subprocess.run(["sh", RIG, "stop", self.dir], check=False)

    def freeze(self):
        """The server and every session it forked held where they are at
        once (SIGSTOP, by their ids; each before its children are read, so
        none forks meanwhile): the rig's stop looks its sessions up with ps,
        and a fast transfer could end before it kills them."""
        try:
            with open(os.path.join(self.dir, "sshd.pid")) as f:
                pids = [f.read().strip()]
        except OSError:
            return
        while pids:
            pid = pids.pop()
            try:
                os.kill(int(pid), signal.SIGSTOP)
                with open("/proc/%s/task/%s/children" % (pid, pid)) as f:
                    pids += f.read().split()
            except (OSError, ValueError):
                pass

    def put(self, name, data):
        """A file in the account's home, the account's own."""
        path = os.path.join(self.home, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        st = os.stat(self.home)
        os.chown(path, st.st_uid, st.st_gid)
        return path


def stop_when_grown(sshd, paths, size):
    """Stops the server, from a thread, once one of paths holds size bytes
    (within a minute); returns the thread."""
    def killer():
        deadline = time.time() + 60
        while time.time() < deadline:
            if any(os.path.exists(p) and os.path.getsize(p) >= size for p in paths):
                sshd.freeze()
                sshd.stop()
                return
            time.sleep(0.002)

    t = threading.Thread(target=killer, daemon=True)
    t.start()
    return t


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def recv(remote, local=""):
    return CMD + "r{until remoto ?}" + remote + "{Enter}{until local ?}" + local + "{Enter}"


def send(local, remote=""):
    return CMD + "t{until local ?}" + local + "{Enter}{until remoto ?}" + remote + "{Enter}"


def user_home(work, key_from=None):
    """HOME with ~/.ssh: the rig's client key when given."""
    home = os.path.join(work, "user")
    ssh = os.path.join(home, ".ssh")
    os.makedirs(ssh, exist_ok=True)
    os.chmod(ssh, 0o700)
    if key_from:
        shutil.copy(os.path.join(key_from, "id"), os.path.join(ssh, "id_ed25519"))
        os.chmod(os.path.join(ssh, "id_ed25519"), 0o600)
    return home


def run(a, work, sysdir, address, keys, home, timeout=90):
    for old in ("log.txt", "screen.txt"):  # the log is appended to
        p = os.path.join(work, old)
        if os.path.exists(p):
            os.unlink(p)
    saved = os.environ.pop("SSH_AUTH_SOCK", None)
    try:
        return Run(a.naviro, a.quiral, address, keys, work, sysdir, os.path.join(work, "cwd"),
                   extra_env={"HOME": home}, timeout=timeout)
    finally:
        if saved is not None:
            os.environ["SSH_AUTH_SOCK"] = saved


def expect(failures, label, r, code, heard, not_heard=()):
    if r.timed_out:
        failures.append("%s: naviro did not end" % label)
        return
    for f in r.failures(dict(exit=code, heard=heard, not_heard=list(not_heard))):
        failures.append("%s: %s" % (label, f))


def case_key_transfers(a, work, sysdir, sshd, failures):
    """Key login, the unknown host key accepted and then known, listing with
    blanks and accents walked with search and order, receives and sends of
    0, 1 and 5 MiB + 1 bytes by checksum, ESC at the question about a local
    file that exists giving up, directories made and removed,
    rename, delete, a send onto a directory refused before anything moved,
    the bytes of the last transfer (Q), the local directory changed (E) and
    a receive landing there, and the keys that mean nothing here."""
    files = {"vazio.bin": b"", "um.bin": b"\x07", "grande.bin": os.urandom(5 * MIB + 1),
             "  dois  brancos.txt": b"brancos", "canção.txt": "lá".encode(), "velho.txt": b"x"}
    for name, data in files.items():
        sshd.put(name, data)
    cwd = os.path.join(work, "cwd")
    for name, data in [("envio0.bin", b""), ("envio1.bin", b"\x01"),
                       ("envio5.bin", os.urandom(5 * MIB + 1))]:
        with open(os.path.join(cwd, name), "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(cwd, "destino"))
    home = user_home(work, sshd.dir)
    address = "sftp://ana@127.0.0.1:%d" % sshd.port
    keys = (ACCEPT + CMD + "i" +
            CMD + "d{until ESC termina}{Down}{Down}{Down}{Down}{Down}{Down}" +
            "/{until Procurar}CANC{Enter}{until canção}o{until maiores}d{until megabaites}{Esc}" +
            recv("vazio.bin") + "{until vazio.bin, }" +
            recv("um.bin") + "{until um.bin, }" +
            recv("um.bin") + "{until Substituir}{Esc}{until Desistiu}" +
            recv("grande.bin") + "{until grande.bin, }" +
            send("envio0.bin") + "{until envio0.bin, }" +
            send("envio1.bin") + "{until envio1.bin, }" +
            send("envio5.bin", "enviado5.bin") + "{until envio5.bin, }" +
            CMD + "q{until Transmitidos}" +
            CMD + "c{until subdiret}nova pasta{Enter}{until OK}" +
            CMD + "m{until nome atual}um.bin{Enter}{until novo nome}renomeado.bin{Enter}" +
            CMD + "c{until subdiret}temporaria{Enter}" +
            CMD + "x{until a remover}temporaria{Enter}" + CMD + "x{until a remover}nada{Enter}" +
            CMD + "a{until a apagar}velho.txt{Enter}{until apagado}" +
            send("envio1.bin", "nova pasta") + "{until diretório}" +
            CMD + "q{until Transmitidos}" +
            CMD + "e{until arquivo local}destino{Enter}{until destino}" +
            recv("vazio.bin") + "{until vazio.bin, }" +
            CMD + "p{until passivo}" + CMD + "/{until só para FTP}" +
            CMD + "s{until desejado}nova pasta{Enter}{until OK}" + CMD + "i{wait 300}" +
            CMD + "{Esc}")
    r = run(a, work, sysdir, address, keys, home)
    expect(failures, "first run", r, 0,
           ["FTSSHINI", "FTHKDES", "FTHKTIP", "FTHKIMP", "FTHKFIM", "FTHKACE", "FTHKMEM",
            "FTSSHOK", "FTACLIBE", "FTDIRPED", "FTUSSETA", "FTPROCUR", "FTORDTAM", "FTFIMREC", "FTFIMREC", "FTDESIS",
            "FTFIMREC",
            "FTFIMENV", "FTFIMENV", "FTFIMENV", "FTTRANS", "FTOK", "FTNOMATU", "FTNOVNOM", "FTOK", "FTOK",
            "FTQUERMD", "FTOK", "FTQUERMD", "FTNAORMD", "FTOKAPAG", "FTTRANSM", "FTTRANS",
            "FTDIRLOC", "FTDIRLOC", "FTFIMREC", "FTSPASV", "FTSCMD",
            "FTOK", "FTFIMPRG"],
           ["FTSENHA", "FTCHVNAO", "FTMODIMG", "FTPPASSI", "FTPNPASS"])
    if r.timed_out:
        return
    for name in ("vazio.bin", "um.bin", "grande.bin"):
        got = os.path.join(cwd, name)
        if not os.path.exists(got) or sha(got) != hashlib.sha256(files[name]).hexdigest():
            failures.append("received %s differs" % name)
    for local, remote in [("envio0.bin", "envio0.bin"), ("envio1.bin", "envio1.bin"),
                          ("envio5.bin", "enviado5.bin")]:
        there = os.path.join(sshd.home, remote)
        if not os.path.exists(there) or sha(there) != sha(os.path.join(cwd, local)):
            failures.append("sent %s differs" % local)
    if not os.path.isdir(os.path.join(sshd.home, "nova pasta")):
        failures.append("no remote directory 'nova pasta'")
    if os.path.exists(os.path.join(sshd.home, "velho.txt")):
        failures.append("velho.txt not deleted")
    if not os.path.exists(os.path.join(sshd.home, "renomeado.bin")) or \
            os.path.exists(os.path.join(sshd.home, "um.bin")):
        failures.append("um.bin not renamed")
    if os.path.exists(os.path.join(sshd.home, "temporaria")):
        failures.append("directory temporaria not removed")
    if "text É um diretório" not in r.lines or os.listdir(os.path.join(sshd.home, "nova pasta")):
        failures.append("a send onto a directory was not refused as one")
    # Q: all of the 5 MiB + 1 sent; then nothing, the send onto the
    # directory refused before it began.
    told = [r.lines[i + 1:i + 4] for i, l in enumerate(r.lines) if l == "announce FTTRANS"]
    for i, want in enumerate(["text 5121 K", "text 0 K"]):
        if i >= len(told) or want not in told[i]:
            failures.append("Q said %r, not %s" % (told[i] if i < len(told) else None, want))
    if not os.path.exists(os.path.join(cwd, "destino", "vazio.bin")):
        failures.append("the receive after E did not land in the chosen local directory")
    said = "\n".join(r.lines)
    # The browser's search and order: the entry heard after each.
    for mark, name in (("announce FTPROCUR", "canção.txt"), ("announce FTORDTAM", "grande.bin")):
        after = r.lines[r.lines.index(mark):] if mark in r.lines else []
        heard = [l[5:] for l in after if l.startswith("text ") and l[5:] in files][:1]
        if heard != [name]:
            failures.append("after %s heard %s, not %s" % (mark, heard, name))
    for shown in ("  dois  brancos.txt", "canção.txt", sshd.home + "/nova pasta"):
        if shown not in said:
            failures.append("not shown: %r" % shown)
    if [n for n in os.listdir(cwd) if n.endswith(".part")]:
        failures.append(".part left after complete receives")
    known = open(os.path.join(home, ".ssh", "known_hosts")).read()
    if not known.startswith("[127.0.0.1]:%d ssh-ed25519 " % sshd.port):
        failures.append("known_hosts holds %r" % known)
    # Known now: not asked again. The address typed at the question: no
    # data connection mode is said, and a host never typed before is offered
    # for saving as a site.
    sites = os.path.join(sysdir, "SITES.INI")
    if os.path.exists(sites):
        os.unlink(sites)
    keys = ("{until computador}" + address + "{Enter}" +
            "{until Guardar este site}s{until Site guardado}" +
            CMD + "d{until ESC termina}/{until Procurar}nova{Enter}{until nova pasta}{Esc}" +
            CMD + "{Esc}")
    r = run(a, work, sysdir, None, keys, home)
    expect(failures, "second run", r, 0,
           ["FTCOMPUT", "FTSSHINI", "FTACLIBE", "FTDIRPED", "FTFIMPRG"],
           ["FTHKDES", "FTHKACE", "FTPPASSI", "FTPNPASS", "FTFIMREC"])
    text = open(sites, encoding="utf-8").read() if os.path.exists(sites) else ""
    if "HOST=" + address not in text or "CONTA=ana" not in text or "PASSIVO" in text:
        failures.append("the SFTP site was not saved as typed: %r" % text)
    # The saved site by its name: its remote directory made current.
    with open(sites, "w", encoding="utf-8") as f:
        f.write(text.replace("CONTA=ana", "CONTA=ana\nDIRREMOTO=nova pasta"))
    keys = CMD + "i{until nova pasta}" + CMD + "{Esc}"
    r = run(a, work, sysdir, "127.0.0.1", keys, home)
    expect(failures, "the site by name", r, 0, ["FTSSHINI", "FTACLIBE", "FTFIMPRG"],
           ["FTHKDES", "Guardar"])
    if not r.timed_out and sshd.home + "/nova pasta" not in r.shown:
        failures.append("the site's remote directory was not made current")


def case_password(a, work, sysdir, sshd, failures):
    """No key: a wrong password refused, the right one taken; neither
    logged nor shown."""
    home = user_home(work)
    address = "sftp://127.0.0.1:%d" % sshd.port
    # The refusal is waited for: the first question stays on the screen, and
    # keys typed while the server judges the wrong password are thrown away
    # by the refusal's beep.
    keys = (ACCEPT + "{until Qual a conta}ana{Enter}{until Qual a senha}errada{Enter}"
            "{until Senha recusada}s3nha{dump @WORK@/typing.txt}{Enter}" + CMD + "{Esc}")
    r = run(a, work, sysdir, address, keys, home)
    expect(failures, "run", r, 0, ["FTHKMEM", "FTSENHA", "FTSENREC", "FTSENHA", "FTACLIBE",
                                   "FTFIMPRG"])
    for secret in ("s3nha", "errada"):
        if secret in r.shown or any(secret in l for l in r.lines):
            failures.append("%s shown or logged" % secret)
    typing = os.path.join(work, "typing.txt")
    if not os.path.exists(typing) or "s3n" in open(typing, errors="replace").read():
        failures.append("password in the screen while typed (or no dump)")


def case_changed_key(a, work, sysdir, sshd, failures):
    """A known_hosts entry with another key for the server: refused as a
    possible impostor before any authentication."""
    home = user_home(work, sshd.dir)
    other = os.path.join(work, "outra")
    subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", other], check=True)
    with open(other + ".pub") as f:
        key = " ".join(f.read().split()[:2])
    with open(os.path.join(home, ".ssh", "known_hosts"), "w") as f:
        f.write("[127.0.0.1]:%d %s\n" % (sshd.port, key))
    address = "sftp://ana@127.0.0.1:%d" % sshd.port
    r = run(a, work, sysdir, address, "{wait 3000}{Esc}", home)
    expect(failures, "run", r, 1, ["FTSSHINI", "FTHKMUD", "FTFIMPRG"],
           ["FTHKACE", "FTSENHA", "FTACLIBE"])
    if "userauth-request" in sshd.log():
        failures.append("an authentication reached the server after a changed key")


def case_resume_killed(a, work, sysdir, sshd, failures):
    """A receive killed half way leaves the .part; the next one goes on from
    its end and the file arrives whole."""
    data = os.urandom(160 * MIB)
    sshd.put("enorme.bin", data)
    home = user_home(work, sshd.dir)
    cwd = os.path.join(work, "cwd")
    address = "sftp://ana@127.0.0.1:%d" % sshd.port
    keys = os.path.join(work, "keys.txt")
    with open(keys, "w") as f:
        f.write(ACCEPT + recv("enorme.bin") + "{wait 60000}")
    env = dict(os.environ, QUIRAL_CONSOLE="script", QUIRAL_AUDIO="null", QUIRAL_KEYS=keys,
               QUIRAL_LOG=os.path.join(work, "log.txt"),
               QUIRAL_SCREEN=os.path.join(work, "screen.txt"), QUIRAL_SYSDIR=sysdir,
               QUIRAL_ROOT=a.quiral, TMPDIR=work, HOME=home)
    env.pop("SSH_AUTH_SOCK", None)
    part = os.path.join(cwd, "enorme.bin.part")
    p = subprocess.Popen([a.naviro, address], env=env, cwd=cwd)
    deadline = time.time() + 60
    while time.time() < deadline and p.poll() is None:
        if os.path.exists(part) and os.path.getsize(part) >= 4 * MIB:
            break
        time.sleep(0.002)
    p.kill()
    p.wait()
    kept = os.path.getsize(part) if os.path.exists(part) else 0
    if not 0 < kept < len(data):
        failures.append("killed receive left %d bytes of %d" % (kept, len(data)))
        return
    r = run(a, work, sysdir, address,
            recv("enorme.bin") + "{until Sim ou nao}s{until enorme.bin, }" + CMD + "{Esc}", home)
    expect(failures, "resumed run", r, 0, ["FTACLIBE", "FTRECEBE", "FTFIMREC", "FTFIMPRG"])
    got = os.path.join(cwd, "enorme.bin")
    if not os.path.exists(got) or sha(got) != hashlib.sha256(data).hexdigest():
        failures.append("resumed file differs")
    if "Continuando" not in r.shown and "continuando" not in r.shown:
        failures.append("the resume not said:\n" + r.shown)


def case_server_killed(a, work, sysdir, sshd, failures):
    """The server dies during a receive: the connection's end and what was
    kept are said, never the completion."""
    sshd.put("enorme.bin", os.urandom(160 * MIB))
    home = user_home(work, sshd.dir)
    cwd = os.path.join(work, "cwd")
    part = os.path.join(cwd, "enorme.bin.part")
    t = stop_when_grown(sshd, [part], 4 * MIB)
    address = "sftp://ana@127.0.0.1:%d" % sshd.port
    r = run(a, work, sysdir, address, ACCEPT + recv("enorme.bin") + "{wait 30000}", home)
    t.join(5)
    expect(failures, "run", r, 0, ["FTACLIBE", "FTRECEBE", "FTCOMCAI", "FTINTERR", "FTPARTE",
                                   "FTFIMPRG"], ["FTFIMREC"])
    if not os.path.exists(part) or os.path.exists(os.path.join(cwd, "enorme.bin")):
        failures.append("the .part not kept, or the file taken for whole")


def case_bad_servers(a, work, sysdir, sshd, failures):
    """A refused port, and a server that speaks another protocol."""
    home = user_home(work)
    r = run(a, work, sysdir, "sftp://127.0.0.1:1", "", home)
    expect(failures, "refused port", r, 1, ["FTNAOCON", "FTFIMPRG"], ["FTSSHINI"])
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    s.listen(1)

    def greet():
        try:
            c, _ = s.accept()
            c.sendall(b"220 FTP pronto\r\n")
            time.sleep(3)
            c.close()
        except OSError:
            pass

    t = threading.Thread(target=greet, daemon=True)
    t.start()
    r = run(a, work, sysdir, "sftp://127.0.0.1:%d" % s.getsockname()[1], "", home)
    s.close()
    expect(failures, "FTP server", r, 1, ["FTCONEC", "FTSSHNAO", "FTFIMPRG"], ["FTSENHA"])
    if "220 FTP pronto" not in r.shown:
        failures.append("the other protocol's line not shown")


def own(sshd, top):
    """Everything below top the account's own, links too."""
    st = os.stat(sshd.home)
    for d, dirs, names in os.walk(top):
        for n in [d] + [os.path.join(d, x) for x in dirs + names]:
            os.lchown(n, st.st_uid, st.st_gid)


def make_tree(root):
    """The folder tests' tree (blanks, accents, an empty directory, a deep
    path, links to a file and to a directory), a file of several reads, and
    a name with a line break that only a hostile server would list; returns
    the checksums of the regular files that may move, by path below root."""
    files = tree_e2e.make_tree(root)
    files["grande.bin"] = os.urandom(3 * MIB + 1)
    with open(os.path.join(root, "grande.bin"), "wb") as f:
        f.write(files["grande.bin"])
    with open(os.path.join(root, "linha\nquebrada.txt"), "wb") as f:
        f.write(b"hostil\n")
    return {k: hashlib.sha256(v).hexdigest() for k, v in files.items()}


def tree_failures(failures, label, want, here):
    got = tree_e2e.checksums(here) if os.path.isdir(here) else {}
    if got != want:
        failures.append("%s: files differ: missing %s, extra %s, changed %s" % (
            label, sorted(set(want) - set(got)), sorted(set(got) - set(want)),
            sorted(k for k in want if k in got and got[k] != want[k])))
    if not os.path.isdir(os.path.join(here, "vazio")):
        failures.append("%s: the empty directory was not made" % label)
    for d, dirs, names in os.walk(here):
        for n in dirs + names:
            if os.path.islink(os.path.join(d, n)):
                failures.append("%s: a link was made: %s" % (label, os.path.join(d, n)))


def case_tree(a, work, sysdir, sshd, failures):
    """Whole folders both ways (R on a directory of the browser, T with a
    local directory), a marked set received and then deleted, a pattern
    sent, and files marked in the local picker: over SFTP with the
    sentences, checks and judge of FTP's folders. Checksums compared; no
    link followed, no hostile name written."""
    home = user_home(work, sshd.dir)
    cwd = os.path.join(work, "cwd")
    address = "sftp://ana@127.0.0.1:%d" % sshd.port
    # Marked in the local picker first, while the working directory holds
    # only these (listed by name: "p 2.txt", "p1.txt", "p3.doc").
    picked = {"p 2.txt": b"dois\n" * 3000, "p1.txt": b"um\n", "p3.doc": b"tres\n"}
    for name, data in picked.items():
        with open(os.path.join(cwd, name), "wb") as f:
            f.write(data)
    keys = (ACCEPT + CMD + "t{until local ?}{Down}{wait 400}{Space}{wait 400}{Down}{wait 400}"
            "{Space}{wait 400}{Enter}{until Continuar}s{until enviados:}" + CMD + "{Esc}")
    r = run(a, work, sysdir, address, keys, home)
    expect(failures, "picker", r, 0, ["FTACLIBE", "FTFIMENV", "FTFIMPRG"])
    if "Marcados enviados: 2 arquivos" not in "\n".join(r.lines):
        failures.append("picker: the one outcome was not said")
    for name in ("p 2.txt", "p1.txt"):
        there = os.path.join(sshd.home, name)
        if not os.path.exists(there) or sha(there) != hashlib.sha256(picked[name]).hexdigest():
            failures.append("picker: %s not sent whole" % name)
    if os.path.exists(os.path.join(sshd.home, "p3.doc")):
        failures.append("picker: the unmarked p3.doc was sent")
    for name in picked:
        os.unlink(os.path.join(cwd, name))

    received = make_tree(os.path.join(sshd.home, "fotos"))
    own(sshd, os.path.join(sshd.home, "fotos"))
    sent = make_tree(os.path.join(cwd, "envio"))
    marked = {"m1.txt": b"m1\n", "m 2.txt": b"m2\n", "m3.txt": b"m3\n"}
    for name, data in marked.items():
        sshd.put(name, data)
    for name, data in (("a.txt", b"a\n"), ("B.TXT", b"bb\n"), ("c.doc", b"c\n")):
        with open(os.path.join(cwd, name), "wb") as f:
            f.write(data)
    os.symlink("/etc/passwd", os.path.join(cwd, "senhas.txt"))
    find = "/{until Procurar}%s{Enter}{until %s}"
    keys = (CMD + "d{until ESC termina}" + find % ("foto", "fotos") +
            "r{until Continuar}s{until Pasta recebida}{until deixados}{wait 300}{Esc}{wait 300}"
            "{Esc}" +
            CMD + "t{until local ?}envio{Enter}{until Continuar}s{until Pasta enviada}"
            "{until deixados}{wait 300}{Esc}" +
            CMD + "t{until local ?}*.txt{Enter}{until Continuar}s{until enviados:}" +
            CMD + "d{wait 1500}" + find % ("m1", "m1.txt") + "{Space}{until 1 marcado}" +
            find % ("m 2", "m 2.txt") + "{Ins}{until 2 marcados}r{until Continuar}s"
            "{until Marcados recebidos}{wait 300}" +
            find % ("m1", "m1.txt") + "{Space}{until 1 marcado}" + find % ("m3", "m3.txt") +
            "{Space}{until 2 marcados}a{until Apagar os 2}s{until apagados}{wait 300}{Esc}" +
            CMD + "{Esc}")
    r = run(a, work, sysdir, address, keys, home, timeout=120)
    expect(failures, "folders", r, 0,
           ["FTACLIBE", "FTDIRPED", "FTFIMREC", "FTFIMENV", "FTFIMENV", "FTFIMREC", "FTFIMPRG"])
    if r.timed_out:
        return
    said = "\n".join(r.lines)
    tree_failures(failures, "received", received, os.path.join(cwd, "fotos"))
    tree_failures(failures, "sent", sent, os.path.join(sshd.home, "envio"))
    for sentence in ("Pasta recebida: 6 arquivos", "Pasta enviada: 6 arquivos",
                     "3 itens deixados de lado", "Arquivos *.txt enviados: 2 arquivos",
                     "Marcados recebidos: 2 arquivos", "2 apagados"):
        if sentence not in said:
            failures.append("not said: %r" % sentence)
    if "falhou" in said or "falharam" in said:
        failures.append("a failure was said")
    for name in ("m1.txt", "m 2.txt"):
        got = os.path.join(cwd, name)
        if not os.path.exists(got) or open(got, "rb").read() != marked[name]:
            failures.append("marked %s not received whole" % name)
    if os.path.exists(os.path.join(cwd, "m3.txt")):
        failures.append("the unmarked m3.txt was received")
    left = sorted(n for n in os.listdir(sshd.home) if n.startswith("m"))
    if left != ["m 2.txt"]:
        failures.append("after deleting the marked set the server keeps %s" % left)
    for name, data in (("a.txt", b"a\n"), ("B.TXT", b"bb\n")):
        there = os.path.join(sshd.home, name)
        if not os.path.exists(there) or open(there, "rb").read() != data:
            failures.append("the pattern did not send %s whole" % name)
    for name in ("c.doc", "senhas.txt"):
        if os.path.lexists(os.path.join(sshd.home, name)):
            failures.append("the pattern sent %s" % name)
    strays = [n for n in os.listdir(work) if n not in ("cwd", "sys", "rig", "user", "keys.txt",
                                                       "log.txt", "screen.txt")]
    if strays:
        failures.append("written outside the folders: %s" % strays)


def case_tree_dropped(a, work, sysdir, sshd, failures):
    """The server dies while a folder is received: the connection's end and
    the stopped folder are said, never its completion, and no file cut
    short is put in place."""
    data = {"parte%d.bin" % i: os.urandom(24 * MIB) for i in range(6)}
    for name, d in data.items():
        sshd.put(os.path.join("lenta", name), d)
    own(sshd, os.path.join(sshd.home, "lenta"))
    home = user_home(work, sshd.dir)
    here = os.path.join(work, "cwd", "lenta")
    # Early in the first file: what is left takes longer than the stop,
    # even on a loaded machine.
    t = stop_when_grown(sshd, [os.path.join(here, n) for n in ("parte0.bin.part", "parte0.bin")],
                        MIB)
    address = "sftp://ana@127.0.0.1:%d" % sshd.port
    keys = (ACCEPT + CMD + "d{until ESC termina}r{until Continuar}s{until recebidos;}"
            "{wait 300}{Esc}{wait 300}{Esc}")
    r = run(a, work, sysdir, address, keys, home)
    t.join(5)
    expect(failures, "run", r, 0, ["FTACLIBE", "FTCOMCAI", "FTFIMPRG"], ["FTFIMREC"])
    said = "\n".join(r.lines)
    if "Pasta interrompida." not in said or "Pasta recebida" in said:
        failures.append("the stop not said, or completion said")
    whole = [n for n in sorted(os.listdir(here)) if not n.endswith(".part")] \
        if os.path.isdir(here) else []
    for n in whole:
        if sha(os.path.join(here, n)) != hashlib.sha256(data[n]).hexdigest():
            failures.append("%s put in place but not whole" % n)
    if len(whole) >= len(data):
        failures.append("every file arrived: the server died too late to test anything")
    if "%d de 6 recebidos" % len(whole) not in said:
        failures.append("the count said is not the %d received" % len(whole))


CASES = {
    "sftp_key_transfers": case_key_transfers,
    "sftp_password": case_password,
    "sftp_changed_key": case_changed_key,
    "sftp_resume_killed": case_resume_killed,
    "sftp_server_killed": case_server_killed,
    "sftp_bad_servers": case_bad_servers,
    "sftp_tree": case_tree,
    "sftp_tree_dropped": case_tree_dropped,
}


def main():
    a = case_arguments()
    if a is None:
        return 77
    work = tempfile.mkdtemp(prefix="naviro-sftp-")
    os.chmod(work, 0o755)
    sshd = None
    try:
        sysdir = os.path.join(work, "sys")
        os.makedirs(sysdir)
        os.makedirs(os.path.join(work, "cwd"))
        write_config(a.quiral, sysdir)
        sshd = Sshd(work)
        failures = []
        started = time.time()
        CASES[a.case](a, work, sysdir, sshd, failures)
        print("%s: %.1f s" % (a.case, time.time() - started))
        if failures:
            print("FAIL:\n  " + "\n  ".join(failures))
            screen = os.path.join(work, "screen.txt")
            if os.path.exists(screen):
                print("--- screen ---\n" + open(screen, errors="replace").read())
            return 1
        print("passed")
        return 0
    except SystemExit as e:
        return e.code
    finally:
        if sshd is not None:
            sshd.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
