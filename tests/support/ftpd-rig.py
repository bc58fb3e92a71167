#!/usr/bin/python3
"""A private FTP server for the unit tests: pyftpdlib on 127.0.0.1, on a
port of the system's choosing, printed on the first line of its output.

    ftpd-rig.py ROOT [old]

The user "ana" (password "s3nha") may do everything under ROOT except in
ROOT/ro, where she may only list and change directory: every other request
there is refused as not allowed. An "old" server knows neither MLST nor
MLSD (500), and FEAT does not list them. The test stops it by its PID."""
import logging
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer


def main():
    root = sys.argv[1]
    config_logging(level=logging.ERROR)
    warnings.simplefilter("ignore")
    auth = DummyAuthorizer()
    auth.add_user("ana", "s3nha", root, perm="elradfmwMT")
    auth.override_perm("ana", root + "/ro", perm="el", recursive=True)
    FTPHandler.authorizer = auth
    FTPHandler.use_encoding = "utf8"
    if sys.argv[2:] == ["old"]:
        FTPHandler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items()
                                 if k not in ("MLST", "MLSD")}
    server = FTPServer(("127.0.0.1", 0), FTPHandler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
