#!/usr/bin/env python3
"""Writes a real SQLite database holding generated PNG images as blobs.

make_database.py DB IMAGES writes the database DB (the SQLite library's
default page size) and, for checking, every image it stored, in order of
insertion, to IMAGES as a 4-byte big-endian length followed by the image.
Images run from tens of bytes to a few pages, so the larger ones are split
across overflow pages as SQLite stores them.
"""
import random
import sqlite3
import struct
import sys
import zlib


def chunk(kind, data):
    crc = zlib.crc32(kind + data) & 0xFFFFFFFF
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)


def png(rng, number):
    width = 1 + number % 61
    height = 1 + rng.randrange(40)
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    size = rng.randrange(0, 1500) if rng.random() < 0.8 else rng.randrange(1500, 12000)
    pixels = zlib.compress(bytes(rng.randrange(256) for _ in range(size)), 0)
    # IDAT data in chunks of 8 KiB at most, as libpng writes it.
    idat = b"".join(chunk(b"IDAT", pixels[i:i + 8192]) for i in range(0, len(pixels), 8192))
    text = chunk(b"tEXt", b"Comment\0image %d" % number)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + text + idat +
            chunk(b"IEND", b""))


def main():
    db_path, images_path = sys.argv[1], sys.argv[2]
    rng = random.Random(5308)
    images = [png(rng, n) for n in range(300)]
    db = sqlite3.connect(db_path)
    db.execute("CREATE TABLE icon (id INTEGER PRIMARY KEY, name TEXT, data BLOB)")
    db.executemany("INSERT INTO icon (name, data) VALUES (?, ?)",
                   (("icon-%d.png" % n, image) for n, image in enumerate(images)))
    db.commit()
    db.close()
    with open(images_path, "wb") as out:
        for image in images:
            out.write(struct.pack(">I", len(image)) + image)


if __name__ == "__main__":
    main()
