#!/usr/bin/python3
"""Whole folders, end to end: naviro through the script console receives a
remote folder (R on a directory of the browser) and sends a local one (T
with a directory), against pyftpdlib and vsftpd on loopback. The trees hold
names with blanks and accents, an empty directory, a deep path and symbolic
links; pyftpdlib's listing of the folder also carries the hostile names
"../x" and "/etc/x". Every regular file is compared by its checksum; no
link is followed and nothing lands outside the chosen folder.

Usage: tree_e2e.py --naviro PATH --quiral DIR --case NAME
Exit 0 pass, 1 fail, 77 skipped."""
import hashlib
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ftp_e2e  # noqa: E402  (the servers and the run of naviro)

LOGIN_ANON = ftp_e2e.LOGIN_ANON


def verdict(name, run, failures, elapsed=None, shown=True, log_tail=0):
    """Prints the case's time and its failures, with the screen (and the
    log's last lines) when it failed; 0 passed, 1 failed."""
    print("%s: %.1f s" % (name, run.elapsed if elapsed is None else elapsed))
    if not failures:
        print("passed")
        return 0
    print("FAIL:\n  " + "\n  ".join(failures))
    if shown:
        print("--- screen ---\n" + run.shown)
    if log_tail:
        print("--- log tail ---\n" + "\n".join(run.lines[-log_tail:]))
    return 1


def make_tree(root):
    """A tree with the names that break naive code; returns its files."""
    os.makedirs(os.path.join(root, "vazio"))
    deep = os.path.join(root, "um", "dois", "três", "quatro", "cinco")
    os.makedirs(deep)
    files = {
        "a b.txt": b"com brancos\n",
        "ação.txt": "acentuação\n".encode(),
        "um/meio.bin": os.urandom(70000),
        "um/dois/três/quatro/cinco/fundo.bin": os.urandom(300000),
        "vazio.txt": b"",
    }
    for rel, data in files.items():
        with open(os.path.join(root, rel), "wb") as f:
            f.write(data)
    os.symlink("/etc/passwd", os.path.join(root, "ligação"))
    os.symlink("/etc", os.path.join(root, "pastalink"))
    return files


def checksums(root):
    """Every regular file below root (links not followed): path -> sha256."""
    out = {}
    for d, dirs, names in os.walk(root):
        for n in names:
            p = os.path.join(d, n)
            if os.path.islink(p) or not os.path.isfile(p):
                continue
            with open(p, "rb") as f:
                out[os.path.relpath(p, root)] = hashlib.sha256(f.read()).hexdigest()
    return out


def links_below(root):
    found = []
    for d, dirs, names in os.walk(root):
        found += [os.path.join(d, n) for n in dirs + names if os.path.islink(os.path.join(d, n))]
    return found


def hostile_server(root, machine):
    """pyftpdlib whose listing of the folder "fotos" also names ../x and
    /etc/x, as a hostile server's would; listing with MLSD when machine,
    else with LIST only."""
    from pyftpdlib.filesystems import AbstractedFS
    server = ftp_e2e.RealServer(root, without=() if machine else ("MLSD", "MLST"))

    class Hostile(AbstractedFS):
        def format_list(self, basedir, listing, ignore_err=True):
            yield from super().format_list(basedir, listing, ignore_err)
            if basedir.rstrip("/").endswith("/fotos"):
                for name in ("../x", "/etc/x"):
                    yield ("-rw-r--r--   1 ftp ftp 5 Dec 10 14:00 %s\r\n" % name).encode()

        def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
            yield from super().format_mlsx(basedir, listing, perms, facts, ignore_err)
            if basedir.rstrip("/").endswith("/fotos"):
                for name in ("../x", "/etc/x"):
                    yield ("type=file;size=5;modify=20261210140000; %s\r\n" % name).encode()

    server.server.handler.abstracted_fs = Hostile
    return server


