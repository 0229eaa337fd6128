#!/usr/bin/python3
"""A one-connection server that sends a forged reply in clear right behind
its go-ahead for STARTTLS (SMTP) or STLS (POP3), then runs TLS and answers
the commands that follow. Prints its port, then, at the end, the commands
it read over TLS as JSON.
Usage: starttls_inject.py smtp|pop3 CERT KEY"""
import json
import socket
import ssl
import sys

# Per protocol: what is said in clear (banner, then one reply per command
# read), the go-ahead with the forged bytes behind it, and the replies over TLS.
SCRIPTS = {
    "smtp": ([b"220 mx.test ready\r\n", b"250-mx.test\r\n250-STARTTLS\r\n250 HELP\r\n"],
             b"220 go ahead\r\n250 forged in clear\r\n",
             [b"250-mx.test\r\n250 AUTH PLAIN\r\n", b"235 ok\r\n"]),
    # The forged "+OK" has no line end: it would take the first protected
    # reply as its own end.
    "pop3": ([b"+OK ready\r\n"],
             b"+OK go\r\n+OK injected-",
             [b"-ERR no such user\r\n"]),
}
clear, go_ahead, protected = SCRIPTS[sys.argv[1]]

ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
ctx.load_cert_chain(sys.argv[2], sys.argv[3])
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


conn.sendall(clear[0])
for reply in clear[1:]:
    read_line(conn)
    conn.sendall(reply)
read_line(conn)  # STARTTLS / STLS
conn.sendall(go_ahead)
seen = []
try:
    tls = ctx.wrap_socket(conn, server_side=True)
    for reply in protected:
        seen.append(read_line(tls))
        tls.sendall(reply)
except (OSError, ssl.SSLError) as e:  # the client gave up: what it sent still counts
    seen.append("<%s>" % type(e).__name__)
print(json.dumps(seen), flush=True)
