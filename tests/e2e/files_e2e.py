#!/usr/bin/python3
"""End-to-end runs of the transfers and the directory browser: the real
naviro through the script console against pyftpdlib on loopback. Checks the
files on both sides by checksum, what was heard, and the commands sent.

Usage: files_e2e.py --naviro PATH --quiral DIR --case NAME
Exit 0 pass, 1 fail, 77 skipped (no generated sound library)."""
import hashlib
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ftp_e2e import (Proftpd, RealServer, Run, Vsftpd, LOGIN_ANON,  # noqa: E402
                     case_arguments, make_certificate, write_config)

RUN_TIMEOUT = 90
MIB = 1024 * 1024
BIG = 24 * MIB


def tree(root, work):
    os.makedirs(os.path.join(root, "pub"))
    data = {
        "binario.bin": bytes((i * 7 + (i >> 8)) & 0xFF for i in range(300000)),
        "texto.txt": "linha um\r\nlinha dois çã\r\n".encode("utf-8") * 500,
        "vazio.txt": b"",
        "grande.bin": os.urandom(BIG),
        "pub/ata.txt": b"ata\n",
        "apagar.txt": b"x",
        "manter.txt": b"y",
    }
    for name, content in data.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(content)
    with open(os.path.join(work, "envio.bin"), "wb") as f:
        f.write(os.urandom(500000))
    with open(os.path.join(work, "envio-texto.txt"), "wb") as f:
        f.write(b"abc\r\n" * 1000)
    with open(os.path.join(work, "existente.txt"), "wb") as f:
        f.write(b"antigo")
    with open(os.path.join(work, "vazio-local.txt"), "wb") as f:
        pass
    os.makedirs(os.path.join(root, "brancos"))
    with open(os.path.join(root, "brancos", "  dois  brancos.txt"), "wb") as f:
        f.write(b"brancos")


def in_order(items, wanted):
    i = 0
    for x in items:
        if i < len(wanted) and x == wanted[i]:
            i += 1
    return i == len(wanted)


def sha(path, text=False):
    """Checksum; a text file is compared with its line ends as LF, since
    type A stores it with the server's own line ends."""
    with open(path, "rb") as f:
        data = f.read()
    if text:
        data = data.replace(b"\r\n", b"\n")
    return hashlib.sha256(data).hexdigest()


CMD = "{until Comando ?}"


def recv(remote, local="", mode="s"):
    return (CMD + "r{until remoto ?}" + remote + "{Enter}{until local ?}" + local +
            "{Enter}{until imagem}" + mode)


def send(local_keys, remote="", mode="s"):
    return (CMD + "t{until local ?}" + local_keys + "{until remoto ?}" + remote +
            "{Enter}{until imagem}" + mode)


# Each transfer's own outcome line ("NAME, SIZE em TIME") is awaited: the
# completion message of the one before is still on the screen, and a key
# typed during a transfer asks for its progress.
TRANSFERS = (LOGIN_ANON +
             recv("binario.bin") + "{until binario.bin, }" +
             recv("texto.txt", "texto-local.txt", "n") + "{until texto.txt, }" +
             recv("vazio.txt") + "{until vazio.txt, }" +
             send("envio.bin{Enter}") + "{until envio.bin, }" +
             send("envio-t{Down}{Enter}", "pub/texto-enviado.txt", "n") +
             "{until envio-texto.txt, }" +
             send("vazio-local.txt{Enter}") + "{until vazio-local.txt, }" +
             # Onto a local file: replaced only when the user says so (a
             # refusal then leaves it as it was).
             CMD + "r{until remoto ?}nada.txt{Enter}{until local ?}existente.txt{Enter}"
             "{until Substituir}s{until imagem}s{until recusada}" +
             CMD + "{Esc}")

LOGIN_ANA = "{until Qual a conta}ana{Enter}{until Qual a senha}s3nha{Enter}"
# Over TLS: the certificate accepted, a listing, receives and sends (into up/,
# the one directory vsftpd lets an anonymous user write to); every data
# connection encrypted and resuming the control session. Apart: a receive
# aborted half way (the server slowed down), and a whole one after it.
# The completion texts of earlier transfers are still on the screen: each
# transfer is given time to end before the next command's key.
SETTLE = "{wait 1000}"