def vsftpd_with_mkdir(srv, work, tls=None, more=()):
    """vsftpd as the FTP cases run it, anonymous users also allowed MKD,
    and the configuration lines of more."""
    server = ftp_e2e.Vsftpd(srv, work, tls=tls)
    server.proc.kill()
    server.proc.wait()
    conf = os.path.join(work, "vsftpd.conf")
    with open(conf, "a") as f:
        f.write("\n".join(["anon_mkdir_write_enable=YES"] + list(more)) + "\n")
    server.proc = subprocess.Popen(["/usr/sbin/vsftpd", conf], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
    for _ in range(50):
        try:
            socket.create_connection(("127.0.0.1", server.port), 0.2).close()
            break
        except OSError:
            time.sleep(0.1)
    return server


# A listing by MLSD follows links (RFC 3659 section 7.5.2), so a link on the
# server is seen as the file or directory it points to: pyftpdlib refuses
# the ones that point out of its root, and the folder ends with that one
# failure said and listed. LIST shows links as links: they are left out.
CASES = {
    "tree_receive_pyftpdlib": dict(server="pyftpdlib", direction="receive"),
    "tree_receive_pyftpdlib_mlsd": dict(server="pyftpdlib", direction="receive", machine=True),
    "tree_send_pyftpdlib": dict(server="pyftpdlib", direction="send"),
    "tree_receive_vsftpd": dict(server="vsftpd", direction="receive"),
    "tree_send_vsftpd": dict(server="vsftpd", direction="send"),
}


def everyday(a, work, sysdir):
    """Rename (M), remove an empty directory (X) and change the local
    directory (E), then a receive that lands in the new local directory."""
    srv, cli = os.path.join(work, "srv"), os.path.join(work, "cli")
    os.makedirs(os.path.join(srv, "vazio"))
    os.makedirs(os.path.join(srv, "cheio", "dentro"))
    os.makedirs(os.path.join(cli, "sub pasta"))
    with open(os.path.join(srv, "leia.txt"), "w") as f:
        f.write("texto\n")
    server = ftp_e2e.RealServer(srv)
    try:
        keys = (LOGIN_ANON +
                "m{until nome atual}leia.txt{Enter}{until novo nome}lido.txt{Enter}{wait 300}"
                "m{until nome atual}nada.txt{Enter}{until novo nome}x.txt{Enter}{wait 300}"
                "x{until a remover}vazio{Enter}{wait 300}"
                "x{until a remover}cheio{Enter}{wait 300}"
                "e{until arquivo local}sub pasta{Enter}{wait 300}"
                "r{until arquivo remoto}lido.txt{Enter}{until arquivo local}{Enter}"
                "{until modo imagem}s{until completada}{wait 300}{Esc}")
        run = ftp_e2e.Run(a.naviro, a.quiral, "127.0.0.1:%d" % server.port, keys, work, sysdir,
                          cli)
        commands = list(server.commands)
    finally:
        server.stop()
    failures = []
    want = ["RNFR leia.txt", "RNTO lido.txt", "RNFR nada.txt", "RMD vazio", "RMD cheio"]
    got = [c for c in commands if c.split(" ")[0] in ("RNFR", "RNTO", "RMD")]
    if got != want:
        failures.append("commands %s, not %s" % (got, want))
    if not os.path.exists(os.path.join(srv, "lido.txt")) or os.path.exists(
            os.path.join(srv, "leia.txt")):
        failures.append("not renamed")
    if os.path.exists(os.path.join(srv, "vazio")) or not os.path.isdir(os.path.join(srv, "cheio")):
        failures.append("RMD removed the wrong directory")
    if not os.path.exists(os.path.join(cli, "sub pasta", "lido.txt")):
        failures.append("the receive did not land in the chosen local directory")
    ok, heard = ftp_e2e.check_order(run.lines, ["FTNOMATU", "FTNOVNOM", "FTOK", "FTNAOREN",
                                                 "FTQUERMD", "FTOK", "FTNAORMD", "FTDIRLOC",
                                                 "FTDIRLOC", "FTFIMREC"])
    if not ok:
        failures.append("heard %s" % heard)
    if not any("sub pasta" in l for l in run.lines):
        failures.append("the new local directory was not said")
    return verdict("tree_everyday_commands", run, failures)


class ArgvRun(ftp_e2e.Run):
    """A run of naviro with the arguments given (none: the host is asked)."""

    def __init__(self, a, args, keys_text, work, sysdir, cwd, prefix=()):
        real = subprocess.run

        def run_with_args(argv, **kw):
            return real(list(prefix) + [argv[0]] + args, **kw)
        subprocess.run = run_with_args
        if os.path.exists(os.path.join(work, "log.txt")):
            os.unlink(os.path.join(work, "log.txt"))  # the log of this run alone
        try:
            super().__init__(a.naviro, a.quiral, "", keys_text, work, sysdir, cwd)
        finally:
            subprocess.run = real


def saved_sites(a, work, sysdir):
    """A host typed at the question is offered for saving and saved without
    its password; its name on the command line then connects with the
    account offered; Down at the question offers it in the menu."""
    srv = os.path.join(work, "srv")
    os.makedirs(srv)
    server = ftp_e2e.RealServer(srv)
    host = "127.0.0.1:%d" % server.port
    sites = os.path.join(sysdir, "SITES.INI")
    failures = []
    try:
        first = ArgvRun(a, [], "{until computador}" + host + "{Enter}" + LOGIN_ANON +
                        "{until Guardar este site}s{until Site guardado}{wait 200}{Esc}",
                        work, sysdir, work)
        text = ftp_e2e._read(sites)
        if "[127.0.0.1]" not in text or "HOST=" + host not in text or "CONTA=anonymous" not in text:
            failures.append("site not saved: %r" % text)
        if "x@y" in text:
            failures.append("the password was written")
        # The site's own mode and start directory, as a user would set them.
        os.makedirs(os.path.join(srv, "sub pasta"))
        with open(sites, "w", encoding="utf-8") as f:
            f.write(text.replace("PASSIVO=S", "PASSIVO=N\nDIRREMOTO=/sub pasta"))
        before = len(server.commands)
        second = ArgvRun(a, ["127.0.0.1"], "{until Qual a conta}{Enter}{until Qual a senha}x@y{Enter}"
                         "{wait 300}{Esc}", work, sysdir, work)
        if server.commands[before:before + 2] != ["USER anonymous", "PASS x@y"]:
            failures.append("the site's name did not connect with its account: %s" %
                            server.commands[before:])
        if "CWD /sub pasta" not in server.commands[before:]:
            failures.append("the site's remote directory was not made current")
        if not ftp_e2e.check_order(second.lines, ["FTPPASSI", "FTPNPASS"])[0]:
            failures.append("the site's active mode was not taken and said")
        if "Guardar este site" in second.shown or any("Guardar" in l for l in second.lines):
            failures.append("a saved site was offered for saving again")
        third = ArgvRun(a, [], "{until computador}{Down}{until conta anonymous}{Enter}"
                        "{until Qual a conta}{Enter}{until Qual a senha}x@y{Enter}{wait 300}{Esc}",
                        work, sysdir, work)
        if third.rc != 0 or not any("FTACLIBE" in l for l in third.lines):
            failures.append("the menu's site did not connect (rc %s)" % third.rc)
        if "1=" + host not in ftp_e2e._read(sites):
            failures.append("the recent host was not kept")
        for r in (first, second, third):
            if r.timed_out:
                failures.append("a run did not end")
    finally:
        server.stop()
    return verdict("tree_saved_sites", third, failures,
                   elapsed=first.elapsed + second.elapsed + third.elapsed)


def keyring(a, work, sysdir):
    """A password typed once is kept in a private GNOME Keyring on its own
    session bus, and the next login takes it from there; SITES.INI never
    holds it."""
    tools = [shutil.which(t) for t in ("dbus-run-session", "gnome-keyring-daemon")]
    if not all(tools):
        print("skipped: the keyring test needs dbus-run-session and gnome-keyring-daemon")
        return 77
    home = os.path.join(work, "home")
    run_dir = os.path.join(work, "run")
    for d in (home, run_dir):
        os.makedirs(d, mode=0o700)
    wrapper = os.path.join(work, "keyring.sh")
    with open(wrapper, "w") as f:
        f.write("#!/bin/sh\n"
                "export HOME=%s XDG_RUNTIME_DIR=%s XDG_DATA_HOME=%s/.local/share\n"
                "printf teste | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1\n"
                "exec \"$@\"\n" % (home, run_dir, home))
    os.chmod(wrapper, 0o755)
    prefix = [tools[0], "--", wrapper]
    srv = os.path.join(work, "srv")
    os.makedirs(srv)
    server = ftp_e2e.RealServer(srv)
    host = "127.0.0.1:%d" % server.port
    failures = []
    try:
        first = ArgvRun(a, [host], "{until Qual a conta}ana{Enter}{until Qual a senha}s3nha{Enter}"
                        "{until chaveiro}s{until Senha guardada}{wait 200}{Esc}",
                        work, sysdir, work, prefix)
        if "Senha guardada no chaveiro" not in first.shown:
            failures.append("the password was not kept: " + first.shown[-400:])
        before = len(server.commands)
        second = ArgvRun(a, [host], "{until Qual a conta}ana{Enter}{until Acesso liberado}"
                         "{wait 200}{Esc}", work, sysdir, work, prefix)
        if server.commands[before:before + 2] != ["USER ana", "PASS s3nha"]:
            failures.append("the keyring's password was not used: %s" % server.commands[before:])
        if "do chaveiro" not in second.shown:
            failures.append("the password's source was not said")
        if "chaveiro do sistema" in second.shown:
            failures.append("asked again for a password the keyring keeps")
        if "s3nha" in ftp_e2e._read(os.path.join(sysdir, "SITES.INI")):
            failures.append("the password was written to SITES.INI")
        if any("s3nha" in l for l in first.lines + second.lines):
            failures.append("the password was logged")
    finally:
        server.stop()
    return verdict("tree_keyring", second, failures, elapsed=first.elapsed + second.elapsed,
                   shown=False)


def marked(a, work, sysdir):
    """Entries marked in the browser (Space, Insert) move as one queue with
    one outcome, a directory whole; a marked set is deleted after one
    question."""
    srv, cli = os.path.join(work, "srv"), os.path.join(work, "cli")
    os.makedirs(os.path.join(srv, "pasta"))
    os.makedirs(cli)
    files = {"a.txt": b"a\n", "b b.txt": b"b\n", "nao.txt": b"n\n", "pasta/c.txt": b"c\n"}
    for rel, data in files.items():
        with open(os.path.join(srv, rel), "wb") as f:
            f.write(data)
    server = ftp_e2e.RealServer(srv)
    try:
        # Sorted by name, directories first: pasta, a.txt, b b.txt, nao.txt.
        keys = (LOGIN_ANON + "d{until diret}{Space}{until 1 marcado}{Down}{Ins}{until 2 marcados}"
                "{Down}{Space}{until 3 marcados}{Space}{until desmarcado}"
                "r{until Continuar}s{until Marcados recebidos}{wait 300}"
                "{Space}{until 1 marcado}{Down}{Space}{until 2 marcados}a{until Apagar os 2}s"
                "{until apagados}{wait 300}{Esc}{wait 300}{Esc}")
        run = ftp_e2e.Run(a.naviro, a.quiral, "127.0.0.1:%d" % server.port, keys, work, sysdir,
                          cli)
    finally:
        server.stop()
    failures = []
    for rel in ("pasta/c.txt", "a.txt"):
        p = os.path.join(cli, rel)
        if not os.path.exists(p) or open(p, "rb").read() != files[rel]:
            failures.append("marked %s not received whole" % rel)
    for rel in ("b b.txt", "nao.txt"):
        if os.path.exists(os.path.join(cli, rel)):
            failures.append("unmarked %s received" % rel)
    said = "\n".join(run.lines)
    if "Marcados recebidos: 2 arquivos" not in said:
        failures.append("the one outcome was not said")
    if "2 apagados" not in said:
        failures.append("the deletion was not said")
    # After the receive the marks are gone; the cursor is on b b.txt, then nao.txt.
    left = sorted(os.listdir(srv))
    if left != ["a.txt", "pasta"]:
        failures.append("the server kept %s" % left)
    return verdict("tree_marked_browser", run, failures)


def slow_folder(work, sysdir, mib):
    """A folder "lenta" of six files of mib MiB on a vsftpd that sends about
    4 MB/s a connection, naviro set to three connections: (srv, cli, the
    files' bytes, the server); None, said, where vsftpd cannot run."""
    if not os.path.exists("/usr/sbin/vsftpd") or os.getuid() != 0:
        print("skipped: vsftpd needs /usr/sbin/vsftpd and root")
        return None
    srv, cli = os.path.join(work, "srv"), os.path.join(work, "cli")
    os.makedirs(os.path.join(srv, "lenta"))
    os.makedirs(cli)
    data = {}
    for i in range(6):
        name = "parte%d.bin" % i
        data[name] = os.urandom(mib * 1024 * 1024)
        with open(os.path.join(srv, "lenta", name), "wb") as f:
            f.write(data[name])
    os.chmod(srv, 0o755)
    use_connections(sysdir, 3)
    return srv, cli, data, ftp_e2e.Vsftpd(srv, work, slow=True)


def stopped(a, work, sysdir):
    """A key during a slow folder moving over three connections says where
    the whole folder is while the data goes on; Esc asks first (N goes on),
    then S stops every connection: the outcome says so, never completion,
    and no file cut short is put in place."""
    slow = slow_folder(work, sysdir, 32)
    if slow is None:
        return 77
    srv, cli, data, server = slow
    try:
        keys = (LOGIN_ANON + "d{until diret}r{until Continuar}s{until Arquivo}"
                "{wait 700}x{until megabaites de}{wait 700}{Esc}{until Parar a pasta}n"
                "{wait 700}{Esc}{until Parar a pasta}s{until recebidos;}{wait 300}{Esc}"
                "{wait 300}{Esc}{wait 300}{Esc}")
        keys = keys.replace("{until Arquivo}", "{wait 1000}")
        run = ftp_e2e.Run(a.naviro, a.quiral, "127.0.0.1:%d" % server.port, keys, work, sysdir,
                          cli)
    finally:
        server.stop()
    failures = []
    said = "\n".join(run.lines)
    if "text Arquivo " not in said:
        failures.append("the folder's progress was not said")
    if "Pasta interrompida." not in said:
        failures.append("the stop was not said")
    if "announce FTFIMREC" in said or "Pasta recebida" in said:
        failures.append("completion said for a stopped folder")
    here = os.path.join(cli, "lenta")
    whole = [n for n in sorted(os.listdir(here)) if not n.endswith(".part")] if os.path.isdir(
        here) else []
    for n in whole:
        with open(os.path.join(here, n), "rb") as f:
            if f.read() != data[n]:
                failures.append("%s put in place but not whole" % n)
    if len(whole) >= len(data):
        failures.append("every file arrived: the stop came too late to test anything")
    if "%d de 6 recebidos" % len(whole) not in said:
        failures.append("the count of files received is not the one said (%d here)" % len(whole))
    return verdict("tree_stop_and_progress", run, failures)


def with_sessions(pid):
    """A server's PID and those of every process below it (its sessions)."""
    below = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == pid:
            below += with_sessions(int(entry))
    return [pid] + below


def kill_with_sessions(pid):
    """Kills a server with its sessions, all at once: each is frozen first,
    so that none sees another go and answers for it (vsftpd's session says
    "500 OOPS" when its other half dies first)."""
    pids = with_sessions(pid)
    for signal in (19, 9):  # SIGSTOP, then SIGKILL
        for p in pids:
            try:
                os.kill(p, signal)
            except ProcessLookupError:
                pass


def server_killed(a, work, sysdir):
    """The server dies while a folder moves over three connections: the
    lost connection and the stopped folder are said, with the count that
    arrived, never completion; no file cut short is put in place."""
    slow = slow_folder(work, sysdir, 24)
    if slow is None:
        return 77
    srv, cli, data, server = slow
    here = os.path.join(cli, "lenta")

    def kill_when_moving():
        # Early: what is left takes longer than the stop, even when loaded.
        deadline = time.time() + 60
        while time.time() < deadline:
            try:
                if any(os.path.getsize(os.path.join(here, n)) >= 1024 * 1024
                       for n in os.listdir(here)):
                    break
            except OSError:
                pass
            time.sleep(0.02)
        kill_with_sessions(server.proc.pid)

    import threading
    stopper = threading.Thread(target=kill_when_moving)
    stopper.start()
    try:
        keys = (LOGIN_ANON + "d{until diret}r{until Continuar}s{until recebidos;}"
                "{wait 300}{Esc}{wait 300}{Esc}")
        run = ftp_e2e.Run(a.naviro, a.quiral, "127.0.0.1:%d" % server.port, keys, work, sysdir,
                          cli)
    finally:
        stopper.join(5)
        server.stop()
    failures = []
    said = "\n".join(run.lines)
    if "announce FTCOMCAI" not in said:
        failures.append("the lost connection was not said")
    if "Pasta interrompida." not in said:
        failures.append("the stopped folder was not said")
    if "announce FTFIMREC" in said or "Pasta recebida" in said:
        failures.append("completion said for a folder whose server died")
    whole = [n for n in sorted(os.listdir(here)) if not n.endswith(".part")] if os.path.isdir(
        here) else []
    for n in whole:
        with open(os.path.join(here, n), "rb") as f:
            if f.read() != data[n]:
                failures.append("%s put in place but not whole" % n)
    if len(whole) >= len(data):
        failures.append("every file arrived: the server died too late to test anything")
    if "%d de 6 recebidos" % len(whole) not in said:
        failures.append("the count of files received is not the one said (%d here)" % len(whole))
    return verdict("tree_server_killed", run, failures, log_tail=30)


def pattern(a, work, sysdir):
    """T with a pattern sends every matching file, not only the first, as
    one queue with one outcome; a link that matches is not followed."""
    srv, cli = os.path.join(work, "srv"), os.path.join(work, "cli")
    os.makedirs(srv)
    os.makedirs(cli)
    files = {"a.txt": b"a\n", "B.TXT": b"bb\n", "c.doc": b"c\n"}
    for rel, data in files.items():
        with open(os.path.join(cli, rel), "wb") as f:
            f.write(data)
    os.symlink("/etc/passwd", os.path.join(cli, "senhas.txt"))
    server = ftp_e2e.RealServer(srv)
    try:
        keys = (LOGIN_ANON + "t{until arquivo local}*.txt{Enter}{until Continuar}s"
                "{until enviados:}{wait 300}{Esc}")
        run = ftp_e2e.Run(a.naviro, a.quiral, "127.0.0.1:%d" % server.port, keys, work, sysdir,
                          cli)
    finally:
        server.stop()
    failures = []
    if sorted(os.listdir(srv)) != ["B.TXT", "a.txt"]:
        failures.append("the server got %s" % sorted(os.listdir(srv)))
    for rel in ("a.txt", "B.TXT"):
        p = os.path.join(srv, rel)
        if os.path.exists(p) and open(p, "rb").read() != files[rel]:
            failures.append("%s not whole" % rel)
    if "Arquivos *.txt enviados: 2 arquivos" not in "\n".join(run.lines):
        failures.append("the one outcome was not said")
    return verdict("tree_send_pattern", run, failures)


def marked_picker(a, work, sysdir):
    """Files and a directory marked with Space in the local picker at T go
    as one queue with one question and one outcome, the directory as its
    whole tree; the unmarked ones stay behind."""
    srv, cli = os.path.join(work, "srv"), os.path.join(work, "cli")
    os.makedirs(srv)
    os.makedirs(os.path.join(cli, "pasta", "sub"))
    files = {"a.txt": b"a\n" * 5000, "b b.txt": b"b\n", "c.doc": b"c\n", "pasta/d.txt": b"d\n",
             "pasta/sub/e.bin": os.urandom(200000)}
    for rel, data in files.items():
        with open(os.path.join(cli, rel), "wb") as f:
            f.write(data)
    server = ftp_e2e.RealServer(srv)
    try:
        # The picker lists by name: a.txt, b b.txt, c.doc, pasta.
        keys = (LOGIN_ANON + "t{until arquivo local}{Down}{wait 400}{Space}{wait 400}{Down}"
                "{wait 400}{Space}{wait 400}{End}{until diret}{Space}{wait 400}{Enter}"
                "{until Continuar}s{until enviados:}{wait 300}{Esc}")
        run = ftp_e2e.Run(a.naviro, a.quiral, "127.0.0.1:%d" % server.port, keys, work, sysdir,
                          cli)
    finally:
        server.stop()
    failures = []
    got = sorted(os.path.relpath(os.path.join(d, n), srv)
                 for d, _, names in os.walk(srv) for n in names)
    sent = ["a.txt", "b b.txt", "pasta/d.txt", "pasta/sub/e.bin"]
    if got != sent:
        failures.append("the server got %s" % got)
    for rel in sent:
        p = os.path.join(srv, rel)
        if os.path.exists(p) and hashlib.sha256(open(p, "rb").read()).digest() != \
                hashlib.sha256(files[rel]).digest():
            failures.append("%s not whole" % rel)
    said = "\n".join(run.lines)
    if said.count("Continuar") != 1:
        failures.append("not one question")
    if "Marcados enviados: 4 arquivos" not in said:
        failures.append("the one outcome was not said")
    return verdict("tree_marked_picker", run, failures)


def use_connections(sysdir, count):
    """CONEXOES=count in the run's QUIRAL.INI."""
    ini = os.path.join(sysdir, "QUIRAL.INI")
    with open(ini, encoding="utf-8", errors="replace") as f:
        text = f.read()
    with open(ini, "w", encoding="utf-8") as f:
        f.write(text.replace("[NAVIRO]", "[NAVIRO]\nCONEXOES=%d" % count, 1))


def flat_tree(root, count):
    """count files of a few kilobytes to a few hundred in two directories
    and the root: name -> bytes."""
    files = {}
    for i in range(count):
        rel = os.path.join(("um", "dois", "")[i % 3], "f%02d.bin" % i)
        os.makedirs(os.path.dirname(os.path.join(root, rel)), exist_ok=True)
        files[rel] = os.urandom(1000 + 9000 * (i % 7) + (300000 if i % 10 == 0 else 0))
        with open(os.path.join(root, rel), "wb") as f:
            f.write(files[rel])
    return files


PARALLEL = {
    # pyftpdlib takes one connection from an address: the main connection
    # moves everything; the three further ones are refused (421).
    "tree_parallel_pyftpdlib": dict(server="pyftpdlib", limit=1, extra=0),
    # vsftpd takes two: the main one and one more (at most: it counts a
    # connection until its process has gone, so one just closed may still
    # count), the others refused.
    "tree_parallel_vsftpd_two": dict(server="vsftpd", limit=2, extra=1, at_most=True),
    # Under TLS with session reuse required on the data connections: every
    # connection secured as the main one, each data connection resuming its
    # own connection's session.
    "tree_parallel_vsftpd_tls": dict(server="vsftpd", tls=True, extra=3),
}


def parallel(a, work, sysdir, name):
    """A folder received and one sent with CONEXOES=3, every file compared
    by its checksum, the further connections used as the server allows."""
    case = PARALLEL[name]
    vsftpd = case["server"] == "vsftpd"
    if vsftpd and (not os.path.exists("/usr/sbin/vsftpd") or os.getuid() != 0):
        print("skipped: vsftpd needs /usr/sbin/vsftpd and root")
        return 77
    srv, cli = os.path.join(work, "srv"), os.path.join(work, "cli")
    os.makedirs(cli)
    there = flat_tree(os.path.join(srv, "arvore"), 30)
    here = flat_tree(os.path.join(cli, "envio"), 30)
    tls = ftp_e2e.make_certificate(work, "servidor") if case.get("tls") else None
    ftp_e2e.write_config(a.quiral, sysdir, tls="S" if tls else "N")
    use_connections(sysdir, 3)
    if vsftpd:
        for d, dirs, names in os.walk(srv):
            for n in dirs:
                os.chmod(os.path.join(d, n), 0o755)
            for n in names:
                os.chmod(os.path.join(d, n), 0o644)
        server = vsftpd_with_mkdir(srv, work, tls=tls, more=["max_per_ip=%d" % case["limit"]]
                                   if "limit" in case else [])
        if "limit" in case:
            time.sleep(0.5)  # the readiness probe's connection gone from vsftpd's count
        up = "s{until desejado}up{Enter}{wait 300}"
    else:
        server = ftp_e2e.RealServer(srv)
        server.server.max_cons_per_ip = case["limit"]
        up = ""
    if tls:
        with open(os.path.join(sysdir, "CERTIFIC.TXT"), "w") as f:
            f.write("127.0.0.1:%d %s\n" % (server.port, ftp_e2e.fingerprint(tls[0])))
    host = "127.0.0.1:%d" % server.port
    try:
        runs = []
        for keys in ("d{until diret}r{until Continuar}s{until Pasta recebida}"
                     "{wait 300}{Esc}{wait 300}{Esc}{wait 300}{Esc}",
                     up + "t{until arquivo local}envio{Enter}{until Continuar}s"
                     "{until Pasta enviada}{wait 300}{Esc}{wait 300}{Esc}"):
            own = os.path.join(work, "run%d" % len(runs))  # a log of its own
            os.makedirs(own)
            runs.append(ftp_e2e.Run(a.naviro, a.quiral, host, LOGIN_ANON + keys, own, sysdir, cli))
        got, sent = runs
        if os.environ.get("KEEPLOG"):
            for i, r in enumerate(runs):
                open("/tmp/tprobe/e2e%d.log" % i, "w").write("\n".join(r.lines))
    finally:
        server.stop()
    failures = []
    for run, files, root, done in (
            (got, there, os.path.join(cli, "arvore"), "Pasta recebida: 30 arquivos"),
            (sent, here, os.path.join(srv, "up" if vsftpd else "", "envio"),
             "Pasta enviada: 30 arquivos")):
        want = {k: hashlib.sha256(v).hexdigest() for k, v in files.items()}
        have = checksums(root) if os.path.isdir(root) else {}
        if have != want:
            failures.append("%s: missing %s, extra %s, changed %s" % (
                done, sorted(set(want) - set(have)), sorted(set(have) - set(want)),
                sorted(k for k in want if k in have and have[k] != want[k])))
        said = "\n".join(run.lines)
        if done not in said or "falh" in said:
            failures.append("not said whole: " + done)
        logged_in = sum(1 for n in (2, 3, 4) if "conexao %d ready" % n in said)
        if logged_in > case["extra"] or (logged_in < case["extra"] and not case.get("at_most")):
            failures.append("%s: %d further connections logged in, %d expected" %
                            (done, logged_in, case["extra"]))
        if tls and "conexao 2< 234" not in said:
            failures.append("the further connections did not ask for TLS")
        refused = said.count("left out: refused: 421")
        if refused != 3 - logged_in:
            failures.append("%s: %d connections refused, %d expected" %
                            (done, refused, 3 - logged_in))
    shown = got if any("recebida" in f for f in failures) else sent
    return verdict(name, shown, failures, elapsed=got.elapsed + sent.elapsed, log_tail=40)


def main():
    a = ftp_e2e.case_arguments()
    if a is None:
        return 77
    if a.case in PARALLEL:
        work = tempfile.mkdtemp(prefix="naviro-tree-")
        try:
            sysdir = os.path.join(work, "sys")
            os.makedirs(sysdir)
            return parallel(a, work, sysdir, a.case)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    if a.case in ("tree_everyday_commands", "tree_saved_sites", "tree_keyring",
                  "tree_marked_browser", "tree_stop_and_progress", "tree_send_pattern",
                  "tree_marked_picker", "tree_server_killed"):
        work = tempfile.mkdtemp(prefix="naviro-tree-")
        try:
            sysdir = os.path.join(work, "sys")
            os.makedirs(sysdir)
            ftp_e2e.write_config(a.quiral, sysdir)
            if a.case == "tree_saved_sites":
                return saved_sites(a, work, sysdir)
            if a.case == "tree_keyring":
                return keyring(a, work, sysdir)
            if a.case == "tree_marked_picker":
                return marked_picker(a, work, sysdir)
            if a.case == "tree_marked_browser":
                return marked(a, work, sysdir)
            if a.case == "tree_stop_and_progress":
                return stopped(a, work, sysdir)
            if a.case == "tree_server_killed":
                return server_killed(a, work, sysdir)
            if a.case == "tree_send_pattern":
                return pattern(a, work, sysdir)
            return everyday(a, work, sysdir)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    case = CASES[a.case]
    if case["server"] == "vsftpd" and (not os.path.exists("/usr/sbin/vsftpd") or os.getuid() != 0):
        print("skipped: vsftpd needs /usr/sbin/vsftpd and root")
        return 77
    work = tempfile.mkdtemp(prefix="naviro-tree-")
    server = None
    try:
        sysdir = os.path.join(work, "sys")
        srv = os.path.join(work, "srv")
        cli = os.path.join(work, "cli")
        for d in (sysdir, srv, cli):
            os.makedirs(d)
        ftp_e2e.write_config(a.quiral, sysdir)
        receive = case["direction"] == "receive"
        if receive:
            sent = make_tree(os.path.join(srv, "fotos"))
        else:
            sent = make_tree(os.path.join(cli, "envio"))
        if case["server"] == "pyftpdlib":
            server = hostile_server(srv, case.get("machine", False))
            upload_dir = ""
        else:
            os.chmod(srv, 0o755)
            for d, dirs, names in os.walk(srv):
                for n in dirs:
                    os.chmod(os.path.join(d, n), 0o755)
                for n in names:
                    if not os.path.islink(os.path.join(d, n)):
                        os.chmod(os.path.join(d, n), 0o644)
            server = vsftpd_with_mkdir(srv, work)
            upload_dir = "up"
        host = "127.0.0.1:%d" % server.port
        machine = case.get("machine", False)
        if receive:
            # The listing holds only the folder (and vsftpd's up/): the first
            # entry is it when it sorts first.
            keys = (LOGIN_ANON + "d{until diret}r{until Continuar}s{until %s}"
                    "{wait 300}{Esc}{wait 300}{Esc}{wait 300}{Esc}" %
                    ("1 falhou" if machine else "Pasta recebida"))
        else:
            keys = LOGIN_ANON
            if upload_dir:
                keys += "s{until desejado}%s{Enter}{wait 300}" % upload_dir
            keys += ("t{until arquivo local}envio{Enter}{until Continuar}s{until Pasta enviada}"
                     "{wait 300}{Esc}{wait 300}{Esc}")
        run = ftp_e2e.Run(a.naviro, a.quiral, host, keys, work, sysdir, cli)
        failures = []
        if run.timed_out:
            failures.append("naviro did not end in time")
        if receive:
            there, here = os.path.join(srv, "fotos"), os.path.join(cli, "fotos")
        else:
            there = os.path.join(cli, "envio")
            here = os.path.join(srv, upload_dir, "envio")
        want = {k: hashlib.sha256(v).hexdigest() for k, v in sent.items()}
        got = checksums(here) if os.path.isdir(here) else {}
        if got != want:
            failures.append("files differ: missing %s, extra %s, changed %s" % (
                sorted(set(want) - set(got)), sorted(set(got) - set(want)),
                sorted(k for k in want if k in got and got[k] != want[k])))
        if not os.path.isdir(os.path.join(here, "vazio")):
            failures.append("the empty directory was not made")
        if links_below(here):
            failures.append("links made: %s" % links_below(here))
        for stray in ("x", "../x", "fotos/../x"):
            if os.path.exists(os.path.join(cli, stray)) and stray != "fotos/../x":
                failures.append("a hostile name landed: " + stray)
        if os.path.exists(os.path.join(work, "x")):
            failures.append("a hostile name left the folder")
        parts = [p for p in checksums(here) if p.endswith(".part")] if os.path.isdir(here) else []
        if parts:
            failures.append("partial files left: %s" % parts)
        heard = [l[len("announce "):] for l in run.lines if l.startswith("announce ")]
        said = "\n".join(run.lines)
        done = "FTFIMREC" if receive else "FTFIMENV"
        if machine:
            if done in heard or "Pasta recebida" in said:
                failures.append("completion said after a failure")
            if "5 de 6 recebidos; 1 falhou" not in said:
                failures.append("the failure was not said")
            if "text ligação" not in said:
                failures.append("the failed file was not listed")
            left = 3  # ../x, /etc/x, and pastalink, which the server will not list
        else:
            if done not in heard:
                failures.append("%s not heard" % done)
            expect = "Pasta %s: 5 arquivos" % ("recebida" if receive else "enviada")
            if expect not in said:
                failures.append("outcome not said: %r" % expect)
            if "falharam" in said or "falhou" in said:
                failures.append("a failure was said")
            left = 4 if receive and case["server"] == "pyftpdlib" else 2
        if "%d itens deixados de lado" % left not in said:
            failures.append("left-out items not said (%d expected)" % left)
        return verdict(a.case, run, failures, log_tail=60)
    finally:
        if server is not None:
            server.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
