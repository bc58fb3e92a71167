#!/usr/bin/python3
"""End-to-end runs of naviro through the script console against a real FTP
server (pyftpdlib) or a scripted one on loopback. Each case starts its
server on a free port, runs naviro with a key script, always stops the
server, and checks the event log, the screen and the command transcript.

Usage: ftp_e2e.py --naviro PATH --quiral DIR --case NAME
Exit 0 pass, 1 fail, 77 skipped (no generated sound library)."""
import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

RUN_TIMEOUT = 60


class ScriptedServer:
    """Answers each command with the next step's pieces; records commands."""

    def __init__(self, greeting, steps):
        self.greeting = greeting          # list of (pieces, close)
        self.steps = steps
        self.commands = []
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(1)
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.stopping = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def send(self, conn, pieces):
        for i, p in enumerate(pieces):
            if i:
                time.sleep(0.1)
            conn.sendall(p)

    def run(self):
        conn = None
        while not self.stopping and conn is None:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                pass
        if conn is None:
            return
        conn.settimeout(0.2)
        pending = b""
        steps = list(self.steps)
        try:
            pieces, close = self.greeting
            self.send(conn, pieces)
            if close:
                return
            while not self.stopping:
                while b"\r\n" not in pending and not self.stopping:
                    try:
                        data = conn.recv(4096)
                    except socket.timeout:
                        continue
                    if not data:
                        return
                    pending += data
                if self.stopping:
                    return
                line, pending = pending.split(b"\r\n", 1)
                self.commands.append(line.decode("utf-8", "replace"))
                if steps:
                    pieces, close = steps.pop(0)
                elif line.upper().startswith(b"QUIT"):
                    pieces, close = [b"221 Tchau\r\n"], True
                else:
                    pieces, close = [b"200 Ok\r\n"], False
                self.send(conn, pieces)
                if close:
                    return
        except OSError:
            pass
        finally:
            conn.close()

    def stop(self):
        self.stopping = True
        self.thread.join(5)
        self.sock.close()


class RealServer:
    """pyftpdlib serving a sample tree; anonymous with write access and a
    user ana with password s3nha."""

    def __init__(self, root, host="127.0.0.1", without=(), tls=None, tls13=False):
        """tls: (certificate, key) files for explicit TLS (AUTH TLS); at TLS
        1.2 unless tls13."""
        from pyftpdlib.authorizers import DummyAuthorizer
        from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
        from pyftpdlib.servers import FTPServer
        import logging
        import warnings
        from pyftpdlib.log import config_logging
        config_logging(level=int(os.environ.get("FTPLOG", logging.ERROR)))
        warnings.simplefilter("ignore")
        self.commands = []
        self.versions = set()  # the TLS versions of the control connections
        commands, versions = self.commands, self.versions

        class Recording(TLS_FTPHandler if tls else FTPHandler):
            def pre_process_command(self, line, cmd, arg):
                commands.append(line)
                if hasattr(self.socket, "get_protocol_version_name"):
                    versions.add(self.socket.get_protocol_version_name())
                return super().pre_process_command(line, cmd, arg)

        auth = DummyAuthorizer()
        auth.add_anonymous(root, perm="elradfmwMT")
        auth.add_user("ana", "s3nha", root, perm="elradfmwMT")
        Recording.authorizer = auth
        Recording.use_encoding = "utf8"
        # An older server: the commands named in without are unknown to it
        # (500), and FEAT does not list them.
        Recording.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items()
                                if k not in without}
        if tls:
            # One version at a time, so that each is known to be the one
            # spoken: 1.2 unless asked for 1.3.
            from OpenSSL import SSL
            Recording.proto_cmds = dict(TLS_FTPHandler.proto_cmds)
            Recording.certfile, Recording.keyfile = tls
            Recording.ssl_options = TLS_FTPHandler.ssl_options | \
                (SSL.OP_NO_TLSv1_2 if tls13 else SSL.OP_NO_TLSv1_3)
        self.server = FTPServer((host, 0), Recording)
        self.port = self.server.socket.getsockname()[1]
        self.thread = threading.Thread(
            target=self.server.serve_forever, kwargs={"timeout": 0.1}, daemon=True)
        self.thread.start()

    def stop(self):
        self.server.close_all()
        self.thread.join(5)


