#!/usr/bin/python3
"""A scripted DNS server on one free port of 127.0.0.1, over UDP and TCP, for
the cases a real server never sends. The first label of the question's name
picks the script:

  ok        one A answer, 192.0.2.1
  silent    no answer at all
  wrongid   an answer with another ID (6.6.6.6), then the right one
  wrongq    an answer to another question (6.6.6.6), then the right one
  query     a message without the QR bit (6.6.6.6), then the right one
  loop      the answer's name is a pointer to itself
  loop2     the answer's name is a pointer to a pointer back to it
  qloop     the question's name is a pointer to itself, and nothing else
  badcount  ANCOUNT 5 with one A answer
  rdlen     an A answer whose RDLENGTH runs past the message
  ptrout    the answer's name points past the end of the message
  labelout  the answer's name has a label longer than what is left
  mxcomp    MX 10 whose exchange is "mail" + a pointer to the question's name
  many      60 A answers (10.0.0.1 ...), more than 512 bytes
  trailing  (TCP) the answer followed by 20 bytes that belong to nothing
  slow      (TCP) the length prefix and the answer in pieces, with pauses
  cut       (TCP) a length prefix 100 bytes longer than what comes before the close
  noq       an answer without a question section (6.6.6.6), then the right one
  tc        (UDP) 3 of 60 A answers with the truncation flag; (TCP) all 60
  aaaa      two AAAA answers, 2001:db8::1 and 2001:db8::2
  nx        NXDOMAIN, no answers
  spoof     (UDP) a spray of forged answers (6.6.6.6) with the query's own ID and
            question, from another port and from another address (127.0.0.2),
            to the port the query came from; then the right answer
  spoofonly (UDP) the spray alone

Usage: dns_peer.py STATE_DIR; writes STATE_DIR/dns_peer.port (127.0.0.1) and
STATE_DIR/dns_peer6.port (::1) when listening, each a UDP and a TCP socket.
The functions answers() and sample_messages() are also used to make the fuzz
corpus.
"""
import socket
import struct
import sys
import threading
import time

A_GOOD = bytes([192, 0, 2, 1])
A_BAD = bytes([6, 6, 6, 6])


def header(qid, flags=0x8580, qd=1, an=0, ns=0, ar=0):
    return struct.pack(">HHHHHH", qid, flags, qd, an, ns, ar)


def encode_name(name):
    out = b""
    for label in name.rstrip(".").split("."):
        out += bytes([len(label)]) + label.encode()
    return out + b"\0"


def rr(name_bytes, rtype, rdata, ttl=60, rdlength=None):
    if rdlength is None:
        rdlength = len(rdata)
    return name_bytes + struct.pack(">HHIH", rtype, 1, ttl, rdlength) + rdata


PTR_TO_QNAME = b"\xc0\x0c"


def a_answer(qid, question, addr=A_GOOD):
    return header(qid, an=1) + question + rr(PTR_TO_QNAME, 1, addr)


def parse_query(msg):
    """ID, the question's bytes and its first label."""
    qid = struct.unpack(">H", msg[:2])[0]
    pos = 12
    labels = []
    while msg[pos]:
        labels.append(msg[pos + 1:pos + 1 + msg[pos]].decode("ascii", "replace"))
        pos += 1 + msg[pos]
    return qid, msg[12:pos + 5], labels[0].lower() if labels else ""


def answers(case, qid, question, tcp=False):
    """The messages the script sends for one query, in order."""
    x = 12 + len(question)  # where the answer section starts
    if case in ("silent", "spoofonly"):
        return []
    if case == "wrongid":
        return [a_answer(qid ^ 0x5A5A, question, A_BAD), a_answer(qid, question)]
    if case == "wrongq":
        other = encode_name("other.pwx.test") + question[-4:]
        return [a_answer(qid, other, A_BAD), a_answer(qid, question)]
    if case == "query":
        return [header(qid, flags=0x0100, an=1) + question + rr(PTR_TO_QNAME, 1, A_BAD), a_answer(qid, question)]
    if case == "loop":
        return [header(qid, an=1) + question + rr(bytes([0xC0 | x >> 8, x & 0xFF]), 1, A_GOOD)]
    if case == "loop2":
        name = bytes([0xC0 | (x + 2) >> 8, (x + 2) & 0xFF, 0xC0 | x >> 8, x & 0xFF])
        return [header(qid, an=1) + question + name + struct.pack(">HHIH", 1, 1, 60, 4) + A_GOOD]
    if case == "qloop":
        return [header(qid, an=1) + b"\xc0\x0c" + question[-4:] + rr(PTR_TO_QNAME, 1, A_GOOD)]
    if case == "badcount":
        return [header(qid, an=5) + question + rr(PTR_TO_QNAME, 1, A_GOOD)]
    if case == "rdlen":
        return [header(qid, an=1) + question + rr(PTR_TO_QNAME, 1, A_GOOD, rdlength=200)]
    if case == "ptrout":
        return [header(qid, an=1) + question + rr(b"\xc0\xff", 1, A_GOOD)]
    if case == "labelout":
        return [header(qid, an=1) + question + b"\x3fabc"]
    if case == "mxcomp":
        exchange = b"\x04mail" + PTR_TO_QNAME
        return [header(qid, an=1) + question + rr(PTR_TO_QNAME, 15, struct.pack(">H", 10) + exchange)]
    if case == "many" or (case == "tc" and tcp):
        body = b"".join(rr(PTR_TO_QNAME, 1, bytes([10, 0, 0, i])) for i in range(1, 61))
        return [header(qid, an=60) + question + body]
    if case == "tc":
        body = b"".join(rr(PTR_TO_QNAME, 1, bytes([10, 0, 0, i])) for i in range(1, 4))
        return [header(qid, flags=0x8780, an=3) + question + body]
    if case == "noq":
        return [header(qid, qd=0, an=1) + rr(encode_name("noq.pwx.test"), 1, A_BAD), a_answer(qid, question)]
    if case == "aaaa":
        six = [bytes.fromhex("20010db8000000000000000000000001"), bytes.fromhex("20010db8000000000000000000000002")]
        return [header(qid, an=2) + question + b"".join(rr(PTR_TO_QNAME, 28, a) for a in six)]
    if case == "nx":
        return [header(qid, flags=0x8583) + question]
    return [a_answer(qid, question)]


