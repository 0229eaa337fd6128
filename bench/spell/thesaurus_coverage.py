#!/usr/bin/env python3
"""How many of the commonest English content words a thesaurus file finds.

  thesaurus_coverage.py LXT MYTHES FREQUENCIES [N]

FREQUENCIES is a word list in order of frequency, commonest first: one word
a line (a first column of a TSV is taken), or a JSON array of {"word": ...}
(as the SUBTLEX-US word frequencies are published). The N (default 1,000)
commonest lower-case words that are no function words and that the MyThes
data knows as headwords are looked up as the program would (the word, else
its lower-case form); the share found is printed, with the misses.
"""
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
READER = os.path.join(HERE, "..", "..", "tests", "spell", "lxtread.py")

FUNCTION_WORDS = set("""
a about above after again against all also am an and any are aren as at be because been before being below
between both but by can cannot could couldn d did didn do does doesn doing don down during each either
few for from further had hadn has hasn have haven having he her here hers herself him himself his how i if
in into is isn it its itself just ll m me mine more most mustn my myself neither no nor not now o of off on
once only or other our ours ourselves out over own re s same shan she should shouldn so some such t than that
the their theirs them themselves then there these they this those through to too under until up upon us ve
very was wasn we were weren what when where which while who whom whose why will with won would wouldn y you
your yours yourself yourselves
""".split())


def frequencies(name):
    with open(name, encoding="utf-8") as f:
        text = f.read()
    if text.lstrip().startswith("["):
        return [e["word"] for e in json.loads(text)]
    return [line.split("\t")[0].strip() for line in text.splitlines() if line.strip()]


def headwords(name):
    out = set()
    with open(name, encoding="utf-8") as f:
        f.readline()
        for line in f:
            head, n = line.rstrip("\n").rsplit("|", 1)
            for _ in range(int(n)):
                f.readline()
            out.add(head)
    return out


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    lxt, data, freq = sys.argv[1:4]
    n = int(sys.argv[4]) if len(sys.argv) == 5 else 1000
    known = headwords(data)
    dump = subprocess.run([sys.executable, READER, lxt, "dump"], check=True, capture_output=True).stdout
    found = {line.split(b"\t")[0].decode("cp1252") for line in dump.splitlines() if b"\t" in line}
    words = []
    for w in frequencies(freq):
        if w == w.lower() and w.isalpha() and w not in FUNCTION_WORDS and w in known and w not in words:
            words.append(w)
        if len(words) == n:
            break
    misses = [w for w in words if w not in found]
    print("%s: %d of the %d commonest content words MyThes knows are found (%.1f%%)"
          % (os.path.basename(lxt), len(words) - len(misses), len(words), 100.0 * (len(words) - len(misses)) / len(words)))
    print("not found:", " ".join(misses))


if __name__ == "__main__":
    main()
