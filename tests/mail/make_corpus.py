#!/usr/bin/python3
"""Writes the seed corpora of the codec fuzz targets into corpus/<target>/.

Run again after changing a seed; the files are kept in the repository.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u16(text):
    return text.encode("utf-16-le")


def challenge(target=b"", info=b"", target_at=None, info_at=None, size=None):
    """A type-2 message; field offsets default to where the data really is."""
    target_at = 48 if target_at is None else target_at
    info_at = 48 + len(target) if info_at is None else info_at
    msg = (b"NTLMSSP\0" + struct.pack("<I", 2)
           + struct.pack("<HHI", len(target), len(target), target_at)
           + struct.pack("<I", 0x8201) + bytes.fromhex("0123456789abcdef") + b"\0" * 8
           + struct.pack("<HHI", len(info), len(info), info_at) + target + info)
    return msg if size is None else msg[:size]


def entry(kind, value):
    return struct.pack("<HH", kind, len(value)) + value


INFO = entry(2, u16("DOMAIN")) + entry(1, u16("SERVER")) + entry(4, u16("domain.test")) + entry(0, b"")

SEEDS = {
    "base64_decode": {
        "rfc4648": b"Zm9vYmFy",
        "crlf_segments": b"Zg==\r\nZm8=\r\nZm9vYmFy\r\n",
        "cut_group": b"Zm9vYg",
        "one_char": b"Z",
        "pads_only": b"====",
        "junk_and_8bit": b"Zm 9v\tYm*Fy\xff\x80=",
        "binary": bytes(range(256)),
    },
    "qp_decode": {
        "escapes": b"a=3Db=C3=A9 c",
        "soft_breaks": b"ab=\r\ncd=\nef",
        "equals_at_end": b"abc=",
        "escape_cut": b"abc=4",
        "bad_hex": b"=ZZ",
        "lower_hex": b"=3d=e9",
        "cr_at_end": b"x=\r",
        "long_line": b"x" * 200 + b" \r\n.",
        "binary": bytes(range(256)),
    },
    "header_codec": {
        "utf8_b_fold": bytes([76, 3]) + "Grüße aus Köln – €𝄞 日本".encode() * 3,
        "utf8_q_fold": bytes([25, 2]) + "Jürgen (Sales), Ltd. <a@b> ?=_".encode() * 2,
        "ascii_b_nofold": bytes([40, 1]) + b"x" * 120,
        "address_list": bytes([76, 0]) + b"To: " + b"person@example.com, " * 8,
        "quotes_and_breaks": bytes([10, 2]) + b'"a b c" d\r\n\te,f;g>h]i \r\n j' + b" " * 30,
        "cut_utf8": bytes([30, 3]) + b"\xe2\x82\xac\xe2\x82 \xf0\x9d\x84\x9e\xf0\xc3",
        "zero_column": bytes([0, 3]) + b"a b c d e",
    },
    "ntlm_challenge": {
        "with_target_info": challenge(u16("DOMAIN"), INFO),
        "no_target_info_32": challenge(size=32),
        "context_40": challenge(size=40),
        "short_31": challenge(size=31),
        "header_only": challenge(),
        "offsets_outside": challenge(u16("DOMAIN"), INFO, target_at=0xFFFFFFF0, info_at=0xFFFFFFFF),
        "lengths_past_end": challenge(u16("DOMAIN"), INFO)[:70],
        "entry_too_long": challenge(b"", entry(2, b"ab") + struct.pack("<HH", 1, 0x7FFF) + b"xy"),
        "junk": b"NTLMSSP\0" + bytes(range(200)),
    },
}


def main():
    for target, seeds in SEEDS.items():
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
