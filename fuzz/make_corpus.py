#!/usr/bin/env python3
"""Writes the seed corpus of the carve fuzz target to fuzz/corpus/carve/.
Each seed is a mode byte, a failure byte, then a small container."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SIG = b"\x89PNG\r\n\x1a\n"


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + b"\xc0\xff\xee\x42"


def png(pixels=b"pixels"):
    return SIG + chunk(b"IHDR", bytes(13)) + chunk(b"IDAT", pixels) + chunk(b"IEND", b"")


SEEDS = {
    "empty": b"",
    "one_png": png(),
    "between_filler": b"QVZ0" * 5 + png() + b"\x00" * 10 + png(b"more"),
    "broken_match_137": b"\x89P" + png(),
    "run_of_137": b"\x89" * 4 + png(),
    "cut_in_data": png()[:30],
    "signature_only": SIG,
    "wrapping_length": SIG + struct.pack(">I", 0xFFFFFFFF) + b"wrap" + b"abc" + chunk(b"IEND", b""),
    "wild_length": SIG + struct.pack(">I", 0x7FFFFFFF) + b"wild" + png(),
    "false_start_in_code": SIG + b"\x48\x39\x2a\x75IDA\xc1" + b"\x48\x8b" + png(),
    "split_in_data": png(b"x" * 40)[:61] + b"page" + png(b"x" * 40)[61:] + png(),
    "mixed_case_types": SIG + chunk(b"tEXt", b"key") + chunk(b"iTXt", b"") + chunk(b"IEND", b""),
    "iend_with_data": SIG + chunk(b"IEND", b"tail") + b"Z",
    "nested": png(png()) + png(),
    "split_over_pngs": png(b"x" * 40)[:61] + b"page" + png() + png(b"more") + png(b"x" * 40)[61:],
    "signature_from_bad_header": SIG + b"\0\0\0\x05ab" + png(),
    "signature_from_iend_crc": SIG + b"\0\0\0\0IEND\xc0\xff" + png(),
}


def main():
    out = os.path.join(HERE, "corpus", "carve")
    os.makedirs(out, exist_ok=True)
    for name, container in SEEDS.items():
        for mode, fail in ((0, 0), (7, 0), (3, 0), (20, 200)):
            with open(os.path.join(out, "%s_%d_%d" % (name, mode, fail)), "wb") as f:
                f.write(bytes([mode, fail]) + container)


if __name__ == "__main__":
    main()
