#!/usr/bin/python3
# Writes crafted PNG files into OUTDIR for the decoder tests: valid files
# built in unusual ways (with NAME.rgba beside them: five bytes a pixel, top
# row first, as oracle.py writes them) and broken ones.
import os
import struct
import sys
import zlib

W, H = 5, 4
PIXELS = [[((x * 50 + y * 7) % 256, (y * 60 + 3) % 256, (x * y * 11 + 9) % 256) for x in range(W)] for y in range(H)]
SIG = b'\x89PNG\r\n\x1a\n'


def chunk(kind, data, crc=None, length=None):
    c = zlib.crc32(kind + data) if crc is None else crc
    return struct.pack('>I', len(data) if length is None else length) + kind + data + struct.pack('>I', c)


def ihdr(w=W, h=H, depth=8, ctype=2, comp=0, filt=0, inter=0):
    return chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, depth, ctype, comp, filt, inter))


def raw_rows(filter_byte=0):
    return b''.join(bytes([filter_byte]) + bytes(v for p in row for v in p) for row in PIXELS)


def dump(pixels):
    return b''.join(bytes(p) + b'\xff\x00' for row in pixels for p in row)


IEND = chunk(b'IEND', b'')


def main(out):
    files = {}
    expect = {}
    data = zlib.compress(raw_rows())
    plain = SIG + ihdr() + chunk(b'IDAT', data) + IEND
    files['base'] = plain
    expect['base'] = dump(PIXELS)
    # The stream cut into pieces, one of them empty.
    a, b = len(data) // 3, 2 * len(data) // 3
    files['split_idat'] = SIG + ihdr() + chunk(b'IDAT', data[:a]) + chunk(b'IDAT', b'') + \
        chunk(b'IDAT', data[a:b]) + chunk(b'IDAT', data[b:]) + IEND
    expect['split_idat'] = expect['base']
    # The last IDAT holds only the stream's check value.
    files['trailer_alone'] = SIG + ihdr() + chunk(b'IDAT', data[:-4]) + chunk(b'IDAT', data[-4:]) + IEND
    expect['trailer_alone'] = expect['base']
    # Bytes after the stream's end inside the same chunk, more than one read.
    files['idat_tail'] = SIG + ihdr() + chunk(b'IDAT', data + bytes(70000)) + IEND
    expect['idat_tail'] = expect['base']
    # Ancillary chunks: an unknown one is kept, cHRM dropped, texts read.
    files['ancillary'] = SIG + ihdr() + chunk(b'cHRM', bytes(32)) + chunk(b'abcD', b'kept') + \
        chunk(b'tEXt', b'Title\x00Hello') + chunk(b'tEXt', b'abc') + \
        chunk(b'zTXt', b'Note\x00\x00' + zlib.compress(b'packed text')) + \
        chunk(b'zTXt', b'Bomb\x00\x00' + zlib.compress(bytes(64 << 20), 9)) + chunk(b'IDAT', data) + IEND
    expect['ancillary'] = expect['base']
    # Filter type 7 leaves its row as it is.
    rows = bytearray(raw_rows())
    stride = 1 + 3 * W
    rows[stride] = 7
    files['filter7'] = SIG + ihdr() + chunk(b'IDAT', zlib.compress(bytes(rows))) + IEND
    expect['filter7'] = expect['base']
    # The stream ends after two rows: the others stay zero.
    files['short_stream'] = SIG + ihdr() + chunk(b'IDAT', zlib.compress(raw_rows()[:2 * stride])) + IEND
    expect['short_stream'] = dump(PIXELS[:2] + [[(0, 0, 0)] * W] * (H - 2))
    # The widest image there is.
    files['width65535'] = SIG + ihdr(65535, 1, 1, 0) + chunk(b'IDAT', zlib.compress(b'\x00' + b'\xff' * 8192)) + IEND
    # Indices past a two-entry palette show black.
    pal_rows = b'\x00\x00\x01\x05'
    files['palette_past'] = SIG + ihdr(3, 1, 8, 3) + chunk(b'PLTE', bytes([255, 0, 0, 0, 255, 0])) + \
        chunk(b'IDAT', zlib.compress(pal_rows)) + IEND
    expect['palette_past'] = dump([[(255, 0, 0), (0, 255, 0), (0, 0, 0)]])
    # 16-bit grey whose transparent sample is 0x4000.
    files['grey16_trns'] = SIG + ihdr(1, 1, 16, 0) + chunk(b'tRNS', b'\x40\x00') + \
        chunk(b'IDAT', zlib.compress(b'\x00\x40\x00')) + IEND

    # Broken files.
    files['sig_only'] = SIG
    files['cut_after_ihdr'] = SIG + ihdr()
    files['cut_in_idat'] = plain[:len(SIG) + 25 + 8 + len(data) // 2]
    files['bad_crc_text'] = SIG + ihdr() + chunk(b'tEXt', b'a\x00b', crc=1) + chunk(b'IDAT', data) + IEND
    files['bad_crc_idat'] = SIG + ihdr() + chunk(b'IDAT', data, crc=1) + IEND
    files['bad_crc_split'] = SIG + ihdr() + chunk(b'IDAT', data[:a], crc=7) + chunk(b'IDAT', data[a:]) + IEND
    files['huge_length'] = SIG + ihdr() + chunk(b'tEXt', b'a\x00b', length=0xFFFFFFF0) + chunk(b'IDAT', data) + IEND
    files['width65536'] = SIG + ihdr(65536, 1, 1, 0) + chunk(b'IDAT', data) + IEND
    files['width0'] = SIG + ihdr(0, 1) + chunk(b'IDAT', data) + IEND
    files['huge_area'] = SIG + ihdr(65535, 65535, 16, 6) + chunk(b'IDAT', data) + IEND
    files['rgb_depth1'] = SIG + ihdr(depth=1) + chunk(b'IDAT', data) + IEND
    files['palette16'] = SIG + ihdr(depth=16, ctype=3) + chunk(b'IDAT', data) + IEND
    files['short_ihdr'] = SIG + chunk(b'IHDR', bytes(12)) + chunk(b'IDAT', data) + IEND
    files['compression1'] = SIG + ihdr(comp=1) + chunk(b'IDAT', data) + IEND
    files['interlace2'] = SIG + ihdr(inter=2) + chunk(b'IDAT', data) + IEND
    files['ihdr_second'] = SIG + chunk(b'tEXt', b'a\x00b') + ihdr() + chunk(b'IDAT', data) + IEND
    files['no_idat'] = SIG + ihdr() + IEND
    files['critical_unknown'] = SIG + ihdr() + chunk(b'ABCD', b'x') + chunk(b'IDAT', data) + IEND
    files['plte_len4'] = SIG + ihdr(3, 1, 8, 3) + chunk(b'PLTE', bytes(4)) + chunk(b'IDAT', data) + IEND
    files['trns_len257'] = SIG + ihdr(3, 1, 8, 3) + chunk(b'PLTE', bytes(6)) + chunk(b'tRNS', bytes(257)) + \
        chunk(b'IDAT', zlib.compress(pal_rows)) + IEND
    files['no_plte'] = SIG + ihdr(3, 1, 8, 3) + chunk(b'IDAT', zlib.compress(pal_rows)) + IEND
    files['idat_then_text'] = SIG + ihdr() + chunk(b'IDAT', data[:a]) + chunk(b'tEXt', b'a\x00b') + \
        chunk(b'IDAT', data[a:]) + IEND
    c = zlib.compressobj(zdict=b'dictionary')
    files['preset_dict'] = SIG + ihdr() + chunk(b'IDAT', c.compress(raw_rows()) + c.flush()) + IEND
    files['bad_deflate'] = SIG + ihdr() + chunk(b'IDAT', data[:2] + b'\xff' * (len(data) - 2)) + IEND

    for name, content in files.items():
        with open(os.path.join(out, name + '.png'), 'wb') as f:
            f.write(content)
    for name, content in expect.items():
        with open(os.path.join(out, name + '.rgba'), 'wb') as f:
            f.write(content)


if __name__ == '__main__':
    main(sys.argv[1])
