#!/usr/bin/python3
"""Local FTP server for the demonstration: serves a small sample tree with
Portuguese names over loopback, anonymous login with write access, on a free
port that it writes to PORTFILE. With a certificate and its key it offers
explicit TLS (AUTH TLS, protected data connections). Runs until it is
terminated.

Usage: demo-server.py ROOT PORTFILE [CERTIFICATE KEY]"""
import logging
import os
import signal
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer

SAMPLE = {
    "leia-me.txt": "Bem-vindo ao servidor de demonstração do Naviro.\n",
    "canção de ninar.txt": "Boi, boi, boi, boi da cara preta.\n",
    "orçamento 2024.csv": "mês;valor\njaneiro;1200\nfevereiro;980\n",
    "relatórios/atas de reunião.txt": "Reunião de março: tudo certo.\n",
    "relatórios/balanço anual.txt": "Receitas e despesas do ano.\n",
}


def main():
    root, portfile = sys.argv[1], sys.argv[2]
    for name, text in SAMPLE.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
    warnings.simplefilter("ignore")
    from pyftpdlib.log import config_logging
    config_logging(level=logging.ERROR)
    auth = DummyAuthorizer()
    auth.add_anonymous(root, perm="elradfmwMT")
    handler = FTPHandler
    if len(sys.argv) > 4:
        handler = TLS_FTPHandler
        handler.certfile, handler.keyfile = sys.argv[3], sys.argv[4]
    handler.authorizer = auth
    handler.use_encoding = "utf8"
    handler.banner = "Servidor de demonstração do Naviro pronto."
    server = FTPServer(("127.0.0.1", 0), handler)
    signal.signal(signal.SIGTERM, lambda *_: server.close_all() or sys.exit(0))
    with open(portfile + ".tmp", "w") as f:
        f.write(str(server.socket.getsockname()[1]))
    os.replace(portfile + ".tmp", portfile)
    server.serve_forever(timeout=0.5)


if __name__ == "__main__":
    main()
