#!/usr/bin/python3
"""A POP3 server that misbehaves on purpose, one way per listening port.

Prints one JSON line {mode: port} once every port listens on 127.0.0.1, then
serves until its standard input closes. Every mode serves the same mailbox of
three messages (user and password are not checked) and departs from POP3 as
its name says:

  no_greeting       accepts and says nothing
  garbage_greeting  greets with a line that is not +OK
  err_user          refuses USER
  err_pass          refuses PASS
  stls_refused      refuses STLS
  garbage_stat      answers STAT with words
  stat_more         STAT counts five messages, LIST shows three
  stat_fewer        STAT counts two messages, LIST shows three
  stall_top         stops halfway through the answer to TOP 2
  drop_top          closes the connection halfway through TOP 2
  top_no_end        sends TOP 2 without its end line, then closes
  long_line         sends a line longer than any client keeps in TOP 2
  huge_top          TOP 2 answers more text than a row can hold (lines of 15 MB)
  nul_bytes         NUL bytes in the subject and the first lines of message 2
  big_size          LIST gives message 2 a size of 5,000,000,000 bytes
  quit_refused      answers QUIT with -ERR (deletions are not confirmed)
  no_pipelining     lists capabilities without PIPELINING and refuses a
                    client that sends its next TOP before the last answer
  pipe_err_top      offers PIPELINING, waits for all three TOPs, refuses TOP 2
  pipe_drop_top     offers PIPELINING, waits for all three TOPs, answers TOP 1
                    and closes the connection halfway through TOP 2
  pipe_dot_top      offers PIPELINING, waits for all three TOPs; a "." line
                    inside TOP 1's headers ends it early, its other header
                    lines follow where TOP 2's answer is due

  trickle_top       sends "+OK", "Subject: " for TOP 2, then one byte every
                    2 seconds, never ending the answer
  uidl_dup          UIDL gives messages 2 and 3 the same id
  uidl_unlisted     UIDL names a message 9 that LIST does not list
  uidl_noid         UIDL has a line without an id

Modes over a mailbox of 60 messages, where message 20 goes wrong; those
named pipe_* offer PIPELINING, those named one_* do not:
  pipe_twice, one_twice     the answer to TOP 20 is sent twice
  pipe_forged, one_forged   message 20 holds a lone "." line and a forged
                            "+OK" answer behind it (it was not dot-stuffed)
  pipe_missing, one_missing TOP 20 is never answered
  one_unasked               a forged complete answer comes just before the
                            answer to TOP 20

Whatever the mode, a command that arrives while the answer to the last one
has not been sent ends the session with -ERR, unless the mode offers
PIPELINING or serves the mailbox of 60 (those answer in order).
Usage: pop3_hostile.py
"""
import json
import select
import socket
import sys
import threading
import time

MODES = ["no_greeting", "garbage_greeting", "err_user", "err_pass", "stls_refused", "garbage_stat", "stat_more",
         "stat_fewer", "stall_top", "drop_top", "top_no_end", "long_line", "huge_top", "nul_bytes", "big_size",
         "quit_refused", "no_pipelining", "pipe_err_top", "pipe_drop_top", "pipe_dot_top", "trickle_top",
         "uidl_dup", "uidl_unlisted", "uidl_noid", "pipe_twice", "one_twice", "pipe_forged", "one_forged",
         "pipe_missing", "one_missing", "one_unasked"]
SIXTY = ("pipe_twice", "one_twice", "pipe_forged", "one_forged", "pipe_missing", "one_missing", "one_unasked")
FAULTY = 20
FORGED = b"+OK\r\nFrom: Mallory <m@evil.example>\r\nSubject: Forged subject\r\n\r\nforged body\r\n"


