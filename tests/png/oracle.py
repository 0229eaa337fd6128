#!/usr/bin/python3
# Pixel oracle for the decoder tests: reads each PNG with Python's png module
# (raw samples) and writes OUTDIR/NAME.rgba with five bytes a pixel, top row
# first: the red, green and blue the picture shows, its alpha (255 without
# an alpha channel) and the low byte of a 16-bit grey sample (else 0).
# Colours pass through the same gamma rule the picture applies:
# 255 * (i / 255) ^ (1 / (g / 100000 * 2.2)), rounded half to even.
import math
import os
import sys

import png


def gamma_table(g):
    if not g:
        return list(range(256))
    y = 1.0 / (g / 100000.0 * 2.2)
    return [min(255, max(0, round(255.0 * (0.0 if i == 0 else math.exp(y * math.log(i / 255.0))))))
            for i in range(256)]


def gama_value(path):
    for kind, data in png.Reader(filename=path).chunks():
        if kind == b'gAMA':
            return int.from_bytes(data, 'big') if len(data) == 4 else 1
        if kind == b'IDAT':
            break
    return 0


def dump(path, out):
    w, h, rows, info = png.Reader(filename=path).read()
    depth = info['bitdepth']
    table = gamma_table(gama_value(path))
    planes = info['planes']
    palette = info.get('palette')
    top = (1 << depth) - 1
    res = bytearray()
    for row in rows:
        row = list(row)
        for x in range(w):
            px = row[x * planes:(x + 1) * planes]
            low = 0
            if palette is not None and planes == 1 and not info['greyscale']:
                # An index past the palette shows black.
                r, g, b = palette[px[0]][:3] if px[0] < len(palette) else (0, 0, 0)
                rgb, a = (table[r], table[g], table[b]), 255
            elif info['greyscale']:
                s = px[0]
                if depth == 16:
                    v, low = s >> 8, s & 0xFF
                else:
                    v = s * 255 // top
                v = table[v]
                rgb = (v, v, v)
                a = (px[1] >> 8 if depth == 16 else px[1]) if info['alpha'] else 255
            else:
                hi = [c >> 8 if depth == 16 else c for c in px]
                rgb = tuple(table[c] for c in hi[:3])
                a = hi[3] if info['alpha'] else 255
            res += bytes(rgb) + bytes([a, low])
    with open(out, 'wb') as f:
        f.write(res)


if __name__ == '__main__':
    outdir = sys.argv[1]
    for p in sys.argv[2:]:
        dump(p, os.path.join(outdir, os.path.basename(p)[:-4] + '.rgba'))
