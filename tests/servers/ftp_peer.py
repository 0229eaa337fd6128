#!/usr/bin/python3
"""pyftpdlib on HOST (127.0.0.1 or ::1), plain or with AUTH TLS (when CERT
and KEY are given), serving ROOT to the user tester/secret with full rights.
Writes its port to PORTFILE once it listens. One server per process:
pyftpdlib's loop is shared by every server of a process.
Usage: ftp_peer.py ROOT PORTFILE HOST [CERT KEY]"""
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer

root, portfile, host = sys.argv[1:4]
cert, key = (sys.argv[4:6] + [None, None])[:2]


def server(handler_base, tls):
    auth = DummyAuthorizer()
    auth.add_user("tester", "secret", root, perm="elradfmwMT")
    handler = type("H" + handler_base.__name__, (handler_base,), {})
    handler.authorizer = auth
    handler.permit_foreign_addresses = False
    handler.banner = "pelliwox test server ready"
    if tls:
        handler.certfile = cert
        handler.keyfile = key
        handler.tls_control_required = False
        handler.tls_data_required = False
    s = FTPServer((host, 0), handler)
    s.max_cons = 64
    return s


srv = server(TLS_FTPHandler, True) if cert else server(FTPHandler, False)
with open(portfile + ".tmp", "w") as f:
    f.write("%d\n" % srv.address[1])
os.rename(portfile + ".tmp", portfile)
srv.serve_forever()
