#!/usr/bin/python3
# Makes the damaged and hostile archives of tests/data/zip/damaged: each
# small, each showing one way an archive can lie. Run from anywhere:
#   /usr/bin/python3 tests/data/zip/make-damaged.py
import io
import os
import struct
import zipfile
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "damaged")
WHEN = (2020, 5, 17, 10, 20, 30)


def archive(entries, method=zipfile.ZIP_DEFLATED):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", method) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, WHEN)
            info.compress_type = method
            z.writestr(info, data)
    return bytearray(buf.getvalue())


def end_at(b):
    return b.rfind(b"PK\x05\x06")


def save(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(bytes(data))


def text(i):
    return ("entry %d: " % i + "the quick brown fox %d jumps; " % (i * 7919 % 1000) * (20 + i % 9)).encode()


def local_header(name, method, crc, csize, usize, flags=0):
    n = name.encode()
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, 0x5000, 0x50B1, crc, csize, usize, len(n), 0) + n


def central_header(name, method, crc, csize, usize, offset):
    n = name.encode()
    return (struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, 0x5000, 0x50B1, crc, csize, usize,
                        len(n), 0, 0, 0, 0, 0, offset) + n)


def end_record(count, size, offset, comment=b"", comment_length=None):
    length = len(comment) if comment_length is None else comment_length
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, size, offset, length) + comment


def raw_deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def overlap_full():
    # One local entry, ten central entries naming it: 10 MB from a few KB.
    data = b"\0" * (1 << 20)
    packed = raw_deflate(data)
    crc = zlib.crc32(data)
    out = local_header("kernel", 8, crc, len(packed), len(data)) + packed
    cd = b"".join(central_header("copy%d" % i, 8, crc, len(packed), len(data), 0) for i in range(10))
    return out + cd + end_record(10, len(cd), len(out))


def overlap_quoted(files=8):
    # Each entry's data quote the next entry's local header in a stored
    # block, then run on into that entry's data: every entry overlaps the
    # next, and all of them end in one shared deflate stream.
    names = ["f%d" % i for i in range(files)]
    data = [None] * files
    plain = [None] * files
    head = [None] * files
    plain[-1] = b"\0" * (1 << 18)
    data[-1] = raw_deflate(plain[-1])
    for i in range(files - 1, -1, -1):
        head[i] = local_header(names[i], 8, zlib.crc32(plain[i]), len(data[i]), len(plain[i]))
        if i:
            quote = head[i]
            data[i - 1] = struct.pack("<BHH", 0, len(quote), len(quote) ^ 0xFFFF) + quote + data[i]
            plain[i - 1] = quote + plain[i]
    offsets = [0]
    for i in range(1, files):
        offsets.append(offsets[-1] + len(head[i - 1]) + 5)
    out = head[0] + data[0]
    cd = b"".join(central_header(names[i], 8, zlib.crc32(plain[i]), len(data[i]), len(plain[i]), offsets[i])
                  for i in range(files))
    return out + cd + end_record(files, len(cd), len(out))


def main():
    os.makedirs(OUT, exist_ok=True)
    # 35 entries, cut in the middle: the directory and half the entries gone.
    whole = archive([("page%02d.htm" % i, text(i)) for i in range(35)])
    save("cut.zip", whole[: len(whole) // 2])

    save("overlap-full.zip", overlap_full())
    save("overlap-quoted.zip", overlap_quoted())

    # Local headers hold shown.txt and hidden.exe; the directory only the first.
    two = archive([("shown.txt", b"what every reader lists\n"), ("hidden.exe", b"MZ what no reader may list\n")])
    e = end_at(two)
    cd_size, cd_off = struct.unpack_from("<II", two, e + 12)
    second = two.find(b"PK\x01\x02", cd_off + 4)
    first_cd = two[cd_off:second]
    save("hidden.zip", two[:cd_off] + first_cd + end_record(1, len(first_cd), cd_off))

    # The directory names shown.txt, its local header hidden.exe (same length).
    one = archive([("shown.txt", b"payload\n")])
    at = one.find(b"shown.txt")
    one[at: at + 9] = b"hiddn.exe"
    save("local-name.zip", one)
    # The local header gives another size than the directory.
    one = archive([("sizes.txt", b"payload with sizes\n")])
    struct.pack_into("<I", one, 18, struct.unpack_from("<I", one, 18)[0] + 1)
    save("local-size.zip", one)

    # End records that lie about the directory.
    two = archive([("a.txt", b"alpha\n"), ("b.txt", b"beta\n")])
    e = end_at(two)
    bad = bytearray(two)
    struct.pack_into("<HH", bad, e + 8, 0xFFFF, 0xFFFF)
    save("count-ffff.zip", bad)
    bad = bytearray(two)
    struct.pack_into("<HH", bad, e + 8, 1, 1)
    save("count-short.zip", bad)
    bad = bytearray(two)
    struct.pack_into("<H", bad, e + 20, 40)
    save("comment-past.zip", bad)
    # A zip64 end record counting 2^32-1 entries.
    cd_size, cd_off = struct.unpack_from("<II", two, e + 12)
    z64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, cd_size, cd_off)
    loc = struct.pack("<IIQI", 0x07064B50, 0, e, 1)
    save("zip64-count.zip", two[:e] + z64 + loc + end_record(0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF))

    # Methods this engine does not decode, which it must name.
    save("bzip2.zip", archive([("b.txt", b"bzip2 " * 50)], zipfile.ZIP_BZIP2))
    save("lzma.zip", archive([("l.txt", b"lzma " * 50)], zipfile.ZIP_LZMA))


if __name__ == "__main__":
    main()