def spray(peer, qid, question, family):
    """Forged answers with the query's ID and question from sockets the query
    was not sent to: another port of the server's address, and (over IPv4)
    another address."""
    sources = [("127.0.0.1", 0), ("127.0.0.2", 0)] if family == socket.AF_INET else [("::1", 0)]
    forged = a_answer(qid, question, A_BAD)
    for source in sources:
        with socket.socket(family, socket.SOCK_DGRAM) as s:
            s.bind(source)
            for _ in range(200):
                s.sendto(forged, peer)


def sample_messages():
    """Responses of every script to a query for CASE.pwx.test, type A."""
    out = {}
    for case in ["ok", "wrongid", "wrongq", "loop", "loop2", "qloop", "badcount", "rdlen", "ptrout",
                 "labelout", "mxcomp", "many", "tc", "noq", "aaaa", "nx"]:
        question = encode_name(case + ".pwx.test") + struct.pack(">HH", 1, 1)
        for i, msg in enumerate(answers(case, 0x1234, question)):
            out["%s_%d" % (case, i)] = msg
    return out


def serve_udp(sock):
    while True:
        msg, peer = sock.recvfrom(4096)
        try:
            qid, question, case = parse_query(msg)
        except (IndexError, struct.error):
            continue
        if case in ("spoof", "spoofonly"):
            spray(peer, qid, question, sock.family)
        for reply in answers(case, qid, question):
            sock.sendto(reply, peer)


def recv_exactly(conn, n):
    data = b""
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def serve_tcp_conn(conn):
    with conn:
        try:
            while True:
                length = struct.unpack(">H", recv_exactly(conn, 2))[0]
                qid, question, case = parse_query(recv_exactly(conn, length))
                for reply in answers(case, qid, question, tcp=True):
                    framed = struct.pack(">H", len(reply)) + reply
                    if case == "trailing":
                        conn.sendall(framed + b"\x00\x14" + b"J" * 18)
                    elif case == "slow":
                        for piece in (framed[:1], framed[1:2], framed[2:20], framed[20:]):
                            conn.sendall(piece)
                            time.sleep(0.05)
                    elif case == "cut":
                        conn.sendall(struct.pack(">H", len(reply) + 100) + reply)
                        conn.shutdown(socket.SHUT_RDWR)
                        return
                    else:
                        conn.sendall(framed)
        except (EOFError, OSError, IndexError, struct.error):
            return


def serve_tcp(sock):
    while True:
        conn, _ = sock.accept()
        threading.Thread(target=serve_tcp_conn, args=(conn,), daemon=True).start()


def bind_pair(family=socket.AF_INET, host="127.0.0.1"):
    """A UDP and a TCP socket on the same free port."""
    for _ in range(50):
        tcp = socket.socket(family, socket.SOCK_STREAM)
        tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        tcp.bind((host, 0))
        port = tcp.getsockname()[1]
        udp = socket.socket(family, socket.SOCK_DGRAM)
        try:
            udp.bind((host, port))
        except OSError:
            tcp.close()
            udp.close()
            continue
        tcp.listen(16)
        return tcp, udp, port
    raise SystemExit("no free port for UDP and TCP")


def main():
    import os
    state = sys.argv[1]
    for family, host, name in ((socket.AF_INET6, "::1", "dns_peer6"), (socket.AF_INET, "127.0.0.1", "dns_peer")):
        tcp, udp, port = bind_pair(family, host)
        threading.Thread(target=serve_udp, args=(udp,), daemon=True).start()
        threading.Thread(target=serve_tcp, args=(tcp,), daemon=True).start()
        with open(state + "/" + name + ".port.tmp", "w") as f:
            f.write("%d\n" % port)
        os.rename(state + "/" + name + ".port.tmp", state + "/" + name + ".port")
    threading.Event().wait()


if __name__ == "__main__":
    main()
