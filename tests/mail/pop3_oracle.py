#!/usr/bin/python3
"""What Python's poplib sees of a mailbox, as JSON, for the POP3 tests.
Usage: pop3_oracle.py PORT USER PASSWORD [tls|stls] [CAFILE]"""
import json
import poplib
import ssl
import sys

poplib._MAXLINE = 1 << 24  # the mailboxes hold lines longer than poplib's default
port, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3]
mode = sys.argv[4] if len(sys.argv) > 4 else "plain"
ctx = ssl.create_default_context(cafile=sys.argv[5]) if mode != "plain" else None

if mode == "tls":
    p = poplib.POP3_SSL("127.0.0.1", port, context=ctx)
else:
    p = poplib.POP3("127.0.0.1", port)
    if mode == "stls":
        p.stls(context=ctx)
p.user(user)
p.pass_(password)


def text(b):
    return b.decode("latin-1")


count, size = p.stat()
out = {
    "count": count,
    "size": size,
    "list": [text(x) for x in p.list()[1]],
    "uidl": [text(x) for x in p.uidl()[1]],
    "list1": text(p.list(1)),
    "uidl2": text(p.uidl(2)),
    "top": [[text(x) for x in p.top(n, 40)[1]] for n in range(1, count + 1)],
    "retr": {str(n): [text(x) for x in p.retr(n)[1]] for n in (1, 4, 7)},
}
p.quit()
json.dump(out, sys.stdout)