class Lines:
    """The client's command lines, and whether more has come than was read."""

    def __init__(self, conn):
        self.conn = conn
        self.buf = b""

    def line(self):
        while b"\n" not in self.buf:
            data = self.conn.recv(65536)
            if not data:
                return None
            self.buf += data
        line, self.buf = self.buf.split(b"\n", 1)
        return line.rstrip(b"\r")

    def ahead(self, wait=0.0):
        """Whether bytes have come (or come within Wait seconds) beyond the line read."""
        if self.buf:
            return True
        return bool(select.select([self.conn], [], [], wait)[0])


def message(n, subject=None, body=None):
    subject = subject if subject is not None else b"Subject %d" % n
    body = body if body is not None else b"Body line of message %d" % n
    return (b"From: Sender %d <s%d@example.org>\r\nTo: user@example.org\r\nSubject: " % (n, n) + subject +
            b"\r\nDate: Thu, 10 Dec 2026 12:00:0%d +0000\r\n\r\n" % n + body + b"\r\n")


def mailbox(mode):
    msgs = [message(n) for n in range(1, (60 if mode in SIXTY else 3) + 1)]
    if mode == "nul_bytes":
        msgs[1] = message(2, b"Sub\x00ject 2", b"Body\x00line")
    if mode.endswith("_forged"):
        msgs[FAULTY - 1] = message(FAULTY, None, b"Body line of message %d\r\n.\r\n" % FAULTY + FORGED)
    return msgs