def tls_transfers(login=LOGIN_ANON):
    return ("{until S ou N}s" + login +
            CMD + "d{until ESC termina}{until brancos}{wait 200}{Esc}" +
            recv("binario.bin") + "{until Recepção completada}" +
            recv("texto.txt", "texto-local.txt", "n") + SETTLE + "{until Recepção completada}" +
            recv("vazio.txt") + SETTLE + "{until Recepção completada}" +
            send("envio.bin{Enter}", "up/envio.bin") + "{until Envio completado}" +
            send("vazio-local.txt{Enter}", "up/vazio-local.txt") + SETTLE +
            "{until Envio completado}")


TLS_TRANSFERS = tls_transfers()
TLS_HEARD = ["FTCERACE", "FTCERMEM", "FTACLIBE", "FTDIRPED", "FTFIMREC", "FTFIMREC",
             "FTFIMREC", "FTFIMENV", "FTFIMENV"]
TLS_ABORT = ("{until S ou N}s" + LOGIN_ANON + recv("grande.bin") +
             "{wait 1500}x{until Transmitidos}{wait 300}{Esc}" +
             recv("binario.bin") + "{until Recepção completada}" + CMD + "{Esc}")
TLS_SAME = [("binario.bin", "binario.bin"), ("texto.txt", "texto-local.txt", "text"),
            ("vazio.txt", "vazio.txt"), ("up/envio.bin", "envio.bin"),
            ("up/vazio-local.txt", "vazio-local.txt")]

