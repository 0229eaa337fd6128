# Python's own decoding of every byte of the given code pages, one line per
# byte: "page byte codepoint", codepoint -1 where the code page leaves the
# byte undefined.
import sys

for page in sys.argv[1:]:
    for b in range(256):
        try:
            code = ord(bytes([b]).decode("cp" + page))
        except UnicodeDecodeError:
            code = -1
        print(page, b, code)
