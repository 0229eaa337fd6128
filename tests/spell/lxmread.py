#!/usr/bin/env python3
"""A second reader of main dictionary files, written apart from the C++ one
from the file layout alone, so the two can be held against each other.

  lxmread.py DICT lookup WORDS   one line per word of WORDS (bytes, one a
                                 line): "1 N" or "0 N", exists and the
                                 number of leading characters matched
  lxmread.py DICT dump           every word of the tree, one a line, in the
                                 tree's order
  lxmread.py DICT check          checks the layout's promises (children in
                                 ascending order, the first-letter table
                                 mirroring the root, no word ending among
                                 extra characters is possible by layout);
                                 prints the header
"""
import struct
import sys

BANNER_FIRST = b"Lexiro Dictionary Compiler, Version 4.0\r\n"


class Lxm:
    def __init__(self, data):
        self.d = data
        if len(data) <= 1024 or not data.startswith(BANNER_FIRST):
            raise ValueError("not a main dictionary")
        n = data[1024]
        self.title = data[1025:1025 + 2 * n].decode("utf-16-le")
        p = 1027 + 2 * n
        self.language, self.words, self.nodes = struct.unpack_from("<III", data, p)
        self.counts = struct.unpack_from("<9I", data, p + 12)
        self.starts, self.firsts = [], []
        pos, first = p + 48, 0
        for k, c in enumerate(self.counts):
            self.starts.append(pos)
            self.firsts.append(first)
            pos += c * (k + 4)
            first += c
        self.total = first
        (self.lsize,) = struct.unpack_from("<I", data, pos)
        self.lstart = pos + 4
        self.table = data[self.lstart + self.lsize:self.lstart + self.lsize + 2048]
        if len(data) < self.lstart + self.lsize + 2048 + 1024:
            raise ValueError("file too short")

    def node(self, i):
        k = next(j for j in range(9) if self.firsts[j] <= i < self.firsts[j] + self.counts[j])
        at = self.starts[k] + (i - self.firsts[k]) * (k + 4)
        (v,) = struct.unpack_from("<I", self.d, at)
        extra = self.d[at + 4:at + 4 + k]
        return v & 0xFF, (v >> 8) & 0xFFFFF, (v >> 28) & 7, bool(v >> 31), extra

    def link_indexes(self, off, count):
        out = []
        link = self.d[self.lstart:self.lstart + self.lsize]
        for _ in range(count):
            if self.nodes < 0xFFFF:
                out.append(link[off] | link[off + 1] << 8)
                off += 2
            elif link[off] & 0x80:
                out.append((link[off] & 0x7F) << 8 | link[off + 1])
                off += 2
            else:
                out.append(link[off] << 16 | link[off + 1] << 8 | link[off + 2])
                off += 3
        return out

    def children_of_node(self, i):
        _, ref, count, _, _ = self.node(i)
        if count == 1:
            return [ref]
        if count > 1:
            return self.link_indexes(ref, count)
        if ref == 0xFFFFF:
            return []
        return self.link_indexes(ref + 1, self.d[self.lstart + ref])

    def children_of_letter(self, c):
        e = self.table[8 * c:8 * c + 8]
        (ref,) = struct.unpack_from("<I", e, 4)
        if e[1] == 0:
            return e[0] != 0, []
        if e[1] == 1:
            return e[0] != 0, [ref]
        return e[0] != 0, self.link_indexes(ref, e[1])

    def lookup(self, w):
        """(exists, characters matched)"""
        if not w:
            return False, 0
        one, kids = self.children_of_letter(w[0])
        if len(w) == 1:
            return one, 1 if one or kids else 0
        if not kids:
            return False, 1 if one else 0
        length, i = 1, 1
        while True:
            hit = None
            for k in kids:
                if self.node(k)[0] == w[i]:
                    hit = k
                    break
            if hit is None:
                return False, length
            _, _, _, eow, extra = self.node(hit)
            length += 1
            if i == len(w) - 1:
                return eow, length
            i += 1
            for e in extra:
                if i >= len(w) or w[i] != e:
                    return False, length
                length += 1
                i += 1
            kids = self.children_of_node(hit)
            if i >= len(w) or not kids:
                return False, length

    def dump(self):
        out = []
        stack = [(k, b"") for k in reversed(self.children_of_node(0))]
        while stack:
            i, prefix = stack.pop()
            c, _, _, eow, extra = self.node(i)
            word = prefix + bytes([c])
            if eow:
                out.append(word)
            for k in reversed(self.children_of_node(i)):
                stack.append((k, word + extra))
        return out

    def check(self):
        assert self.total == self.nodes, "node count differs from the class counts"
        root = self.children_of_node(0)
        letters = [self.node(k)[0] for k in root]
        assert letters == sorted(set(letters)), "root children not ascending"
        for c in range(256):
            one, kids = self.children_of_letter(c)
            if c in letters:
                k = root[letters.index(c)]
                _, _, _, eow, extra = self.node(k)
                assert extra == b"", "a first-level node has extra characters"
                assert one == eow and kids == self.children_of_node(k), "table entry %d differs from the root" % c
            else:
                assert not one and not kids, "table entry %d without a root child" % c
        for i in range(self.total):
            cs = [self.node(k)[0] for k in self.children_of_node(i)]
            assert cs == sorted(set(cs)), "children of node %d not ascending" % i


def main():
    d = Lxm(open(sys.argv[1], "rb").read())
    mode = sys.argv[2]
    out = sys.stdout.buffer
    if mode == "lookup":
        for w in open(sys.argv[3], "rb").read().split(b"\n"):
            if w:
                e, n = d.lookup(w)
                out.write(b"%d %d\n" % (e, n))
    elif mode == "dump":
        for w in d.dump():
            out.write(w + b"\n")
    elif mode == "check":
        d.check()
        print("ok %s language=%d words=%d nodes=%d" % (d.title, d.language, d.words, d.nodes))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
