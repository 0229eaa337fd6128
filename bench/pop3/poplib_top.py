#!/usr/bin/python3
"""TOP n 40 for every message with poplib; prints messages per second.
Usage: poplib_top.py PORT USER PASSWORD [tls CAFILE]"""
import poplib
import ssl
import sys
import time

poplib._MAXLINE = 1 << 24
port, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3]
if len(sys.argv) > 4 and sys.argv[4] == "tls":
    p = poplib.POP3_SSL("127.0.0.1", port, context=ssl.create_default_context(cafile=sys.argv[5]))
else:
    p = poplib.POP3("127.0.0.1", port)
p.user(user)
p.pass_(password)
count = p.stat()[0]
t0 = time.perf_counter()
for n in range(1, count + 1):
    p.top(n, 40)
print(count / (time.perf_counter() - t0))
p.quit()
