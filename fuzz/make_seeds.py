#!/usr/bin/env python3
"""Writes the seed corpora: fuzz/corpus/wav (for the WAV and the analysis
fuzzers) holds the hand-made reader test files plus a few images that reach
the mark, the carried chunks and wide sample containers; fuzz/corpus/mark
holds processing-mark chunk data of both layouts, known and unknown codes."""
import os
import shutil
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "data", "wav"))
import make_corpus as c  # noqa: E402

OUT = os.path.join(ROOT, "fuzz", "corpus", "wav")
MARK_OUT = os.path.join(ROOT, "fuzz", "corpus", "mark")


def mark_data(version, type1, type2, width):
    data = version.ljust(16).encode()
    fmt = ">Q" if width == 8 else ">I"
    return data + struct.pack(fmt, type1) + struct.pack(fmt, type2) + b"2021-03-03 14:05:09 +0100 "


def mark(version, type1, type2, width):
    return c.chunk(b"KEST", mark_data(version, type1, type2, width))


MARK_SEEDS = {
    "layout2.kest": mark_data("v3.0.0", 2, 1 << 37, 8),
    "layout1.kest": mark_data("v2.0.13", 1 << 11, 4, 4),
    "unknown_codes.kest": mark_data("v3.0.0", 3, 1 << 60, 8),
    "short.kest": mark_data("v3.0.0", 1, 1, 8)[:40],
}


bext = bytearray(602 + 9)
bext[346] = 1
bext[602:] = b"A=PCM,F=4"

SEEDS = {
    "marked_layout2.wav": c.riff(c.chunk(b"fmt ", c.fmt()) + c.chunk(b"LIST", b"INFOx") + c.chunk(b"data", c.SAMPLES)
                                 + mark("v3.0.0", 2, 1 << 37, 8) + c.chunk(b"bext", bytes(bext))
                                 + c.chunk(b"iXML", b"<BWFXML/>") + c.chunk(b"ID3 ", b"ID3\x04\0\0\0\0\0\0")),
    "marked_layout1.wav": c.riff(c.chunk(b"fmt ", c.fmt()) + c.chunk(b"data", c.SAMPLES) + mark("v2.0.13", 1 << 11, 4, 4)),
    "extensible_24.wav": c.riff(c.chunk(b"fmt ", c.extensible(22, 24, 3, 1, bits=24)) + c.chunk(b"data", b"\1" * 12)),
    "extensible_24_in_32.wav": c.riff(c.chunk(b"fmt ", c.extensible(22, 24, 3, 1, bits=32))
                                      + c.chunk(b"data", b"\0\1\2\3" * 6)),
    "zero_tail.wav": c.riff(c.chunk(b"fmt ", c.fmt()) + c.chunk(b"data", c.SAMPLES)) + bytes(256),
}

if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    os.makedirs(MARK_OUT, exist_ok=True)
    for name, data in MARK_SEEDS.items():
        with open(os.path.join(MARK_OUT, name), "wb") as f:
            f.write(data)
    for name in ("chunk_past_end.wav", "two_data.wav", "extensible_non_pcm.wav", "data_before_fmt.wav",
                 "odd_last_chunk.wav", "zero_channels.wav"):
        shutil.copy(os.path.join(ROOT, "tests", "data", "wav", name), OUT)