CASES = {
    "files_transfers_passive": dict(
        keys=TRANSFERS,
        heard=["FTRECEBE", "FTFIMREC", "FTRECEBE", "FTFIMREC", "FTRECEBE", "FTFIMREC",
               "FTTRANSM", "FTFIMENV", "FTTRANSM", "FTFIMENV", "FTTRANSM", "FTFIMENV",
               "FTARQNAO", "FTTRAREC", "FTFIMPRG"],
        same=[("binario.bin", "binario.bin"), ("texto.txt", "texto-local.txt"),
              ("vazio.txt", "vazio.txt"), ("envio.bin", "envio.bin"),
              ("pub/texto-enviado.txt", "envio-texto.txt", "text"),
              ("vazio-local.txt", "vazio-local.txt")],
        local={"existente.txt": b"antigo"}, absent=["nada.txt"]),
    "files_transfers_active": dict(
        passivo="N", keys=TRANSFERS,
        heard=["FTFIMREC", "FTFIMREC", "FTFIMREC", "FTFIMENV", "FTFIMENV", "FTFIMENV",
               "FTTRAREC", "FTFIMPRG"],
        same=[("binario.bin", "binario.bin"), ("envio.bin", "envio.bin")],
        local={"existente.txt": b"antigo"}, absent=["nada.txt"]),
    "files_abort_and_progress": dict(
        throttle=True,
        keys=LOGIN_ANON + recv("grande.bin") + "{wait 1500}xyz{until Transmitidos}"
        "{wait 400}{Esc}" + CMD + "{Esc}",
        heard=["FTRECEBE", "FTTRANS", "FTFIMPRG"], not_heard=["FTFIMREC", "FTFIMENV"],
        sent_tail="ABOR", partial="grande.bin"),
    "files_browser": dict(
        keys=LOGIN_ANON + CMD + "d{until ESC termina}{wait 200}"
        "{Up}{Down}{PgDn}{PgDn}{PgDn}{Home}{End}{Home}{Down}{until brancos}"
        "/{until Procurar}APAG{Enter}"
        "{until apagar.txt}d{until ....}{wait 200}{Ctrl+Ins}{wait 200}"
        "a{until Sim ou nao}n{wait 200}a{until Sim ou nao}s{until apagado}{wait 200}"
        "{F9}{until dados sobre}{Down}{Down}{Enter}{wait 300}"
        "{Up}{until pub}{wait 100}t{until OK}"
        + CMD + "d{until ata.txt}{wait 200}p{until 1 de 1}{wait 200}v{until OK}"
        + CMD + "{Esc}",
        # Directories first (brancos, pub), apagar.txt found by a piece of
        # its name in capitals; the deleted entry's place is taken by the
        # next one (the size asked after the deletion is the next one's);
        # the second listing has no arrow instructions; V leaves at the
        # list's edge.
        heard=["FTDIRPED", "FTUSSETA", "FTULTARQ", "FTULTARQ", "FTPROCUR", "FTOK", "FTDESIS", "FTOKAPAG",
               "FTOK", "FTDIRPED", "FTOK", "FTULTARQ", "FTFIMPRG"],
        once="FTUSSETA", said=["apagar.txt", "ata.txt", "1 de 1"],
        unsaid_after=("announce FTOKAPAG", "text apagar.txt"),
        sent_has=["TYPE A", "MLSD", "SIZE apagar.txt", "DELE apagar.txt", "CWD pub", "CWD .."],
        sent_once=["SIZE apagar.txt"],
        gone=["apagar.txt"], clipboard="apagar.txt"),
    # With sound in real time (SDL's disk driver): the listing is asked for
    # while "Diretorio pedido" still sounds, and the first name comes after it.
    "files_listing_while_announced": dict(
        audio=True,
        keys=LOGIN_ANON + CMD + "d{until ESC termina}{until brancos}{wait 2000}{Esc}" + CMD +
        "{Esc}",
        heard=["FTDIRPED", "FTUSSETA", "FTFIMPRG"],
        log_order=["announce FTDIRPED", "send MLSD", "ended FTDIRPED", "text brancos"]),
    # IPv6 on ::1: EPSV, then EPRT in active mode; the listing by MLSD, whose
    # names keep their blanks; the outcome of each transfer spoken.
    "files_ipv6_epsv_eprt_mlsd": dict(
        host="::1", keys=LOGIN_ANA +
        recv("binario.bin", "b6.bin") + "{until Recepção completada}" +
        CMD + "p" + recv("binario.bin", "b6a.bin") + "{until Recepção completada}" +
        send("envio.bin{Enter}", "e6.bin") + "{until Envio completado}" +
        CMD + "s{until desejado}brancos{Enter}" + CMD + "d{until ESC termina}"
        "{until dois  brancos}{Ctrl+Ins}{wait 200}r{until local ?}{Enter}{until imagem}s"
        "{until Recepção completada}{wait 200}{Esc}" + CMD + "{Esc}",
        heard=["FTACLIBE", "FTFIMREC", "FTPNPASS", "FTFIMREC", "FTFIMENV", "FTUSSETA",
               "FTFIMREC", "FTFIMPRG"],
        same=[("binario.bin", "b6.bin"), ("binario.bin", "b6a.bin"), ("e6.bin", "envio.bin"),
              ("brancos/  dois  brancos.txt", "  dois  brancos.txt")],
        sent_has=["EPSV", "MLSD", "CWD brancos"], sent_prefix=["EPRT |2|::1|"],
        sent_not=["LIST", "PASV"],
        log_has=["text 293 K", "text 489 K"],
        secret="s3nha"),
    # A server without MLSD, EPSV or REST: LIST, PASV from the second
    # transfer on, and a .part from an earlier attempt received anew.
    "files_old_server": dict(
        without=("MLSD", "MLST", "EPSV", "REST"),
        part=("binario.bin", 100000, "300000"),
        keys=LOGIN_ANON + recv("binario.bin") + "{until onde parou}s{until recomeçando}"
        "{until Recepção completada}" + recv("texto.txt", "t.txt", "n") +
        "{until Recepção completada}" + CMD + "d{until ESC termina}{wait 200}{Esc}" +
        CMD + "{Esc}",
        heard=["FTFIMREC", "FTFIMREC", "FTUSSETA", "FTFIMPRG"],
        same=[("binario.bin", "binario.bin")],
        sent_has=["LIST", "PASV", "REST 100000"], sent_not=["MLSD"], sent_once=["EPSV"],
        log_has=["O servidor não aceita continuar"]),
    # A receive killed half way (the program ended with SIGKILL), then the
    # same receive again: the question, REST and a whole file.
    "files_resume_after_kill": dict(
        throttle=2, kill_first=(LOGIN_ANON + recv("grande.bin") + "{wait 60000}", 6),
        keys=LOGIN_ANON + recv("grande.bin") + "{until onde parou}s"
        "{until Recepção completada}" + CMD + "{Esc}",
        heard=["FTRECEBE", "FTFIMREC", "FTFIMPRG"],
        same=[("grande.bin", "grande.bin")], sent_prefix=["REST "],
        log_has=["Continuar a recepção de onde parou", "text 24 mega"]),
    "files_tls_vsftpd_passive": dict(
        server="vsftpd", keys=TLS_TRANSFERS + CMD + "{Esc}", heard=TLS_HEARD + ["FTFIMPRG"],
        same=TLS_SAME, not_heard=["FTCOMCAI"]),
    "files_tls_vsftpd_active": dict(
        server="vsftpd", passivo="N", keys=TLS_TRANSFERS + CMD + "{Esc}",
        heard=TLS_HEARD + ["FTFIMPRG"], same=TLS_SAME, not_heard=["FTCOMCAI"]),
    "files_tls_vsftpd_abort": dict(
        server="vsftpd", throttle=True, keys=TLS_ABORT,
        heard=["FTACLIBE", "FTRECEBE", "FTTRANS", "FTINTERR", "FTRECEBE", "FTFIMREC",
               "FTFIMPRG"],
        same=[("binario.bin", "binario.bin")], not_heard=["FTCOMCAI"], sent_tail="ABOR",
        partial="grande.bin"),
    "files_tls_pyftpdlib_passive": dict(
        server="pyftpdlib-tls", keys=TLS_TRANSFERS + CMD + "{Esc}",
        heard=TLS_HEARD + ["FTFIMPRG"], same=TLS_SAME, not_heard=["FTCOMCAI"]),
    "files_tls_pyftpdlib_tls13": dict(
        server="pyftpdlib-tls13", keys=TLS_TRANSFERS + CMD + "{Esc}",
        heard=TLS_HEARD + ["FTFIMPRG"], same=TLS_SAME, not_heard=["FTCOMCAI"],
        tls_version="TLSv1.3"),
    # proftpd, unprivileged, with a user of its own: TLS required on every
    # connection and the data ones resuming the control session.
    "files_tls_proftpd_passive": dict(
        server="proftpd", keys=tls_transfers(LOGIN_ANA) + CMD + "{Esc}",
        heard=TLS_HEARD + ["FTFIMPRG"], same=TLS_SAME, not_heard=["FTCOMCAI"],
        sent_has=["AUTH TLS", "PBSZ 0", "PROT P", "MLSD", "RETR binario.bin"], secret="s3nha"),
    "files_tls_proftpd_active": dict(
        server="proftpd", passivo="N", keys=tls_transfers(LOGIN_ANA) + CMD + "{Esc}",
        heard=TLS_HEARD + ["FTFIMPRG"], same=TLS_SAME, not_heard=["FTCOMCAI"],
        sent_has=["PROT P", "STOR up/envio.bin"], sent_prefix=["PORT "], secret="s3nha"),
    # Over IPv6: EPSV, then EPRT, each data connection encrypted.
    "files_tls_ipv6_epsv_eprt": dict(
        server="proftpd", host="::1", keys="{until S ou N}s" + LOGIN_ANA +
        recv("binario.bin", "b6.bin") + "{until Recepção completada}" +
        CMD + "p" + recv("binario.bin", "b6a.bin") + SETTLE + "{until Recepção completada}" +
        send("envio.bin{Enter}", "up/e6.bin") + "{until Envio completado}" + CMD + "{Esc}",
        heard=["FTCERACE", "FTACLIBE", "FTFIMREC", "FTPNPASS", "FTFIMREC", "FTFIMENV",
               "FTFIMPRG"],
        same=[("binario.bin", "b6.bin"), ("binario.bin", "b6a.bin"), ("up/e6.bin", "envio.bin")],
        not_heard=["FTCOMCAI"], sent_has=["EPSV", "PROT P"], sent_prefix=["EPRT |2|::1|"],
        sent_not=["PASV"], secret="s3nha"),
    "files_tls_pyftpdlib_active": dict(
        server="pyftpdlib-tls", passivo="N", keys=TLS_TRANSFERS + CMD + "{Esc}",
        heard=TLS_HEARD + ["FTFIMPRG"], same=TLS_SAME, not_heard=["FTCOMCAI"]),
}


