#!/usr/bin/python3
"""A TLS peer for the socket tests, driven by the client's first line.

Usage: tls_peer.py PORTFILE CERT KEY

Listens on a free port of 127.0.0.1 (written to PORTFILE once it listens).
Every connection starts in plain text with one command line; the peer
answers "+OK <command>" and then, acting as the TLS server:

  ECHO    echoes every byte until the client closes
  LINES   sends "one\\r\\ntwo\\r\\n" as one record, then "par" and "tial\\r\\n"
          as two records in two segments, then echoes
  BURST   sends 9000 bytes (byte i is i % 251) as one record, then echoes
  UNWRAP  echoes until the client's close-notify, answers with its own and
          "plain again\\r\\n" in one segment, then reads one plain line and
          answers "+OK " + that line in the clear
  INJECT  sends "INJECTED\\r\\n" in the clear right behind its answer, then
          greets with "hello over tls\\r\\n" over TLS and echoes
  SLOW n  reads n bytes in small bites with pauses, then answers with
          "+OK " + their SHA-256 in hex + "\r\n"
  LATE    reads nothing for a moment, then sends "late\r\n" (as a late
          TLS 1.3 ticket would come), then reads up to the client's
          close-notify, keeping the count and SHA-256 of what it read
  RESULT  (in the clear, no TLS) waits for the last LATE session to end and
          answers "+OK <count> <sha256 hex>\r\n"
  HOLD    reads nothing and never closes while the client is there
  DROP    reads the start of the client's handshake and hangs up

The TLS side runs over memory BIOs, so that records and segments go out
exactly as written here.
"""
import hashlib
import os
import select
import socketserver
import ssl
import sys
import threading
import time

CERT, KEY = sys.argv[2], sys.argv[3]


class Tls:
    """The server side of TLS over a blocking socket."""

    def __init__(self, sock):
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(CERT, KEY)
        self.sock = sock
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()
        self.obj = ctx.wrap_bio(self.incoming, self.outgoing, server_side=True)

    def pending_out(self):
        return self.outgoing.read()

    def flush(self, extra=b""):
        data = self.pending_out() + extra
        if data:
            self.sock.sendall(data)

    def feed(self):
        data = self.sock.recv(65536)
        if not data:
            self.incoming.write_eof()
            return False
        self.incoming.write(data)
        return True

    def handshake(self):
        while True:
            try:
                self.obj.do_handshake()
                self.flush()
                return
            except ssl.SSLWantReadError:
                self.flush()
                if not self.feed():
                    raise EOFError("closed during the handshake")

    def read(self):
        """Clear bytes; b"" at the client's close-notify; None at a bare close."""
        while True:
            try:
                return self.obj.read(65536)
            except ssl.SSLWantReadError:
                self.flush()
                if not self.feed():
                    return None
            except ssl.SSLZeroReturnError:
                return b""

    def send(self, data):
        """One record per call, in one segment."""
        self.obj.write(data)
        self.flush()

    def echo(self):
        while True:
            data = self.read()
            if not data:
                return data
            self.send(data)


def read_plain_line(sock):
    line = b""
    while not line.endswith(b"\r\n"):
        c = sock.recv(1)
        if not c:
            break
        line += c
    return line


def unwrap(tls, _):
    if tls.echo() != b"":
        return
    tls.obj.unwrap()  # the client's close-notify is in: ours goes out now
    tls.flush(b"plain again\r\n")
    line = read_plain_line(tls.sock)
    tls.sock.sendall(b"+OK " + line)


def lines(tls, _):
    tls.send(b"one\r\ntwo\r\n")
    tls.send(b"par")
    time.sleep(0.05)  # a segment of its own for the second half
    tls.send(b"tial\r\n")
    tls.echo()


def burst(tls, _):
    tls.send(bytes(i % 251 for i in range(9000)))
    tls.echo()


def inject(tls, _):
    tls.send(b"hello over tls\r\n")
    tls.echo()


def slow(tls, argument):
    size = int(argument)
    digest = hashlib.sha256()
    got = 0
    while got < size:
        data = tls.sock.recv(16384)
        if not data:
            return
        tls.incoming.write(data)
        while True:
            try:
                clear = tls.obj.read(65536)
            except ssl.SSLWantReadError:
                break
            if not clear:
                return
            digest.update(clear)
            got += len(clear)
        tls.flush()
        time.sleep(0.005)
    tls.send(b"+OK " + digest.hexdigest().encode() + b"\r\n")
    tls.echo()


late_result = None
late_ended = threading.Condition()


def late(tls, _):
    time.sleep(0.3)  # the client has sent everything and closed by now
    tls.send(b"late\r\n")
    digest, count = hashlib.sha256(), 0
    try:
        while True:
            data = tls.read()
            if not data:
                return
            digest.update(data)
            count += len(data)
    finally:
        global late_result
        with late_ended:
            late_result = b"%d %s" % (count, digest.hexdigest().encode())
            late_ended.notify_all()


def result(sock):
    global late_result
    with late_ended:
        late_ended.wait_for(lambda: late_result is not None, timeout=20)
        answer, late_result = late_result or b"none", None
    sock.sendall(b"+OK " + answer + b"\r\n")


def hold(tls, _):
    waiter = select.poll()
    waiter.register(tls.sock, select.POLLRDHUP)
    waiter.poll(20000)  # the client's end, which comes behind all it sent


SCENARIOS = {
    b"ECHO": lambda tls, _: tls.echo(),
    b"LINES": lines,
    b"BURST": burst,
    b"UNWRAP": unwrap,
    b"SLOW": slow,
    b"INJECT": inject,
    b"LATE": late,
    b"HOLD": hold,
}


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        command, _, argument = read_plain_line(sock).strip().partition(b" ")
        if command == b"RESULT":
            result(sock)
            return
        if command == b"DROP":
            sock.sendall(b"+OK DROP\r\n")
            sock.recv(5)
            return
        if command not in SCENARIOS:
            sock.sendall(b"-ERR unknown command\r\n")
            return
        answer = b"+OK " + command + b"\r\n"
        if command == b"INJECT":
            answer += b"INJECTED\r\n"
        sock.sendall(answer)
        tls = Tls(sock)
        try:
            tls.handshake()
            SCENARIOS[command](tls, argument)
        except (EOFError, OSError, ssl.SSLError, ValueError):
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    with open(sys.argv[1] + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
