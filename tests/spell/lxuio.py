#!/usr/bin/env python3
"""A second reader and writer of user dictionary files, written apart from
the C++ one from the file layout alone.

  lxuio.py dump FILE    every live entry as "TYPE<TAB>WORD[<TAB>REPLACEMENT]",
                        in slot order, after checking that each is found by
                        probing from its word's home slot and that the
                        counts agree with the slots
  lxuio.py write FILE   writes the entries read from standard input (the
                        same form) into a new file, table sized as the
                        dictionary grows it
"""
import struct
import sys

BANNER = (b"Lexiro User Dictionary, Version 4.0\r\n" b"Pelliwox spell suite word stores\r\n"
          b"Written by its own tools.\r\n" b"8-bit word lists.\r\n" b"\r\n")
PRIMES = [251, 509, 1021, 2039, 4093, 8191, 16381, 32749, 65521, 131071, 262139, 524287, 1048573]


def s32(x):
    x &= 0xFFFFFFFF
    return x - (1 << 32) if x >= 1 << 31 else x


def tmod(a, m):
    r = abs(a) % abs(m)
    return -r if a < 0 else r


def home(word, m):
    r, h = 0, 31415
    for c in word:
        r = tmod(s32(r * h + c), m)
        if r < 0:
            r = tmod(-r, m)
        h = tmod(s32(h * 27183), m - 1)
    return r


def entry(buf, v):
    t = buf[v - 1:v]
    end = buf.index(b"\0", v)
    word = buf[v:end]
    rep = buf[end + 1:buf.index(b"\0", end + 1)] if t == b"A" else None
    return t, word, rep


def dump(name):
    d = open(name, "rb").read()
    assert d[:119] == BANNER and d[119:121] == b"\0\x1a", "banner"
    ni, ne, na, nw, u = struct.unpack_from("<5i", d, 121)
    slots = struct.unpack_from("<%di" % u, d, 141)
    (b,) = struct.unpack_from("<i", d, 141 + 4 * u)
    buf = d[145 + 4 * u:145 + 4 * u + b]
    assert len(buf) == b, "buffer cut"
    out, kinds = [], {b"I": 0, b"E": 0, b"A": 0}
    for v in slots:
        if v <= 0:
            continue
        t, word, rep = entry(buf, v)
        kinds[t] += 1
        s = home(word, u)
        step = s % 97 + 1
        while slots[s] != v:
            assert slots[s] != 0, "entry %r not reachable from its home slot" % word
            s = (s + step) % u
        out.append(t + b"\t" + word + (b"\t" + rep if rep is not None else b""))
    assert (kinds[b"I"], kinds[b"E"], kinds[b"A"], sum(kinds.values())) == (ni, ne, na, nw), "counts"
    sys.stdout.buffer.write(b"".join(line + b"\n" for line in out))


def write(name):
    entries = [line.split(b"\t") for line in sys.stdin.buffer.read().split(b"\n") if line]
    u, slots, buf, counts = 0, [], b"", {b"I": 0, b"E": 0, b"A": 0}
    for n, e in enumerate(entries, 1):
        t, word = e[0], e[1]
        v = len(buf) + 1
        buf += t + word + b"\0" + (e[2] + b"\0" if t == b"A" else b"")
        counts[t] += 1
        if 4 * n >= u:
            u = next(p for p in PRIMES if p > u)
            live, slots = [x for x in slots if x > 0], [0] * u
            for x in live:
                place(slots, entry(buf, x)[1], x)
        place(slots, word, v)
    data = (BANNER + b"\0\x1a" + struct.pack("<5i", counts[b"I"], counts[b"E"], counts[b"A"], len(entries), u)
            + struct.pack("<%di" % u, *slots) + struct.pack("<i", len(buf)) + buf)
    open(name, "wb").write(data)


def place(slots, word, v):
    s = home(word, len(slots))
    step = s % 97 + 1
    while slots[s] > 0:
        s = (s + step) % len(slots)
    slots[s] = v


if __name__ == "__main__":
    {"dump": dump, "write": write}[sys.argv[1]](sys.argv[2])
