#!/usr/bin/python3
"""Sends COUNT messages of about SIZE bytes of text with smtplib, one
connection per message; prints messages per second.
Usage: smtplib_send.py PORT COUNT SIZE"""
import smtplib
import sys
import time

port, count, size = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
line = ("The quick brown fox jumps over the lazy dog. " * 2)[:72] + "\r\n"
body = (line * (size // len(line) + 1))[:size]
message = ("From: alice@x.test\r\nTo: bob@x.test\r\nSubject: Benchmark\r\n"
           "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + body).encode()
t0 = time.perf_counter()
for _ in range(count):
    with smtplib.SMTP("127.0.0.1", port) as s:
        s.sendmail("alice@x.test", ["bob@x.test"], message)
print(count / (time.perf_counter() - t0))
