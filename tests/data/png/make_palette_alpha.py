#!/usr/bin/python3
# Writes palette-alpha.png beside this script: 120 x 80, a palette of red,
# black and blue with tRNS 128 and 255 (so only red is semi-transparent and
# blue, past the tRNS entries, is opaque), in three vertical bands. Drawn by
# each entry's own alpha over white, the bands show pink (255, 127, 127),
# black and blue.
import os
import struct
import zlib


def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))


W, H = 120, 80
rows = b''.join(b'\x00' + bytes(x * 3 // W for x in range(W)) for _ in range(H))
png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', W, H, 8, 3, 0, 0, 0)) +
       chunk(b'PLTE', bytes([255, 0, 0, 0, 0, 0, 0, 0, 255])) + chunk(b'tRNS', b'\x80\xff') +
       chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b''))
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), 'palette-alpha.png'), 'wb') as f:
    f.write(png)
