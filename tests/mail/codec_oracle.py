#!/usr/bin/python3
"""Reference side of the codec round trips, on Python's own quopri, base64 and email.header.

Usage: codec_oracle.py COMMAND INPUT OUTPUT
INPUT holds one item per line as hexadecimal bytes; OUTPUT gets one result per
line in the same form.
"""
import base64
import email.header
import email.policy
import quopri
import sys


def header_decode(data):
    parts = email.header.decode_header(data.decode("ascii"))
    return b"".join(p if isinstance(p, bytes) else p.encode("ascii") for p, _ in parts)


def b64_decode(data):
    # As mail readers take it: bytes outside the alphabet skipped, a missing
    # final padding supplied (Python stops at the first complete padding).
    return base64.b64decode(data + b"==", validate=False)


def header_encoder(charset, codec):
    def encode(data):
        return email.header.Header(data.decode(codec), charset=charset).encode().encode("ascii")
    return encode


def header_read(data):
    # A whole header line, folded or not: its value as Python's email reads it.
    msg = email.message_from_bytes(data + b"\r\n\r\n", policy=email.policy.default)
    name = data.split(b":", 1)[0].decode("ascii")
    return str(msg[name]).encode("utf-8")


def filename_read(data):
    # A Content-Disposition line: the file name Python's email reads in it.
    msg = email.message_from_bytes(data + b"\r\n\r\n", policy=email.policy.default)
    return (msg.get_filename() or "").encode("utf-8")


COMMANDS = {
    "header-read": header_read,
    "filename-read": filename_read,
    "b64-decode": b64_decode,
    "qp-decode": quopri.decodestring,
    "qp-encode": quopri.encodestring,
    "header-decode": header_decode,
    "header-encode-utf8": header_encoder("utf-8", "utf-8"),
    "header-encode-latin1": header_encoder("iso-8859-1", "latin-1"),
}


def main():
    command, source, target = sys.argv[1:4]
    convert = COMMANDS[command]
    with open(source) as inp, open(target, "w") as out:
        for line in inp:
            out.write(convert(bytes.fromhex(line.strip())).hex() + "\n")


if __name__ == "__main__":
    main()
