#!/usr/bin/python3
"""Writes the seed corpus of the DNS response fuzz target (corpus/): the
scripted peer's answers, good and malformed, and a few answers of a real
server (MX with compression, LOC, PTR), as built here by hand."""
import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "servers"))
import dns_peer  # noqa: E402

out = os.path.join(here, "corpus")
os.makedirs(out, exist_ok=True)
msgs = dns_peer.sample_messages()

q = dns_peer.encode_name("pwx.test") + struct.pack(">HH", 15, 1)
mx = dns_peer.rr(b"\xc0\x0c", 15, struct.pack(">H", 10) + b"\x04mail\xc0\x0c") + \
    dns_peer.rr(b"\xc0\x0c", 15, struct.pack(">H", 20) + dns_peer.encode_name("backup.mx.example.org"))
msgs["real_mx"] = dns_peer.header(7, an=2) + q + mx

q = dns_peer.encode_name("geo.pwx.test") + struct.pack(">HH", 29, 1)
loc = struct.pack(">BBBBIII", 0, 0x12, 0x16, 0x13, 0x8B3CF018, 0x810CBCE0, 0x009895B8)
msgs["real_loc"] = dns_peer.header(8, an=1) + q + dns_peer.rr(b"\xc0\x0c", 29, loc)

q = dns_peer.encode_name("25.2.0.192.in-addr.arpa") + struct.pack(">HH", 12, 1)
msgs["real_ptr"] = dns_peer.header(9, an=2) + q + \
    dns_peer.rr(b"\xc0\x0c", 12, dns_peer.encode_name("mail.pwx.test")) + \
    dns_peer.rr(b"\xc0\x0c", 12, b"\x04smtp\xc0\x3a")

for name, data in sorted(msgs.items()):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
print("%d seeds in %s" % (len(msgs), out))