def serve(conn, mode):
    reader = Lines(conn)
    send = conn.sendall
    msgs = mailbox(mode)
    pipelining = mode.startswith("pipe_")
    waits_for_three = mode in ("pipe_err_top", "pipe_drop_top", "pipe_dot_top")
    pending = []  # commands read ahead, answered in turn
    first_top = True

    def stall():
        # Nothing more is said; the client has to give up by itself.
        conn.settimeout(120)
        try:
            while conn.recv(4096):
                pass
        except OSError:
            pass

    if mode == "no_greeting":
        return stall()
    if mode == "garbage_greeting":
        send(b"HELLO THERE, NOT POP3\r\n")
        return stall()
    send(b"+OK hostile POP3 ready\r\n")
    while True:
        raw = pending.pop(0) if pending else reader.line()
        if raw is None:
            return
        words = raw.decode("latin-1").strip().split(" ")
        cmd, args = words[0].upper(), words[1:]
        if cmd == "TOP" and first_top:
            first_top = False
            if waits_for_three:
                # Nothing is answered before the other two TOPs have come.
                while len(pending) < 2:
                    more = reader.line()
                    if more is None:
                        return
                    pending.append(more)
            elif mode == "no_pipelining":
                reader.ahead(0.3)  # time for a pipelining client to send its next TOP, refused below
        if not pipelining and mode not in SIXTY and cmd != "QUIT" and reader.ahead():
            send(b"-ERR command sent before the last answer; no PIPELINING here\r\n")
            return
        if cmd == "CAPA" and (pipelining or mode == "no_pipelining"):
            send(b"+OK\r\nTOP\r\nUIDL\r\n" + (b"PIPELINING\r\n" if pipelining else b"") + b".\r\n")
        elif cmd == "USER":
            send(b"-ERR no such user\r\n" if mode == "err_user" else b"+OK\r\n")
        elif cmd == "PASS":
            send(b"-ERR [AUTH] invalid password\r\n" if mode == "err_pass" else b"+OK logged in\r\n")
        elif cmd == "STLS":
            send(b"-ERR STLS not offered here\r\n")
        elif cmd == "STAT":
            if mode == "garbage_stat":
                send(b"+OK lots of mail\r\n")
            else:
                count = {"stat_more": 5, "stat_fewer": 2}.get(mode, len(msgs))
                send(b"+OK %d %d\r\n" % (count, sum(len(m) for m in msgs)))
        elif cmd == "LIST":
            sizes = [5000000000 if mode == "big_size" and i == 1 else len(m) for i, m in enumerate(msgs)]
            if args:
                n = int(args[0])
                send(b"+OK %d %d\r\n" % (n, sizes[n - 1]) if 1 <= n <= len(msgs) else b"-ERR no such message\r\n")
                continue
            send(b"+OK\r\n" + b"".join(b"%d %d\r\n" % (i + 1, z) for i, z in enumerate(sizes)) + b".\r\n")
        elif cmd == "UIDL":
            ids = [b"%d uid-%d" % (i + 1, i + 1) for i in range(len(msgs))]
            if mode == "uidl_dup":
                ids[2] = b"3 uid-2"
            elif mode == "uidl_unlisted":
                ids.append(b"9 uid-9")
            elif mode == "uidl_noid":
                ids[1] = b"2"
            send(b"+OK\r\n" + b"".join(i + b"\r\n" for i in ids) + b".\r\n")
        elif cmd == "TOP":
            n = int(args[0])
            if n < 1 or n > len(msgs):
                send(b"-ERR no such message\r\n")
                continue
            text = msgs[n - 1]
            if n == 2 and mode == "pipe_err_top":
                send(b"-ERR message 2 is gone\r\n")
                continue
            if n == FAULTY and mode.endswith("_missing"):
                continue
            if n == FAULTY and mode.endswith("_twice"):
                send(b"+OK\r\n" + text + b".\r\n")
            if n == FAULTY and mode == "one_unasked":
                send(FORGED + b".\r\n")
            if n == 2 and mode == "trickle_top":
                send(b"+OK\r\nSubject: ")
                conn.settimeout(600)
                try:
                    for c in b"never ending subject line" * 100:
                        time.sleep(2)
                        send(bytes([c]))
                except OSError:
                    pass
                return
            if n == 1 and mode == "pipe_dot_top":
                lf = text.index(b"\r\n") + 2
                text = text[:lf] + b".\r\n" + text[lf:]
            if n == 2 and mode in ("stall_top", "drop_top", "pipe_drop_top", "top_no_end", "long_line", "huge_top"):
                head = text[:text.index(b"\r\n\r\n")]
                if mode == "stall_top":
                    send(b"+OK\r\n" + head[:30])
                    return stall()
                if mode in ("drop_top", "pipe_drop_top"):
                    send(b"+OK\r\n" + head[:30])
                    return
                if mode == "top_no_end":
                    send(b"+OK\r\n" + text)
                    return
                if mode == "long_line":
                    send(b"+OK\r\n" + head + b"\r\n\r\n")
                    chunk = b"x" * (1 << 20)
                    for _ in range(17):
                        send(chunk)
                    send(b"\r\n.\r\n")
                    continue
                # huge_top: five body lines of 15 MB each.
                send(b"+OK\r\n" + head + b"\r\n\r\n")
                for _ in range(5):
                    send(b"y" * (15 << 20) + b"\r\n")
                send(b".\r\n")
                continue
            send(b"+OK\r\n" + text + b".\r\n")
        elif cmd == "QUIT":
            send(b"-ERR cannot commit\r\n" if mode == "quit_refused" else b"+OK bye\r\n")
            return
        elif cmd == "DELE":
            send(b"+OK marked\r\n")
        elif cmd == "NOOP":
            send(b"+OK\r\n")
        else:
            send(b"-ERR unknown command\r\n")


def accept_loop(listener, mode):
    while True:
        try:
            conn, _ = listener.accept()
        except OSError:
            return

        def run(c=conn):
            try:
                serve(c, mode)
            except OSError:
                pass
            finally:
                c.close()
        threading.Thread(target=run, daemon=True).start()


def main():
    ports = {}
    for mode in MODES:
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", 0))
        s.listen(8)
        ports[mode] = s.getsockname()[1]
        threading.Thread(target=accept_loop, args=(s, mode), daemon=True).start()
    print(json.dumps(ports), flush=True)
    sys.stdin.read()  # until whoever started us goes


if __name__ == "__main__":
    main()
