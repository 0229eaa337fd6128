#!/usr/bin/python3
# Writes crafted PNG files into OUTDIR for the decoder tests: valid files
# built in unusual ways, files with chunks a reader leaves out, transparency
# that keys on samples and palette entries, and broken files. The tests hold
# each beside libpng.
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


def ihdr(w=W, h=H, depth=8, ctype=2, comp=0, filt=0, inter=0, extra=b''):
    return chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, depth, ctype, comp, filt, inter) + extra)


def raw_rows(filter_byte=0):
    return b''.join(bytes([filter_byte]) + bytes(v for p in row for v in p) for row in PIXELS)


def rows_of(samples, width, depth=8):
    """Filter-0 rows of sample lists (one list a row), packed at DEPTH."""
    out = b''
    for row in samples:
        if depth >= 8:
            data = b''.join(s.to_bytes(depth // 8, 'big') for s in row)
        else:
            bits = ''.join(format(s, '0%db' % depth) for s in row)
            bits += '0' * (-len(bits) % 8)
            data = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
        out += b'\x00' + data
    return out


IEND = chunk(b'IEND', b'')


def main(out):
    files = {}
    data = zlib.compress(raw_rows())
    stride = 1 + 3 * W
    plain = SIG + ihdr() + chunk(b'IDAT', data) + IEND
    files['base'] = plain
    # The stream cut into pieces, one of them empty.
    a, b = len(data) // 3, 2 * len(data) // 3
    files['split_idat'] = SIG + ihdr() + chunk(b'IDAT', data[:a]) + chunk(b'IDAT', b'') + \
        chunk(b'IDAT', data[a:b]) + chunk(b'IDAT', data[b:]) + IEND
    # The last IDAT holds only the stream's check value.
    files['trailer_alone'] = SIG + ihdr() + chunk(b'IDAT', data[:-4]) + chunk(b'IDAT', data[-4:]) + IEND
    # Bytes after the stream's end inside the same chunk, more than one read.
    files['idat_tail'] = SIG + ihdr() + chunk(b'IDAT', data + bytes(70000)) + IEND
    # IDAT chunks after the stream's end, empty or not.
    files['idat_after_end'] = SIG + ihdr() + chunk(b'IDAT', data) + chunk(b'IDAT', b'') + \
        chunk(b'IDAT', b'more') + IEND
    files['idat_later'] = SIG + ihdr() + chunk(b'IDAT', data) + chunk(b'tEXt', b'a\x00b') + chunk(b'IDAT', b'') + IEND
    # More image data than the image: inflated, checked and dropped.
    files['too_much_data'] = SIG + ihdr() + chunk(b'IDAT', zlib.compress(raw_rows() + raw_rows()[:stride])) + IEND
    # Ancillary chunks: an unknown one is kept, cHRM dropped, texts read.
    files['ancillary'] = SIG + ihdr() + chunk(b'cHRM', bytes(32)) + chunk(b'abcD', b'kept') + \
        chunk(b'tEXt', b'Title\x00Hello') + chunk(b'tEXt', b'abc') + \
        chunk(b'zTXt', b'Note\x00\x00' + zlib.compress(b'packed text')) + \
        chunk(b'zTXt', b'Bomb\x00\x00' + zlib.compress(bytes(64 << 20), 9)) + chunk(b'IDAT', data) + IEND
    files['iend_data'] = SIG + ihdr() + chunk(b'IDAT', data) + chunk(b'IEND', b'x')
    # The widest image there is.
    files['width65535'] = SIG + ihdr(65535, 1, 1, 0) + chunk(b'IDAT', zlib.compress(b'\x00' + b'\xff' * 8192)) + IEND
    # Indices past a two-entry palette show black.
    pal_rows = b'\x00\x00\x01\x05'
    files['palette_past'] = SIG + ihdr(3, 1, 8, 3) + chunk(b'PLTE', bytes([255, 0, 0, 0, 255, 0])) + \
        chunk(b'IDAT', zlib.compress(pal_rows)) + IEND

    # Transparency. Red at alpha 128 beside opaque black.
    red_black = bytes([255, 0, 0, 0, 0, 0])
    pal_idat = chunk(b'IDAT', zlib.compress(rows_of([[0, 1, 1, 0], [1, 0, 0, 1]], 4)))
    files['palette_alpha'] = SIG + ihdr(4, 2, 8, 3) + chunk(b'PLTE', red_black) + chunk(b'tRNS', b'\x80\xff') + \
        pal_idat + IEND
    # Two entries of one colour, only the second transparent.
    twins = bytes([9, 99, 199, 9, 99, 199, 1, 2, 3])
    files['palette_twins'] = SIG + ihdr(3, 2, 2, 3) + chunk(b'PLTE', twins) + chunk(b'tRNS', b'\xff\x00') + \
        chunk(b'IDAT', zlib.compress(rows_of([[0, 1, 2], [1, 0, 2]], 3, 2))) + IEND
    # Sixteen-bit samples that share the key's high byte stay opaque.
    files['rgb16_key'] = SIG + ihdr(3, 1, 16, 2) + chunk(b'tRNS', struct.pack('>HHH', 0x1234, 0x5678, 0x9ABC)) + \
        chunk(b'IDAT', zlib.compress(rows_of([[0x1234, 0x5678, 0x9ABC, 0x12FF, 0x5678, 0x9ABC,
                                               0x1234, 0x5678, 0x9A00]], 3, 16))) + IEND
    files['grey16_key'] = SIG + ihdr(3, 1, 16, 0) + chunk(b'tRNS', b'\x12\x34') + \
        chunk(b'IDAT', zlib.compress(rows_of([[0x1234, 0x12FF, 0x1200]], 3, 16))) + IEND
    files['grey2_key'] = SIG + ihdr(4, 1, 2, 0) + chunk(b'tRNS', b'\x00\x02') + \
        chunk(b'IDAT', zlib.compress(rows_of([[0, 1, 2, 3]], 4, 2))) + IEND
    # With gamma, 254 shows as 255: the key of 255 still hides only 255.
    files['rgb_key_gamma'] = SIG + ihdr(2, 1, 8, 2) + chunk(b'gAMA', struct.pack('>I', 100000)) + \
        chunk(b'tRNS', struct.pack('>HHH', 255, 255, 255)) + \
        chunk(b'IDAT', zlib.compress(rows_of([[254, 254, 254, 255, 255, 255]], 2))) + IEND
    ga_rows = zlib.compress(rows_of([[10, 255, 128, 0, 200, 128, 255, 77]], 4))
    files['grey_alpha_gamma'] = SIG + ihdr(4, 1, 8, 4) + chunk(b'gAMA', struct.pack('>I', 100000)) + \
        chunk(b'IDAT', ga_rows) + IEND

    # Chunks a reader leaves out: they are not applied and not kept.
    pidat = chunk(b'IDAT', zlib.compress(rows_of([[0, 1, 1, 0], [1, 0, 0, 1]], 4)))
    plte = chunk(b'PLTE', red_black)
    ignored = {
        'trns_before_plte': SIG + ihdr(4, 2, 8, 3) + chunk(b'tRNS', b'\x00') + plte + pidat + IEND,
        'trns_after_idat': SIG + ihdr(4, 2, 8, 3) + plte + pidat + chunk(b'tRNS', b'\x00') + IEND,
        'trns_longer_than_plte': SIG + ihdr(4, 2, 8, 3) + plte + chunk(b'tRNS', b'\x00\x00\x00') + pidat + IEND,
        'trns_257': SIG + ihdr(4, 2, 8, 3) + plte + chunk(b'tRNS', bytes(257)) + pidat + IEND,
        'trns_empty': SIG + ihdr(4, 2, 8, 3) + plte + chunk(b'tRNS', b'') + pidat + IEND,
        'trns_twice': SIG + ihdr(4, 2, 8, 3) + plte + chunk(b'tRNS', b'\x80') + chunk(b'tRNS', b'\x00') + pidat + IEND,
        'trns_rgb_len4': SIG + ihdr() + chunk(b'tRNS', bytes(4)) + chunk(b'IDAT', data) + IEND,
        'trns_grey_alpha': SIG + ihdr(4, 1, 8, 4) + chunk(b'tRNS', bytes(2)) + chunk(b'IDAT', ga_rows) + IEND,
        'plte_in_grey': SIG + ihdr(4, 1, 8, 0) + plte + chunk(b'IDAT', zlib.compress(rows_of([[0, 1, 2, 3]], 4))) + IEND,
        'plte_after_idat': SIG + ihdr() + chunk(b'IDAT', data) + plte + IEND,
        'gama_twice': SIG + ihdr() + chunk(b'gAMA', struct.pack('>I', 100000)) + chunk(b'gAMA', struct.pack('>I', 45455)) +
        chunk(b'IDAT', data) + IEND,
        'gama_after_plte': SIG + ihdr(4, 2, 8, 3) + plte + chunk(b'gAMA', struct.pack('>I', 45455)) + pidat + IEND,
        'gama_len3': SIG + ihdr() + chunk(b'gAMA', b'\x00\x00\x01') + chunk(b'IDAT', data) + IEND,
    }
    files.update(ignored)

    # Broken files.
    files['sig_only'] = SIG
    files['cut_after_ihdr'] = SIG + ihdr()
    files['cut_in_idat'] = plain[:len(SIG) + 25 + 8 + len(data) // 2]
    files['cut_in_crc'] = plain[:len(SIG) + 25 + 8 + len(data) + 2]
    files['no_iend'] = SIG + ihdr() + chunk(b'IDAT', data)
    files['bad_crc_text'] = SIG + ihdr() + chunk(b'tEXt', b'a\x00b', crc=1) + chunk(b'IDAT', data) + IEND
    files['bad_crc_chrm'] = SIG + ihdr() + chunk(b'cHRM', bytes(32), crc=1) + chunk(b'IDAT', data) + IEND
    files['bad_crc_idat'] = SIG + ihdr() + chunk(b'IDAT', data, crc=1) + IEND
    files['bad_crc_split'] = SIG + ihdr() + chunk(b'IDAT', data[:a], crc=7) + chunk(b'IDAT', data[a:]) + IEND
    files['bad_crc_after_end'] = SIG + ihdr() + chunk(b'IDAT', data) + chunk(b'IDAT', b'', crc=5) + IEND
    files['huge_length'] = SIG + ihdr() + chunk(b'tEXt', b'a\x00b', length=0xFFFFFFF0) + chunk(b'IDAT', data) + IEND
    files['width65536'] = SIG + ihdr(65536, 1, 1, 0) + chunk(b'IDAT', data) + IEND
    files['width0'] = SIG + ihdr(0, 1) + chunk(b'IDAT', data) + IEND
    files['rgb_depth1'] = SIG + ihdr(depth=1) + chunk(b'IDAT', data) + IEND
    files['palette16'] = SIG + ihdr(depth=16, ctype=3) + chunk(b'IDAT', data) + IEND
    files['short_ihdr'] = SIG + chunk(b'IHDR', bytes(12)) + chunk(b'IDAT', data) + IEND
    files['long_ihdr'] = SIG + ihdr(extra=b'\x00') + chunk(b'IDAT', data) + IEND
    files['ihdr_twice'] = SIG + ihdr() + ihdr() + chunk(b'IDAT', data) + IEND
    files['filter_method1'] = SIG + ihdr(filt=1) + chunk(b'IDAT', data) + IEND
    files['compression1'] = SIG + ihdr(comp=1) + chunk(b'IDAT', data) + IEND
    files['interlace2'] = SIG + ihdr(inter=2) + chunk(b'IDAT', data) + IEND
    files['ihdr_second'] = SIG + chunk(b'tEXt', b'a\x00b') + ihdr() + chunk(b'IDAT', data) + IEND
    files['no_idat'] = SIG + ihdr() + IEND
    files['critical_unknown'] = SIG + ihdr() + chunk(b'ABCD', b'x') + chunk(b'IDAT', data) + IEND
    files['plte_len4'] = SIG + ihdr(3, 1, 8, 3) + chunk(b'PLTE', bytes(4)) + chunk(b'IDAT', data) + IEND
    files['plte_empty'] = SIG + ihdr(4, 2, 8, 3) + chunk(b'PLTE', b'') + pidat + IEND
    files['plte_twice'] = SIG + ihdr(4, 2, 8, 3) + plte + plte + pidat + IEND
    files['no_plte'] = SIG + ihdr(3, 1, 8, 3) + chunk(b'IDAT', zlib.compress(pal_rows)) + IEND
    files['idat_then_text'] = SIG + ihdr() + chunk(b'IDAT', data[:a]) + chunk(b'tEXt', b'a\x00b') + \
        chunk(b'IDAT', data[a:]) + IEND
    c = zlib.compressobj(zdict=b'dictionary')
    files['preset_dict'] = SIG + ihdr() + chunk(b'IDAT', c.compress(raw_rows()) + c.flush()) + IEND
    files['bad_deflate'] = SIG + ihdr() + chunk(b'IDAT', data[:2] + b'\xff' * (len(data) - 2)) + IEND
    rows = bytearray(raw_rows())
    rows[stride] = 5
    files['filter5'] = SIG + ihdr() + chunk(b'IDAT', zlib.compress(bytes(rows))) + IEND
    # Image data that ends early: the stream ends after two rows, the stream
    # lacks its end, or its check value is wrong.
    files['short_stream'] = SIG + ihdr() + chunk(b'IDAT', zlib.compress(raw_rows()[:2 * stride])) + IEND
    files['no_check_value'] = SIG + ihdr() + chunk(b'IDAT', data[:-4]) + IEND
    z = zlib.compressobj()
    files['no_stream_end'] = SIG + ihdr() + chunk(b'IDAT', z.compress(raw_rows()) + z.flush(zlib.Z_SYNC_FLUSH)) + IEND
    files['bad_check_value'] = SIG + ihdr() + chunk(b'IDAT', data[:-1] + bytes([data[-1] ^ 1])) + IEND
    # Sixty-nine bytes that say 16383 x 16383 at 16 bits a sample.
    files['tiny_huge'] = SIG + ihdr(16383, 16383, 16, 2) + chunk(b'IDAT', zlib.compress(b'\x00' * 10)) + IEND

    for name, content in files.items():
        with open(os.path.join(out, name + '.png'), 'wb') as f:
            f.write(content)


if __name__ == '__main__':
    main(sys.argv[1])
