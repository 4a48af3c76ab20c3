#!/usr/bin/env python3
"""Writes the raw Deflate fixtures of the decoder tests with zlib (through
Python's zlib module) and lists them in manifest.txt as: file size crc32.
The fixtures let the decoder tests check zlib's output under Wine, where
zlib and Python are not at hand. Run from this folder; output is stable."""
import random
import zlib

def text(n, seed):
    words = ["the ", "archive ", "entry ", "window ", "of ", "data, ", "and ", "install ",
             "Java ", "runtime\n", "a ", "setup ", "file ", "is "]
    rnd = random.Random(seed)
    out = []
    size = 0
    while size < n:
        w = rnd.choice(words)
        out.append(w)
        size += len(w)
    return "".join(out)[:n].encode()

def binary(n, seed):
    rnd = random.Random(seed)
    return bytes(rnd.choice([0, 0, 0, 0x48, 0x89, 0xC3, 0xFF, rnd.randrange(256)]) for _ in range(n))

cases = [
    ("text_level1", text(40000, 1), 1, zlib.Z_DEFAULT_STRATEGY),
    ("text_level6", text(40000, 2), 6, zlib.Z_DEFAULT_STRATEGY),
    ("text_level9", text(70000, 3), 9, zlib.Z_DEFAULT_STRATEGY),
    ("text_fixed", text(20000, 4), 6, zlib.Z_FIXED),
    ("binary_level9", binary(50000, 5), 9, zlib.Z_DEFAULT_STRATEGY),
    ("binary_stored", binary(36000, 6), 0, zlib.Z_DEFAULT_STRATEGY),
    ("runs_rle", b"".join(bytes([i % 7]) * (1 + i * 37 % 700) for i in range(300)), 6, zlib.Z_RLE),
    ("empty_level6", b"", 6, zlib.Z_DEFAULT_STRATEGY),
]

with open("manifest.txt", "w") as manifest:
    for name, data, level, strategy in cases:
        c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
        packed = c.compress(data) + c.flush()
        with open(name + ".deflate", "wb") as f:
            f.write(packed)
        manifest.write("%s.deflate %d %08x\n" % (name, len(data), zlib.crc32(data)))
