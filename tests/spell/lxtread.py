#!/usr/bin/env python3
"""A second reader of thesaurus files, written apart from the C++ one from
the file layout alone, and a reader of the MyThes data the build compiles
them from, so that both can be held against the C++ reader.

Output is Windows-1252 bytes, one line per word.

  lxtread.py LXT dump      every word of the tree, spelt by walking down
                           from the root, in the tree's order, followed by
                           its contexts: TAB context word, kind, kind name
                           and the four lists (words joined by "|"), the
                           fields of a context separated by US (0x1f)
  lxtread.py LXT check     checks the promises the layout leaves to its
                           writer and prints the name and the counts
  lxtread.py mythes DATA   the meanings a headword may show: for every
                           single-word headword, one line per meaning that
                           keeps a word, in the data's order: "headword TAB
                           kind TAB words" (the headword, then synonyms,
                           similar, related and generic terms; no antonyms,
                           no phrases)
"""
import struct
import sys

HEADER = 165
ENDS_WORD, HAS_TAIL, HAS_PARENT, ONE_CHILD = 1 << 23, 1 << 22, 1 << 21, 1 << 20
US = b"\x1f"


class Lxt:
    def __init__(self, data):
        self.d = data
        p = HEADER
        self.name, p = self.text(p)
        self.kinds = []
        for _ in range(5):
            k, p = self.text(p)
            self.kinds.append(k)
        (self.n,) = struct.unpack_from("<I", data, p)
        self.words = struct.unpack_from("<%dI" % self.n, data, p + 4)
        p += 4 + 4 * self.n
        (size,) = struct.unpack_from("<I", data, p)
        self.links = data[p + 4:p + 4 + size]
        p += 4 + size
        (self.m,) = struct.unpack_from("<H", data, p)
        self.master = [struct.unpack_from("<5HI", data, p + 2 + 14 * e) for e in range(self.m)]
        p += 2 + 14 * self.m
        (size,) = struct.unpack_from("<I", data, p)
        self.index = data[p + 4:p + 4 + size]
        if len(self.index) != size:
            raise ValueError("index data cut short")

    def text(self, p):
        n = self.d[p]
        return self.d[p + 1:p + 1 + n], p + 1 + n

    def u16(self, p):
        return struct.unpack_from("<H", self.links, p)[0]

    def node(self, i):
        """(character, flags, children, parent or None, links)"""
        v = self.words[i]
        p = v & 0xFFFFF
        if v & ONE_CHILD:
            kids = [self.u16(p)]
            p += 2
        else:
            c = self.links[p]
            kids = [self.u16(p + 1 + 2 * k) for k in range(c)]
            p += 1 + 2 * c
        parent = None
        if v & HAS_PARENT:
            parent = self.u16(p)
            p += 2
        links = []
        if v & (ENDS_WORD | HAS_TAIL):
            c = self.links[p]
            links = [self.u16(p + 1 + 2 * k) for k in range(c)]
        return v >> 24, v & 0xF00000, kids, parent, links

    def tail(self, i):
        out = bytearray()
        kids = self.node(i)[2]
        while kids:
            ch, flags, k, _, _ = self.node(kids[0])
            out.append(ch)
            kids = k if flags & ONE_CHILD else []
        return bytes(out)

    def walk(self):
        """(word, node) for every word, depth first from the root."""
        stack = [(0, b"")]
        while stack:
            i, prefix = stack.pop()
            ch, flags, kids, _, _ = self.node(i)
            word = prefix + bytes([ch]) if i else b""
            if flags & HAS_TAIL:
                yield word + self.tail(i), i
                continue
            if flags & ENDS_WORD:
                yield word, i
            for k in reversed(kids):
                stack.append((k, word))

    def entry(self, link, spelt):
        head, *counts, offset = self.master[link // 5]
        lists, p = [], offset
        for c in counts:
            lists.append(b"|".join(spelt[struct.unpack_from("<H", self.index, p + 2 * j)[0]] for j in range(c)))
            p += 2 * c
        kind = link % 5
        return US.join([spelt[head], str(kind).encode(), self.kinds[kind]] + lists)


def load(name):
    with open(name, "rb") as f:
        return Lxt(f.read())


def dump(t, out):
    found = list(t.walk())
    spelt = {i: w for w, i in found}
    for w, i in found:
        out.write(b"\t".join([w] + [t.entry(l, spelt) for l in t.node(i)[4]]) + b"\n")


def check(t, out):
    """The writer's side of the layout: a tail node ends no word itself,
    every node spelt from below the first level names its parent, the first
    level does not, and every list and headword names a word's node."""
    found = list(t.walk())
    spelt = {i: w for w, i in found}

    def fail(why):
        raise SystemExit("check failed: " + why)

    def depth_ok(i, word):
        ch, flags, _, parent, _ = t.node(i)
        if flags & ENDS_WORD and flags & HAS_TAIL:
            fail("node %d both ends a word and has a tail" % i)
        # climb the parents; they must spell the word's head
        head = bytearray([ch])
        seen = 0
        while parent not in (None, 0):
            seen += 1
            if seen > 300:
                fail("parent chain of node %d does not end" % i)
            ch, _, _, parent, _ = t.node(parent)
            head[0:0] = bytes([ch])
        tail = t.tail(i) if flags & HAS_TAIL else b""
        if bytes(head) + tail != word:
            fail("node %d spells %r upwards, %r downwards" % (i, bytes(head) + tail, word))

    for w, i in found:
        depth_ok(i, w)
    for head, *_ in t.master:
        if head not in spelt:
            fail("a headword names node %d, which ends no word" % head)
    for e in range(t.m):
        offset, count = t.master[e][5], sum(t.master[e][1:5])
        for j in range(count):
            if struct.unpack_from("<H", t.index, offset + 2 * j)[0] not in spelt:
                fail("entry %d lists a node that ends no word" % e)
    out.write(b"%s %d %d %d\n" % (t.name, t.n, t.m, len(found)))


POS = {"(noun)": 1, "(verb)": 2, "(adj)": 3, "(adv)": 4}


def cp1252(s):
    try:
        return s.encode("cp1252")
    except UnicodeEncodeError:
        return None


def mythes(name):
    """(headword, [(kind, [headword, words...])]) for every single-word
    headword with a meaning that keeps a word, in file order; meanings in
    file order."""
    out = []
    with open(name, encoding="utf-8") as f:
        if f.readline().strip() != "UTF-8":
            raise SystemExit("not a UTF-8 MyThes file")
        for line in f:
            head, n = line.rstrip("\n").rsplit("|", 1)
            meanings = [f.readline().rstrip("\n").split("|") for _ in range(int(n))]
            h = cp1252(head) if " " not in head else None
            if h is None:
                continue
            kept = []
            for pos, *syns in meanings:
                if pos not in POS:
                    continue
                words = [h]
                for s in syns:
                    if s.endswith(" (antonym)"):
                        continue
                    for note in (" (similar term)", " (related term)", " (generic term)"):
                        if s.endswith(note):
                            s = s[:-len(note)]
                    b = cp1252(s) if s and " " not in s else None
                    if b is not None and b not in words:
                        words.append(b)
                if len(words) > 1:
                    kept.append((POS[pos], words))
            if kept:
                out.append((h, kept))
    return out


def expected(name, out):
    for head, meanings in mythes(name):
        for kind, words in meanings:
            out.write(b"%s\t%d\t%s\n" % (head, kind, b"|".join(words)))


def main():
    out = sys.stdout.buffer
    if len(sys.argv) == 3 and sys.argv[1] == "mythes":
        expected(sys.argv[2], out)
    elif len(sys.argv) == 3 and sys.argv[2] == "dump":
        dump(load(sys.argv[1]), out)
    elif len(sys.argv) == 3 and sys.argv[2] == "check":
        check(load(sys.argv[1]), out)
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main()
