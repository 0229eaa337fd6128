#!/usr/bin/python3
"""Writes the renderer's fixture messages with Python's email package.
Usage: make_render_fixtures.py OUTDIR
For each case NAME: OUTDIR/NAME.eml (CRLF lines) and, for each part the
renderer must keep, OUTDIR/NAME.part<N> holding its bytes (N from 1, in the
order the parts appear)."""
import os
import struct
import sys
import zlib
from email import policy
from email.headerregistry import Address
from email.message import EmailMessage
from email.mime.application import MIMEApplication
from email.mime.base import MIMEBase
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email import encoders
from email.charset import QP, Charset

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def png(width, colour):
    """A small valid PNG of one colour."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + bytes(colour) * width for _ in range(width))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, width, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def pdf(text):
    return b"%PDF-1.4\n% " + text.encode() + b"\n" + bytes(range(256)) + b"\n%%EOF\n"


def write(name, msg, parts=()):
    with open(os.path.join(out, name + ".eml"), "wb") as f:
        f.write(msg.as_bytes(policy=policy.SMTP))
    for n, data in enumerate(parts, 1):
        with open(os.path.join(out, "%s.part%d" % (name, n)), "wb") as f:
            f.write(data)


def headers(msg, sender="Name <name@example.org>", subject="Fixture"):
    msg["From"] = sender
    msg["To"] = "Rcpt <rcpt@example.org>"
    msg["Date"] = "Tue, 02 Jan 2024 10:00:00 +0000"
    msg["Subject"] = subject
    return msg


def attachment(data, filename, maintype="application", subtype="pdf", cid=None, inline=False):
    part = MIMEBase(maintype, subtype)
    part.set_payload(data)
    encoders.encode_base64(part)
    if filename is not None:
        part.add_header("Content-Disposition", "inline" if inline else "attachment", filename=filename)
    if cid:
        part.add_header("Content-ID", "<%s>" % cid)
    return part


# Alternative plain and HTML (quoted-printable, two character sets), an
# inline picture referenced by cid, a picture without cid after the HTML,
# and a PDF.
img = png(4, (200, 10, 10))
loose = png(3, (10, 200, 10))
doc = pdf("first")
utf8qp = Charset("utf-8")
utf8qp.body_encoding = QP
alt = MIMEMultipart("alternative")
alt.attach(MIMEText("Gr\u00fc\u00dfe aus K\u00f6ln, plain <b>text</b>\n", "plain", "iso-8859-1"))
alt.attach(MIMEText('<html><head><title>t</title></head><body><p>Gr\u00fc\u00dfe \u20ac</p>'
                    '<img src="cid:Pic1@Example"></body></html>\n', "html", utf8qp))
related = MIMEMultipart("related")
related.attach(alt)
related.attach(attachment(img, None, "image", "png", cid="Pic1@Example"))
mixed = headers(MIMEMultipart("mixed"), sender="Name", subject="=?iso-8859-1?Q?Gr=FC=DFe?= und mehr")
mixed.attach(related)
mixed.attach(attachment(doc, "x.pdf"))
mixed.attach(attachment(loose, "loose.png", "image", "png"))
write("alternative", mixed, [img, doc, loose])

# Two attachments of one name and size with different bytes, and a third
# equal to the first.
a, b = pdf("AAAA"), pdf("BBBB")
m = headers(MIMEMultipart("mixed"), sender="Name")
m.attach(MIMEText("see the files\n", "plain", "us-ascii"))
m.attach(attachment(a, "x.pdf"))
m.attach(attachment(b, "x.pdf"))
m.attach(attachment(a, "x.pdf"))
write("samename", m, [a, b])

# RFC 2231 names: an extended UTF-8 value and numbered continuations.
m = EmailMessage(policy=policy.SMTP)
headers(m)
m.set_content("body\n")
data1, data2 = b"first attachment\x00\x01", b"second attachment\x02\x03"
m.add_attachment(data1, maintype="application", subtype="octet-stream",
                 filename=("utf-8", "", "na\u00efve r\u00e9sum\u00e9.dat"))
m.add_attachment(data2, maintype="application", subtype="octet-stream", filename="x" * 90 + ".dat")
write("rfc2231", m, [data1, data2])

# Names that try to leave the folder.
m = headers(MIMEMultipart("mixed"))
m.attach(MIMEText("names\n", "plain", "us-ascii"))
evil = [(w * 12).encode() for w in ("one ", "two ", "three ", "four ", "five ")]
for data, name in zip(evil, ["../../escape.dat", "..\\..\\win.dat", ".hidden", "..", "a\x01b\x7f/c:d*e?.dat"]):
    m.attach(attachment(data, name, "application", "octet-stream"))
write("evilnames", m, evil)

# A Latin-1 plain text message in 8 bits with markup in it.
m = headers(MIMEText("", "plain", "iso-8859-1"), sender="=?utf-8?Q?J=C3=B6rg?= <j@example.org>")
m.set_payload("Caf\u00e9 <script>alert(1)</script> & more\n".encode("iso-8859-1"))
m.replace_header("Content-Transfer-Encoding", "8bit")
write("latin1", m)

# HTML in Base64 without a file name, nested three deep, windows-1252.
inner = MIMEMultipart("alternative")
inner.attach(MIMEText("plain \u20ac\n", "plain", "windows-1252"))
h = MIMEText("", "html", "windows-1252")
h.set_payload("<html><body><p>HTML \u20ac sign</p></body></html>\n".encode("windows-1252"))
del h["Content-Transfer-Encoding"]
encoders.encode_base64(h)
inner.attach(h)
middle = MIMEMultipart("related")
middle.attach(inner)
outer = headers(MIMEMultipart("mixed"))
outer.attach(middle)
data = pdf("nested")
outer.attach(attachment(data, "nested.pdf"))
write("nested", outer, [data])