def make_certificate(work, name):
    """A self-signed certificate and its key, made now: (certificate, key)."""
    crt, key = os.path.join(work, name + ".crt"), os.path.join(work, name + ".key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                    "-subj", "/CN=naviro-teste/O=Servidor de teste", "-keyout", key, "-out", crt],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return crt, key


class Vsftpd:
    """vsftpd standalone on a loopback port, anonymous with uploads into up/,
    and explicit TLS with session reuse required on the data connections when
    a certificate is given. Its protocol log gives the commands received."""

    def __init__(self, root, work, tls=None, slow=False):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        self.port = s.getsockname()[1]
        s.close()
        empty = os.path.join(work, "vsftpd-empty")
        os.makedirs(empty, exist_ok=True)
        os.makedirs(os.path.join(root, "up"), exist_ok=True)
        os.chmod(os.path.join(root, "up"), 0o777)
        os.chmod(root, 0o555)
        self.log = os.path.join(work, "vsftpd.log")
        conf = os.path.join(work, "vsftpd.conf")
        lines = [
            "listen=YES", "listen_address=127.0.0.1", "listen_port=%d" % self.port,
            "anonymous_enable=YES", "local_enable=NO", "write_enable=YES",
            "anon_upload_enable=YES", "anon_world_readable_only=NO", "anon_root=" + root,
            "pasv_enable=YES", "port_enable=YES", "connect_from_port_20=NO",
            "secure_chroot_dir=" + empty, "seccomp_sandbox=NO", "background=NO",
            "xferlog_enable=YES", "xferlog_std_format=NO", "log_ftp_protocol=YES",
            "vsftpd_log_file=" + self.log, "ftp_username=ftp", "anon_umask=022"]
        if tls:
            lines += ["ssl_enable=YES", "rsa_cert_file=" + tls[0], "rsa_private_key_file=" + tls[1],
                      "allow_anon_ssl=YES", "force_anon_logins_ssl=YES",
                      "force_anon_data_ssl=YES", "require_ssl_reuse=YES", "ssl_ciphers=HIGH"]
        if slow:  # enough for an abort half way through a big file
            lines.append("anon_max_rate=4000000")
        with open(conf, "w") as f:
            f.write("\n".join(lines) + "\n")
        self.proc = subprocess.Popen(["/usr/sbin/vsftpd", conf], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        for _ in range(50):
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                return
            except OSError:
                time.sleep(0.1)

    @property
    def commands(self):
        out = []
        for line in _read(self.log).splitlines():
            if "FTP command:" in line and '", "' in line:
                out.append(line.split('", "', 1)[1].rstrip('"'))
        return out

    def stop(self):
        self.proc.kill()
        self.proc.wait()


def proftpd_program():
    """The proftpd program: NAVIRO_PROFTPD, the system's, or the copy that
    scripts/install-deps.sh unpacks beside the system's vsftpd (the two
    packages conflict)."""
    for path in (os.environ.get("NAVIRO_PROFTPD"), "/usr/sbin/proftpd",
                 "/opt/naviro-proftpd/usr/sbin/proftpd"):
        if path and os.access(path, os.X_OK):
            return path
    return None


class Proftpd:
    """proftpd standalone and unprivileged on a loopback port, from a
    configuration of its own: one user ana (password s3nha) at home in root,
    uploads into up/, explicit TLS required on the control and the data
    connections, which must resume the control session. Run by root, it runs
    as nobody. Its command log gives the commands received."""

    def __init__(self, root, work, tls, host="127.0.0.1"):
        import grp
        import pwd
        program = proftpd_program()
        if program is None:
            raise RuntimeError("proftpd is not installed (scripts/install-deps.sh)")
        modules = os.path.join(os.path.dirname(os.path.dirname(program)), "lib", "proftpd")
        family = socket.AF_INET6 if ":" in host else socket.AF_INET
        s = socket.socket(family)
        s.bind((host, 0))
        self.port = s.getsockname()[1]
        s.close()
        self.host = host
        user = pwd.getpwnam("nobody") if os.geteuid() == 0 else pwd.getpwuid(os.geteuid())
        run = os.path.join(work, "proftpd")
        os.makedirs(run)
        os.makedirs(os.path.join(root, "up"), exist_ok=True)
        os.chmod(os.path.join(root, "up"), 0o777)
        os.chmod(work, 0o755)
        crypt = subprocess.run(["openssl", "passwd", "-6", "s3nha"], capture_output=True,
                               text=True, check=True).stdout.strip()
        passwd, group = os.path.join(run, "passwd"), os.path.join(run, "group")
        with open(passwd, "w") as f:
            f.write("ana:%s:%d:%d::%s:/bin/false\n" % (crypt, user.pw_uid, user.pw_gid, root))
        with open(group, "w") as f:
            f.write("naviro:x:%d:\n" % user.pw_gid)
        self.log = os.path.join(run, "commands.log")
        lines = [
            'ServerName "Servidor de teste"', "ServerType standalone", "DefaultServer on",
            "Port %d" % self.port, "DefaultAddress " + host, "SocketBindTight on", "UseIPv6 on",
            "User " + user.pw_name, "Group " + grp.getgrgid(user.pw_gid).gr_name,
            "PidFile " + os.path.join(run, "proftpd.pid"),
            "ScoreboardFile " + os.path.join(run, "proftpd.scoreboard"),
            "DelayEngine off", "UseReverseDNS off", "WtmpLog off", "TransferLog NONE",
            "<IfModule mod_ident.c>", "IdentLookups off", "</IfModule>",
            "<IfModule mod_ctrls.c>", "ControlsEngine off", "</IfModule>",
            "ModulePath " + modules, "LoadModule mod_tls.c",
            "AuthOrder mod_auth_file.c", "AuthUserFile " + passwd, "AuthGroupFile " + group,
            "RequireValidShell off", "AllowOverwrite on", "Umask 022",
            "SystemLog " + os.path.join(run, "system.log"),
            "ExtendedLog %s ALL default" % self.log,
            "TLSEngine on", "TLSLog " + os.path.join(run, "tls.log"),
            "TLSProtocol TLSv1.2 TLSv1.3", "TLSRequired on", "TLSVerifyClient off",
            "TLSECCertificateFile " + tls[0], "TLSECCertificateKeyFile " + tls[1]]
        conf = os.path.join(run, "proftpd.conf")
        with open(conf, "w") as f:
            f.write("\n".join(lines) + "\n")
        for path in (run, passwd, group, self.log, tls[0], tls[1]):
            if not os.path.exists(path):
                open(path, "w").close()
            os.chown(path, user.pw_uid, user.pw_gid)
        # The files it is given must not be readable by others.
        os.chmod(passwd, 0o600)
        os.chmod(group, 0o600)

        def unprivileged():
            if os.geteuid() == 0:
                os.setgroups([])
                os.setgid(user.pw_gid)
                os.setuid(user.pw_uid)

        # A process group of its own: the sessions it forks end with it.
        self.proc = subprocess.Popen([program, "-n", "-q", "-c", conf],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     preexec_fn=unprivileged, start_new_session=True)
        for _ in range(50):
            try:
                socket.create_connection((host, self.port), 0.2).close()
                return
            except OSError:
                if self.proc.poll() is not None:
                    break
                time.sleep(0.1)
        self.stop()
        raise RuntimeError("proftpd did not start:\n" + _read(os.path.join(run, "system.log")))

    @property
    def commands(self):
        out = []
        for line in _read(self.log).splitlines():
            if line.count('"') >= 2:
                out.append(line.split('"')[1])
        return out

    def stop(self):
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait()


def sample_tree(root):
    os.makedirs(os.path.join(root, "pub", "relatórios"))
    for name, text in [("leia-me.txt", "Olá!\n"), ("canção.txt", "lá lá\n"),
                       ("velho.txt", "apagar\n"), ("pub/ata.txt", "ata\n")]:
        with open(os.path.join(root, name), "w", encoding="utf-8") as f:
            f.write(text)


LOGIN_ANON = "{until Qual a conta}anonymous{Enter}{until Qual a senha}x@y{Enter}"

# Each case: server ("real" or a scripted greeting and steps), keys, what the
# log must hold in order, what the transcript must be, and checks on files.
CASES = {
    "ftp_commands_passive": dict(
        server="real", keys=LOGIN_ANON +
        "i{wait 200}s{until desejado}pub{Enter}{wait 200}c{until subdir}nova{Enter}{wait 200}"
        "A{until a apagar}ata.txt{Enter}{wait 200}/{until FTP}NOOP{Enter}{wait 200}"
        "vv{wait 200}q{wait 200}w{wait 200}{Esc}",
        heard=["FTPPASSI", "FTACLIBE", "FTVERDIR", "FTQUEDIR", "FTOK", "FTQUESBD", "FTOK",
               "FTAPAGA", "FTOKAPAG", "FTCMDFTP", "FTVERBO", "FTNAOVRB", "FTTRANS",
               "FTERRCMD", "FTFIMPRG"],
        transcript=["USER anonymous", "PASS x@y", "PWD", "PWD", "CWD pub", "MKD nova",
                    "DELE ata.txt", "NOOP", "QUIT"],
        files_exist=["pub/nova"], files_gone=["pub/ata.txt"]),
    "ftp_login_user_active": dict(
        server="real", passivo="N",
        keys="{until Qual a conta}ana{Enter}{until Qual a senha}s3nha{dump @WORK@/typing.txt}{Enter}"
             "s{until desejado}..{Enter}{wait 200}p{wait 200}{Esc}",
        heard=["FTPNPASS", "FTSENHA", "FTACLIBE", "FTQUEDIR", "FTOK", "FTPPASSI", "FTFIMPRG"],
        transcript=["USER ana", "PASS s3nha", "PWD", "CDUP", "QUIT"],
        secret="s3nha"),
    "ftp_refusals": dict(
        server="real",
        keys="{until Qual a conta}{Esc}{wait 300}l{until Qual a conta}ana{Enter}"
             "{until Qual a senha}errada{Enter}{wait 300}d{wait 300}"
             "l{until Qual a conta}anonymous{Enter}{until Qual a senha}x{Enter}{wait 200}"
             "s{until desejado}nada{Enter}{wait 200}a{until a apagar}nada.txt{Enter}{wait 200}"
             "c{until subdir}pub{Enter}{wait 200}{Esc}",
        heard=["FTDESIS", "FTLOGINL", "FTERSENH", "FTLOGINL", "FTNAOENT", "FTACLIBE", "FTNAOTRO",
               "FTNAOAPA", "FTNCRIA", "FTFIMPRG"],
        # Heard from its recording, not through the voice, which names the
        # full stop inside it.
        not_voiced=["Você não entrou"],
        transcript=["USER ana", "PASS errada", "USER anonymous", "PASS x", "PWD", "CWD nada",
                    "DELE nada.txt", "MKD pub", "QUIT"]),
    "ftp_greeting_split": dict(
        server=([b"22", b"0-Bem-vindo\r\n2", b"20-ao teste\n220 pronto\r\n"], False),
        steps=[([b"230 Entre\r\n"], False)],
        keys="{until Qual a conta}ana{Enter}{wait 200}{Esc}",
        heard=["FTACLIBE", "FTFIMPRG"], transcript=["USER ana", "QUIT"]),
    "ftp_greeting_421": dict(
        exit=1,
        server=([b"421 Ocupado\r\n"], False), keys="",
        heard=["FTERRSRV", "FTFIMPRG"], transcript=[]),
    "ftp_greeting_120": dict(
        exit=1,
        server=([b"120-Espere\r\n120 Daqui a pouco\r\n"], False), keys="",
        heard=["FTERRSRV", "FTFIMPRG"], transcript=[]),
    "ftp_silent_server_esc": dict(
        exit=1,
        server=([], False), keys="{wait 1000}{Esc}",
        heard=["FTDESIS", "FTFIMPRG"], transcript=[]),
    "ftp_closed_mid_reply": dict(
        exit=4,
        server=([b"220 ok\r\n"], False), steps=[([b"331-metade da"], True)],
        keys="{until Qual a conta}ana{Enter}",
        heard=["FTFIMPRG"], not_heard=["FTACLIBE"], transcript=["USER ana"]),
    "ftp_hostile_replies": dict(
        server=([b"220-" + b"x" * 100000 + b"\r\n" + b"220-linha\r\n" * 10000 +
                 b"220 \x00\xff\xfe fim\r\n"], False),
        steps=[([b"230 \xc3\xa9 ok\r\n"], False),
               ([b"257 \"/m\xc3\xbasica\" atual\r\n"], False),
               ([b"250 ok\r\n"], False)],
        keys="{until Qual a conta}ana{Enter}{wait 300}s{until desejado}x{Enter}{wait 200}{Esc}",
        heard=["FTACLIBE", "FTOK", "FTFIMPRG"], transcript=["USER ana", "PWD", "CWD x", "QUIT"]),
    # Explicit TLS against a server without it: required, no login; AUTO, one
    # warning and the login in clear text.
    "ftp_tls_required_plain": dict(
        exit=1, server="real", tls="S", keys="",
        heard=["FTTLSEXI", "FTFIMPRG"], not_heard=["FTACLIBE"],
        transcript=["AUTH TLS"]),
    "ftp_tls_auto_plain": dict(
        server="real", tls="AUTO", keys=LOGIN_ANON + "{wait 200}l{until Qual a conta}anonymous"
        "{Enter}{until Qual a senha}x@y{Enter}{wait 200}{Esc}",
        heard=["FTTLSNAO", "FTACLIBE", "FTACLIBE", "FTFIMPRG"], once="FTTLSNAO",
        transcript=["AUTH TLS", "USER anonymous", "PASS x@y", "USER anonymous", "PASS x@y",
                    "QUIT"]),
    # A self-signed certificate: refused, accepted and kept, taken silently
    # (TLS asked for by ftps:// alone; a good connection is written, not
    # said), and refused once it changed.
    "ftp_tls_certificate": dict(server="certificates"),
    "ftp_unknown_host": dict(
        exit=1,
        server=None, host="nao-existe.invalid", keys="",
        heard=["FTERCOMP", "FTFIMPRG"]),
    "ftp_refused_connection": dict(
        exit=1,
        server=None, host="127.0.0.1:1", keys="",
        heard=["FTNAOCON", "FTFIMPRG"]),
}


def check_order(log_lines, keys):
    announced = [l[9:] for l in log_lines if l.startswith("announce ")]
    i = 0
    for k in announced:
        if i < len(keys) and k == keys[i]:
            i += 1
    return i == len(keys), announced


def case_arguments():
    """--naviro, --quiral and --case of a run; None when the build has no
    generated sound library to speak with (the case is then skipped)."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--naviro", required=True)
    ap.add_argument("--quiral", required=True)
    ap.add_argument("--case", required=True)
    a = ap.parse_args()
    if not os.path.isdir(os.path.join(a.quiral, "som", "difones")):
        print("skipped: no generated sound library in", a.quiral)
        return None
    return a


def write_config(quiral, sysdir, passivo=None, tls="N"):
    """The build's QUIRAL.INI in a directory of the run's own, with the data
    connection mode changed when asked, and TLS as asked (never, unless a
    case is about it)."""
    with open(os.path.join(quiral, "QUIRAL.INI"), encoding="utf-8", errors="replace") as f:
        text = f.read()
    if passivo:
        text = text.replace("PASSIVO=S", "PASSIVO=" + passivo)
    text = text.replace("TLS=AUTO", "TLS=" + tls)
    with open(os.path.join(sysdir, "QUIRAL.INI"), "w", encoding="utf-8") as f:
        f.write(text)


class Run:
    """One naviro run through the script console: exit code, event log,
    screen dump and the time it took; timed_out when it had to be killed."""

    def __init__(self, naviro, quiral, host, keys_text, work, sysdir, cwd, extra_env=None,
                 timeout=RUN_TIMEOUT):
        keys = os.path.join(work, "keys.txt")
        with open(keys, "w", encoding="utf-8") as f:
            f.write(keys_text.replace("@WORK@", work))
        log = os.path.join(work, "log.txt")
        screen = os.path.join(work, "screen.txt")
        env = dict(os.environ, QUIRAL_CONSOLE="script", QUIRAL_AUDIO="null",
                   QUIRAL_KEYS=keys, QUIRAL_LOG=log, QUIRAL_SCREEN=screen,
                   QUIRAL_SYSDIR=sysdir, QUIRAL_ROOT=quiral, TMPDIR=work)
        env.update(extra_env or {})
        start = time.time()
        self.timed_out = False
        try:
            # host None: no computer named, it is asked.
            argv = [naviro] if host is None else [naviro, host]
            self.rc = subprocess.run(argv, env=env, cwd=cwd,
                                     timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            self.timed_out = True
            self.rc = None
        self.elapsed = time.time() - start
        self.lines = _read(log).splitlines()
        self.shown = _read(screen)

    def failures(self, case):
        """What the checks shared by every case find wrong: the exit code and
        the announcements heard, in order, or not at all."""
        out = []
        if self.rc != case.get("exit", 0):
            out.append("exit code %s, not %s" % (self.rc, case.get("exit", 0)))
        ok, announced = check_order(self.lines, case["heard"])
        if not ok:
            out.append("announcements %s do not hold %s in order" % (announced, case["heard"]))
        for k in case.get("not_heard", []):
            if k in announced:
                out.append("announced " + k)
        for text in case.get("not_voiced", []):
            if any(l.startswith("text " + text) for l in self.lines):
                out.append("said by the voice, not its recording: " + text)
        self.announced = announced
        return out


def _read(path):
    if not os.path.exists(path):
        return ""
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def main():
    a = case_arguments()
    if a is None:
        return 77
    case = CASES[a.case]

    work = tempfile.mkdtemp(prefix="naviro-e2e-")
    server = None
    try:
        sysdir = os.path.join(work, "sys")
        os.makedirs(sysdir)
        write_config(a.quiral, sysdir, case.get("passivo"), case.get("tls", "N"))
        root = os.path.join(work, "srv")
        os.makedirs(root)
        sample_tree(root)
        if case["server"] == "certificates":
            server = RealServer(root, tls=make_certificate(work, "primeiro"))
            return certificate_runs(a, server, work, sysdir)
        if case["server"] == "real":
            server = RealServer(root)
        elif case["server"] is not None:
            server = ScriptedServer(case["server"], case.get("steps", []))
        host = case.get("host") or "127.0.0.1:%d" % server.port
        run = Run(a.naviro, a.quiral, host, case["keys"], work, sysdir, work)
        if run.timed_out:
            print("FAIL: naviro did not end within", RUN_TIMEOUT, "s")
            return 1
        lines, shown, elapsed = run.lines, run.shown, run.elapsed
        failures = run.failures(case)
        if case.get("once") and run.announced.count(case["once"]) != 1:
            failures.append("%s heard %d times" % (case["once"], run.announced.count(case["once"])))
        if server is not None and "transcript" in case:
            if server.commands != case["transcript"]:
                failures.append("transcript %s != %s" % (server.commands, case["transcript"]))
        sent = [l[5:] for l in lines if l.startswith("send ")]
        if any(s.startswith("PASS ") and s != "PASS ****" for s in sent):
            failures.append("password logged: %s" % sent)
        secret = case.get("secret")
        if secret and (secret in shown or any(secret in l for l in lines)):
            failures.append("secret shown or logged")
        # The screen while the password is being typed: not a cell of it,
        # in any colour.
        typing = os.path.join(work, "typing.txt")
        if secret and (not os.path.exists(typing) or secret[:3] in _read(typing)):
            failures.append("secret in the screen planes while typed (or no dump)")
        if glob_leftovers(work):
            failures.append("temporary listing file left behind")
        for p in case.get("files_exist", []):
            if not os.path.exists(os.path.join(root, p)):
                failures.append("missing " + p)
        for p in case.get("files_gone", []):
            if os.path.exists(os.path.join(root, p)):
                failures.append("still there: " + p)
        print("%s: %.1f s, %d log lines" % (a.case, elapsed, len(lines)))
        if failures:
            print("FAIL:\n  " + "\n  ".join(failures))
            print("--- screen ---\n" + shown)
            return 1
        print("passed")
        return 0
    finally:
        if server is not None:
            server.stop()
        shutil.rmtree(work, ignore_errors=True)


def fingerprint(cert):
    out = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", cert],
                         capture_output=True, text=True, check=True).stdout
    return out.strip().split("=", 1)[1].replace(":", "")


def certificate_runs(a, server, work, sysdir):
    first = server.server.handler.certfile
    second = make_certificate(work, "segundo")
    trust = os.path.join(sysdir, "CERTIFIC.TXT")
    host = "127.0.0.1:%d" % server.port
    login = LOGIN_ANON + "{wait 200}{Esc}"
    runs = [  # certificate, address, TLS=, keys, exit, heard, not heard
        (None, host, "AUTO", "{until S ou N}n", 1,
         ["FTCERDES", "FTCERSUJ", "FTCEREMI", "FTCERIMP", "FTCERACE", "FTCERREC",
          "FTFIMPRG"], ["FTACLIBE"]),
        (None, host, "AUTO", "{until S ou N}s" + login, 0,
         ["FTCERDES", "FTCERACE", "FTCERMEM", "FTACLIBE", "FTFIMPRG"], []),
        (None, "ftps://" + host + "/", "N", login, 0,
         ["FTACLIBE", "FTFIMPRG"], ["FTCERDES", "FTCERACE", "FTTLSINI", "FTTLSOK"]),
        (second, host, "AUTO", "", 1, ["FTCERMUD", "FTFIMPRG"],
         ["FTCERACE", "FTTLSOK", "FTACLIBE"]),
    ]
    failures = []
    for i, (cert, address, tls, keys, code, heard, not_heard) in enumerate(runs, 1):
        if cert:
            handler = server.server.handler
            handler.certfile, handler.keyfile = cert
            handler.ssl_context = None
        write_config(a.quiral, sysdir, None, tls)
        for old in ("log.txt", "screen.txt"):  # the log is appended to
            if os.path.exists(os.path.join(work, old)):
                os.unlink(os.path.join(work, old))
        run = Run(a.naviro, a.quiral, address, keys, work, sysdir, work)
        if run.timed_out:
            failures.append("run %d did not end" % i)
            continue
        found = run.failures(dict(exit=code, heard=heard, not_heard=not_heard))
        failures += ["run %d: %s" % (i, f) for f in found]
        if "x@y" in run.shown or any("x@y" in l for l in run.lines):
            failures.append("run %d: the password shown or logged" % i)
        print("run %d: %.1f s" % (i, run.elapsed))
        if i == 1:
            # The fingerprint shown is the certificate's, in groups of four.
            fp = fingerprint(first)
            shown = " ".join(fp[j:j + 4] for j in range(0, len(fp), 4))
            if shown not in run.shown:
                failures.append("fingerprint %s not shown:\n%s" % (shown, run.shown))
            if os.path.exists(trust):
                failures.append("a refused certificate was kept")
        if i == 2 and _read(trust).split() != [host, fingerprint(first)]:
            failures.append("trust file holds %r" % _read(trust))
        if i == 4 and _read(trust).split() != [host, fingerprint(first)]:
            failures.append("trust file changed: %r" % _read(trust))
        if any("PASS x@y" in c for c in server.commands) and i == 1:
            failures.append("logged in after a refused certificate")
        if failures:
            print("--- screen of run %d ---\n%s" % (i, run.shown))
            break
    if failures:
        print("FAIL:\n  " + "\n  ".join(failures))
        return 1
    print("passed")
    return 0


def glob_leftovers(work):
    return [n for n in os.listdir(work) if n.startswith("dir")]


if __name__ == "__main__":
    sys.exit(main())
