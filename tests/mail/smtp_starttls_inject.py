#!/usr/bin/python3
"""A one-connection SMTP server that sends a forged reply in clear right
behind its go-ahead for STARTTLS, then runs TLS and answers EHLO and AUTH.
Prints its port, then, at the end, the commands it read over TLS as JSON.
Usage: smtp_starttls_inject.py CERT KEY"""
import json
import socket
import ssl
import sys

ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
ctx.load_cert_chain(sys.argv[1], sys.argv[2])
srv = socket.socket()
srv.bind(("127.0.0.1", 0))
srv.listen(1)
srv.settimeout(30)
print(srv.getsockname()[1], flush=True)
conn, _ = srv.accept()
conn.settimeout(30)


def read_line(s):
    line = b""
    while not line.endswith(b"\r\n"):
        c = s.recv(1)
        if not c:
            break
        line += c
    return line.decode("latin-1").strip()


conn.sendall(b"220 mx.test ready\r\n")
read_line(conn)  # EHLO
conn.sendall(b"250-mx.test\r\n250-STARTTLS\r\n250 HELP\r\n")
read_line(conn)  # STARTTLS
conn.sendall(b"220 go ahead\r\n250 forged in clear\r\n")
tls = ctx.wrap_socket(conn, server_side=True)
seen = []
for reply in (b"250-mx.test\r\n250 AUTH PLAIN\r\n", b"235 ok\r\n"):
    seen.append(read_line(tls))
    tls.sendall(reply)
print(json.dumps(seen), flush=True)
