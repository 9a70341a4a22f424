#!/usr/bin/env python3
"""Makes samples/sample.qvz: three small PNG images of the project's own,
stored as plain bytes between filler, as an application archive might hold
them. Also writes each image to samples/expected/ so that a run over the
container can be checked byte for byte. Deterministic: rerunning it gives
the same files."""

import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png(width, height, pixel):
    """An 8-bit RGB image whose pixels come from pixel(x, y)."""
    rows = b"".join(
        b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height)
    )
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + chunk(b"tEXt", b"Comment\x00made for qvz2png's sample container")
        + chunk(b"IDAT", zlib.compress(rows, 9))
        + chunk(b"IEND", b"")
    )


def main():
    rng = random.Random(2026)
    images = [
        png(16, 16, lambda x, y: (x * 16, y * 16, 128)),
        png(24, 8, lambda x, y: (255, 160, 0) if (x // 4 + y // 4) % 2 else (20, 20, 80)),
        png(8, 8, lambda x, y: (0, 200 - 20 * y, 20 * x)),
    ]

    def filler(size):
        # Random bytes with no 137, plus a few decoys: lone 137s and a
        # signature broken after four bytes.
        data = bytearray(rng.choice([b for b in range(256) if b != 137]) for _ in range(size))
        data[size // 3 : size // 3 + 5] = b"\x89PNG\x00"
        data[size // 2] = 137
        return bytes(data)

    container = b"QVZ0" + filler(300)
    os.makedirs(os.path.join(HERE, "expected"), exist_ok=True)
    for number, image in enumerate(images, start=1):
        container += image + filler(200 + 50 * number)
        with open(os.path.join(HERE, "expected", "DMP%05d.png" % number), "wb") as f:
            f.write(image)
    with open(os.path.join(HERE, "sample.qvz"), "wb") as f:
        f.write(container)


if __name__ == "__main__":
    main()
