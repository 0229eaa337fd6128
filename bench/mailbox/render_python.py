#!/usr/bin/python3
"""The renderer benchmark's messages and its Python baseline.
  render_python.py make DIR COUNT   writes COUNT messages DIR/m0000.eml ...
  render_python.py scale DIR PARTS SIZE   writes one message DIR/m0000.eml
                                    of PARTS attachments of SIZE bytes
  render_python.py parse DIR OUT    parses every message with the email
                                    package and writes its parts to OUT;
                                    prints "SECONDS MESSAGES BYTES"
Sizes run from 1 KB to 5 MB in geometric steps; the kinds take turns:
plain text, alternative plain and HTML, HTML with inline pictures,
mixed with attachments."""
import os
import random
import sys
import time
from email import encoders, policy
from email.charset import QP, Charset
from email.mime.base import MIMEBase
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.parser import BytesParser

WORDS = ("mail message gr\u00fc\u00dfe caf\u00e9 rendering attachment inline picture "
         "boundary quoted printable base64 header subject sender").split()


def text_of(rng, size):
    out, n = [], 0
    while n < size:
        line = " ".join(rng.choice(WORDS) for _ in range(10))
        out.append(line)
        n += len(line) + 1
    return "\n".join(out) + "\n"


def binary(part_type, size, rng, filename=None, cid=None):
    main, sub = part_type.split("/")
    part = MIMEBase(main, sub)
    head = b"\x89PNG\r\n\x1a\n" if sub == "png" else b"%PDF-1.4\n"
    part.set_payload(head + rng.randbytes(max(0, size - len(head))))
    encoders.encode_base64(part)
    if filename:
        part.add_header("Content-Disposition", "attachment", filename=filename)
    if cid:
        part.add_header("Content-ID", "<%s>" % cid)
    return part


def message(i, size, rng):
    utf8qp = Charset("utf-8")
    utf8qp.body_encoding = QP
    kind = i % 4
    if kind == 0:
        msg = MIMEText(text_of(rng, size), "plain", "iso-8859-1")
    elif kind == 1:
        msg = MIMEMultipart("alternative")
        msg.attach(MIMEText(text_of(rng, size // 3), "plain", "iso-8859-1"))
        html = "<html><head></head><body><p>" + text_of(rng, size // 2).replace("\n", "</p><p>") + "</p></body></html>\n"
        msg.attach(MIMEText(html, "html", utf8qp))
    elif kind == 2:
        msg = MIMEMultipart("related")
        msg.attach(MIMEText('<html><head></head><body><p>picture</p><img src="cid:p%d@x"></body></html>\n' % i,
                            "html", "utf-8"))
        msg.attach(binary("image/png", size // 2, rng, cid="p%d@x" % i))
        msg.attach(binary("image/png", size // 2, rng, filename="shot%d.png" % i))
    else:
        msg = MIMEMultipart("mixed")
        msg.attach(MIMEText(text_of(rng, 600), "plain", "utf-8"))
        msg.attach(binary("application/pdf", size * 2 // 3, rng, filename="report%d.pdf" % i))
        msg.attach(binary("application/octet-stream", size // 3, rng, filename="data%d.bin" % i))
    msg["From"] = "Sender%d <s%d@example.org>" % (i, i)
    msg["To"] = "rcpt@example.org"
    msg["Date"] = "Tue, 02 Jan 2024 10:00:00 +0000"
    msg["Subject"] = "Message %d" % i
    return msg.as_bytes(policy=policy.SMTP)


def make(folder, count):
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(7)
    for i in range(count):
        size = int(1024 * (5 * 1024) ** (i / max(1, count - 1)))
        with open(os.path.join(folder, "m%04d.eml" % i), "wb") as f:
            f.write(message(i, size, rng))


def scale(folder, parts, size):
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(7)
    msg = MIMEMultipart("mixed")
    msg.attach(MIMEText(text_of(rng, 600), "plain", "utf-8"))
    for k in range(parts):
        msg.attach(binary("application/pdf", size, rng, filename="part%d.pdf" % k))
    msg["From"] = "Sender <s@example.org>"
    msg["To"] = "rcpt@example.org"
    msg["Subject"] = "%d parts of %d bytes" % (parts, size)
    with open(os.path.join(folder, "m0000.eml"), "wb") as f:
        f.write(msg.as_bytes(policy=policy.SMTP))


def parse(folder, out):
    os.makedirs(out, exist_ok=True)
    names = sorted(n for n in os.listdir(folder) if n.endswith(".eml"))
    datas = []
    for n in names:
        with open(os.path.join(folder, n), "rb") as f:
            datas.append(f.read())
    parser = BytesParser(policy=policy.default)
    start = time.perf_counter()
    for i, data in enumerate(datas):
        msg = parser.parsebytes(data)
        for k, part in enumerate(msg.walk()):
            if part.is_multipart():
                continue
            payload = part.get_payload(decode=True) or b""
            if part.get_content_maintype() == "text" and not part.get_filename():
                charset = part.get_content_charset() or "utf-8"
                payload = payload.decode(charset, "replace").encode("utf-8")
            name = part.get_filename() or "part%d" % k
            with open(os.path.join(out, "%d_%s" % (i, os.path.basename(name))), "wb") as f:
                f.write(payload)
    seconds = time.perf_counter() - start
    print(seconds, len(datas), sum(len(d) for d in datas))


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1] == "scale":
        scale(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    else:
        parse(sys.argv[2], sys.argv[3])
