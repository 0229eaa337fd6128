#!/usr/bin/python3
"""A scripted FTP peer for AUTH and CCC: AUTH TLS, the login inside TLS, then
CCC takes the control connection back to clear text; an AUTH inside TLS is
accepted and the connection stays as it is (a TLS 1.2 client may renegotiate).
Prints its port, serves one client and prints each command line it read as
"T: line" (inside TLS) or "C: line" (clear text), and "R: n" after a command
read once the peer had seen n renegotiating handshakes.
Usage: ftp_ccc_peer.py CERT KEY [tls1.2]"""
import socket
import ssl
import sys

cert, key = sys.argv[1:3]
tls12 = sys.argv[3:4] == ["tls1.2"]
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
listener.settimeout(10)
print(listener.getsockname()[1], flush=True)
conn, _ = listener.accept()
conn.settimeout(10)
ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(cert, key)
if tls12:
    ctx.maximum_version = ssl.TLSVersion.TLSv1_2
    ctx.options |= 0x100  # the library refuses a client's renegotiation otherwise
handshakes = 0


def count_handshakes(conn, direction, version, content_type, msg_type, data):
    global handshakes
    if (direction == "read" and content_type == ssl._TLSContentType.HANDSHAKE
            and msg_type == ssl._TLSMessageType.CLIENT_HELLO):
        handshakes += 1


ctx._msg_callback = count_handshakes
sock, tls = conn, False


def send(text):
    sock.sendall(text.encode() + b"\r\n")


send("220 ready")
buf = b""
while True:
    while b"\n" not in buf:
        data = sock.recv(4096)
        if not data:
            sys.exit(0)
        buf += data
    line, buf = buf.split(b"\n", 1)
    line = line.rstrip(b"\r").decode("latin-1")
    print(("T: " if tls else "C: ") + line, flush=True)
    if handshakes > 1:
        print("R: %d" % (handshakes - 1), flush=True)
    cmd = line.split(" ")[0].upper()
    if cmd == "AUTH" and tls:
        send("234 already secure")
    elif cmd == "AUTH":
        send("234 go ahead")
        sock, tls = ctx.wrap_socket(conn, server_side=True), True
    elif cmd == "USER":
        send("331 password")
    elif cmd in ("PASS",):
        send("230 logged in")
    elif cmd in ("PBSZ", "PROT", "TYPE"):
        send("200 ok")
    elif cmd == "CCC":
        send("200 back to clear text")
        sock, tls = sock.unwrap(), False
    elif cmd == "PWD":
        send('257 "/%s"' % ("tls" if tls else "clear"))
    elif cmd == "QUIT":
        send("221 bye")
        break
    else:
        send("500 ?")