def main():
    a = case_arguments()
    if a is None:
        return 77
    case = CASES[a.case]
    work = tempfile.mkdtemp(prefix="naviro-files-")
    server = None
    try:
        sysdir = os.path.join(work, "sys")
        os.makedirs(sysdir)
        write_config(a.quiral, sysdir, case.get("passivo"), "AUTO" if "server" in case else "N")
        root = os.path.join(work, "srv")
        local = os.path.join(work, "local")
        os.makedirs(root)
        os.makedirs(local)
        tree(root, local)
        if case.get("server") == "vsftpd":
            server = Vsftpd(root, work, make_certificate(work, "servidor"), case.get("throttle"))
        elif case.get("server", "").startswith("pyftpdlib-tls"):
            os.makedirs(os.path.join(root, "up"))
            server = RealServer(root, tls=make_certificate(work, "servidor"),
                                tls13=case["server"].endswith("13"))
        elif case.get("server") == "proftpd":
            server = Proftpd(root, work, make_certificate(work, "servidor"),
                             case.get("host", "127.0.0.1"))
        else:
            server = RealServer(root, case.get("host", "127.0.0.1"), case.get("without", ()))
        if case.get("part"):
            name, size, mark = case["part"]
            with open(os.path.join(root, name), "rb") as f:
                head = f.read(size)
            part = os.path.join(local, name + ".part")
            with open(part, "wb") as f:
                f.write(head)
            os.setxattr(part, "user.naviro.tamanho", mark.encode())
            # The server's time as its MDTM tells it (UTC), marked beside the
            # size as the program marks a part it begins.
            when = time.strftime("%Y%m%d%H%M%S",
                                 time.gmtime(os.path.getmtime(os.path.join(root, name))))
            os.setxattr(part, "user.naviro.modificado", when.encode())
        if case.get("throttle") and case.get("server") != "vsftpd":
            from pyftpdlib.handlers import ThrottledDTPHandler
            ThrottledDTPHandler.write_limit = (case["throttle"] if case["throttle"] > 1 else 4) * MIB
            server.server.handler.dtp_handler = ThrottledDTPHandler
            server.server.handler.use_sendfile = False
        clip = os.path.join(work, "clipboard.txt")
        host = case.get("host", "127.0.0.1")
        address = ("[%s]:%d" if ":" in host else "%s:%d") % (host, server.port)
        early = []
        if case.get("kill_first"):
            keys, seconds = case["kill_first"]
            first = Run(a.naviro, a.quiral, address, keys, work, sysdir, local, {}, seconds)
            part = os.path.join(local, "grande.bin.part")
            size = os.path.getsize(part) if os.path.exists(part) else 0
            if not first.timed_out or not 0 < size < BIG:
                early.append("the first run was not killed half way (%d bytes)" % size)
        env = {"QUIRAL_CLIPBOARD": clip}
        if case.get("audio"):
            env.update(QUIRAL_AUDIO="sdl", SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=os.devnull)
        run = Run(a.naviro, a.quiral, address, case["keys"], work, sysdir, local, env, RUN_TIMEOUT)
        if run.timed_out:
            print("FAIL: naviro did not end within", RUN_TIMEOUT, "s")
            return 1
        lines, shown, elapsed = run.lines, run.shown, run.elapsed
        failures = early + run.failures(case)
        if "server" in case and ("x@y" in run.shown or any("x@y" in l for l in run.lines)):
            failures.append("the password shown or logged")
        announced = run.announced
        if case.get("once") and announced.count(case["once"]) != 1:
            failures.append("%s heard %d times" % (case["once"], announced.count(case["once"])))
        said = [l[5:] for l in lines if l.startswith("text ")]
        if not in_order(said, case.get("said", [])):
            failures.append("spoken %s do not hold %s in order" % (said, case["said"]))
        if not in_order(lines, case.get("log_order", [])):
            failures.append("the log does not hold %s in order" % case["log_order"])
        if case.get("unsaid_after"):
            mark, line = case["unsaid_after"]
            if mark not in lines or line in lines[lines.index(mark):]:
                failures.append("%s after %s" % (line, mark))
        for remote, mine, *text in case.get("same", []):
            rp, lp = os.path.join(root, remote), os.path.join(local, mine)
            if not (os.path.exists(rp) and os.path.exists(lp)) or \
                    sha(rp, bool(text)) != sha(lp, bool(text)):
                failures.append("%s and %s differ" % (remote, mine))
        for name, content in case.get("local", {}).items():
            with open(os.path.join(local, name), "rb") as f:
                if f.read() != content:
                    failures.append("local %s changed" % name)
        for name in case.get("absent", []):
            if os.path.exists(os.path.join(local, name)):
                failures.append("left behind: " + name)
        if any(n.startswith(".") or ".XXX" in n or n.count(".") > 2 for n in os.listdir(local)
               if not n.endswith(".part")):
            failures.append("temporary file left: %s" % os.listdir(local))
        for name in case.get("gone", []):
            if os.path.exists(os.path.join(root, name)):
                failures.append("still on the server: " + name)
        sent = server.commands
        for c in case.get("sent_has", []):
            if c not in sent:
                failures.append("not sent: " + c)
        for c in case.get("sent_not", []):
            if c in sent:
                failures.append("sent: " + c)
        for c in case.get("sent_once", []):
            if sent.count(c) != 1:
                failures.append("sent %d times: %s" % (sent.count(c), c))
        for c in case.get("sent_prefix", []):
            if not any(x.startswith(c) for x in sent):
                failures.append("nothing sent starting " + c)
        for text in case.get("log_has", []):
            if not any(text in line for line in lines):
                failures.append("never said: " + text)
        secret = case.get("secret")
        clipped = open(clip, encoding="utf-8").read() if os.path.exists(clip) else ""
        if secret and (secret in shown or secret in clipped or
                       any(secret in line for line in lines)):
            failures.append("password shown, logged or on the clipboard")
        if case.get("tls_version") and server.versions != {case["tls_version"]}:
            failures.append("TLS versions spoken: %s" % sorted(server.versions))
        if case.get("sent_tail") and case["sent_tail"] not in sent:
            failures.append("not sent: " + case["sent_tail"])
        if case.get("partial"):
            name = case["partial"]
            part = os.path.join(local, name + ".part")
            if os.path.exists(os.path.join(local, name)):
                failures.append("an aborted receive took the target name")
            if not os.path.exists(part) or os.path.getsize(part) >= BIG:
                failures.append("no partial copy kept")
        if case.get("clipboard"):
            got = open(clip, encoding="utf-8").read() if os.path.exists(clip) else ""
            if got.strip() != case["clipboard"]:
                failures.append("clipboard holds %r" % got)
        print("%s: %.1f s, %d log lines" % (a.case, elapsed, len(lines)))
        if failures:
            print("FAIL:\n  " + "\n  ".join(failures))
            print("--- sent ---\n" + "\n".join(sent))
            print("--- screen ---\n" + shown)
            return 1
        print("passed")
        return 0
    finally:
        if server is not None:
            server.stop()
        if not os.environ.get("KEEP"): shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
