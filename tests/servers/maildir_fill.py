#!/usr/bin/python3
"""Fills a maildir with a generated mailbox: plain, encoded-word, multipart,
base64 and quoted-printable messages, dot-stuffing traps and long lines.
Usage: maildir_fill.py MAILDIR COUNT [SEED] [--append]. Replaces what the
maildir held; with --append keeps it and adds messages up to COUNT (the same
messages a fresh fill with that seed makes)."""
import email.header
import email.utils
import os
import random
import shutil
import sys
import time

args = [a for a in sys.argv[1:] if a != "--append"]
append = "--append" in sys.argv
maildir, count = args[0], int(args[1])
rnd = random.Random(int(args[2]) if len(args) > 2 else 1)

if os.path.isdir(maildir) and not append:
    shutil.rmtree(maildir)
for sub in ("new", "cur", "tmp"):
    os.makedirs(os.path.join(maildir, sub), exist_ok=True)

words = "alpha beta gamma delta invoice meeting report budget lunch offer news update".split()
subjects = [
    lambda i: f"Plain subject {i}",
    lambda i: email.header.Header(f"Grüße aus Köln {i}", "utf-8").encode(),
    lambda i: email.header.Header(f"Café crème {i}", "iso-8859-1").encode(),
    lambda i: email.header.Header(f"Привет {i}", "koi8-r").encode(),
    lambda i: f"Re: {rnd.choice(words)} {rnd.choice(words)} {i}",
]


def body_lines(i):
    lines = [f"Line {n} of message {i}: " + " ".join(rnd.choice(words) for _ in range(8)) for n in range(60)]
    lines[3] = "."           # a lone dot inside the body
    lines[4] = ".. two dots"
    lines[5] = ".leading dot"
    if i % 7 == 0:
        lines[6] = "X" * 6000  # a line longer than any small buffer
    return lines


def message(i):
    date = email.utils.formatdate(time.time() - i * 3600, localtime=False)
    kind = i % 4
    head = [
        f"Return-Path: <sender{i}@example.org>",
        f"From: Sender {i} <sender{i}@example.org>",
        f"To: pwx@example.com",
        f"Cc: first{i}@example.org",
        f"Cc: second{i}@example.org",
        f"Subject: {subjects[i % len(subjects)](i)}",
        f"Date: {date}",
        f"Message-ID: <{i}.{rnd.randrange(10**9)}@example.org>",
        "X-Long: " + "folded " * 20,
        "\tcontinuation of the long header",
        "MIME-Version: 1.0",
    ]
    lines = body_lines(i)
    if kind == 0:
        head.append("Content-Type: text/plain; charset=us-ascii")
        body = lines
    elif kind == 1:
        head += ["Content-Type: text/plain; charset=utf-8", "Content-Transfer-Encoding: quoted-printable"]
        body = [l.replace("alpha", "=C3=A4lpha") for l in lines]
    elif kind == 2:
        import base64
        raw = "\n".join(lines).encode()
        enc = base64.encodebytes(raw).decode().splitlines()
        head += ["Content-Type: text/plain; charset=utf-8", "Content-Transfer-Encoding: base64"]
        body = enc
    else:
        b = f"----=_Part_{i}"
        head.append(f'Content-Type: multipart/mixed; boundary="{b}"')
        body = ["This is a multi-part message.", "", f"--{b}", "Content-Type: text/plain", ""] + lines[:20] + [
            f"--{b}", 'Content-Type: application/octet-stream; name="data.bin"',
            "Content-Transfer-Encoding: base64", "", "AAECAwQFBgcICQ==", f"--{b}--"]
    return "\n".join(head) + "\n\n" + "\n".join(body) + "\n"  # maildir keeps LF line ends


for i in range(1, count + 1):
    name = f"{1700000000 + i}.M{i}P1.pelliwox:2,"
    text = message(i)  # made for every number, so that the random sequence matches
    path = os.path.join(maildir, "cur", name)
    if append and os.path.exists(path):
        continue
    with open(path, "w", newline="") as f:
        f.write(text)
