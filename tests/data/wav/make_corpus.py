#!/usr/bin/env python3
"""Writes the small hand-made WAV files next to this script.

Each file has two stereo 16-bit frames at 44100 Hz unless its name says
otherwise; the reader tests list what each one must give."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = struct.pack("<4h", 1, -1, 2, -2)


def chunk(ck_id, data, size=None, pad=True):
    size = len(data) if size is None else size
    out = ck_id + struct.pack("<I", size) + data
    if pad and len(data) % 2:
        out += b"\0"
    return out


def fmt(channels=2, rate=44100, bits=16, tag=1, byte_rate=None, align=None):
    align = channels * ((bits + 7) // 8) if align is None else align
    byte_rate = rate * align if byte_rate is None else byte_rate
    return struct.pack("<HHIIHH", tag, channels, rate, byte_rate, align, bits)


def extensible(cb_size, valid_bits, mask, sub_format, bits=16):
    guid_tail = bytes([0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
    return fmt(bits=bits, tag=0xFFFE) + struct.pack("<HHIH", cb_size, valid_bits, mask, sub_format) + guid_tail


def riff(body, form=b"WAVE", size=None):
    size = 4 + len(body) if size is None else size
    return b"RIFF" + struct.pack("<I", size) + form + body


FILES = {
    # Refused.
    "truncated_header.wav": b"RIFF\x10\x00\x00\x00WA",
    "not_wave.wav": riff(chunk(b"avih", b"\0" * 8), form=b"AVI "),
    "no_chunks.wav": riff(b""),
    "chunk_past_end.wav": riff(chunk(b"fmt ", fmt()) + chunk(b"data", SAMPLES, size=1000)),
    "chunk_size_near_4g.wav": riff(chunk(b"fmt ", fmt()) + chunk(b"LIST", b"INFO", size=0xFFFFFFFE)
                                   + chunk(b"data", SAMPLES)),
    "two_data.wav": riff(chunk(b"fmt ", fmt()) + chunk(b"data", SAMPLES) + chunk(b"data", SAMPLES)),
    "fmt_size_17.wav": riff(chunk(b"fmt ", fmt() + b"\0") + chunk(b"data", SAMPLES)),
    "fmt18_bad_cbsize.wav": riff(chunk(b"fmt ", fmt() + struct.pack("<H", 2)) + chunk(b"data", SAMPLES)),
    "float_tag.wav": riff(chunk(b"fmt ", fmt(bits=32, tag=3) + struct.pack("<H", 0)) + chunk(b"data", SAMPLES)),
    "extensible_non_pcm.wav": riff(chunk(b"fmt ", extensible(22, 16, 3, 3)) + chunk(b"data", SAMPLES)),
    "extensible_bad_cbsize.wav": riff(chunk(b"fmt ", extensible(10, 16, 3, 1)) + chunk(b"data", SAMPLES)),
    "zero_channels.wav": riff(chunk(b"fmt ", fmt(channels=0, align=4)) + chunk(b"data", SAMPLES)),
    "zero_bits.wav": riff(chunk(b"fmt ", fmt(bits=0, align=4)) + chunk(b"data", SAMPLES)),
    "no_fmt.wav": riff(chunk(b"data", SAMPLES)),
    # Odd but valid.
    "zero_block_align.wav": riff(chunk(b"fmt ", fmt(align=0, byte_rate=12345)) + chunk(b"data", SAMPLES)),
    "riff_size_mismatch.wav": riff(chunk(b"fmt ", fmt()) + chunk(b"data", SAMPLES), size=0x7FFFFFFF),
    "data_before_fmt.wav": riff(chunk(b"data", SAMPLES) + chunk(b"fmt ", fmt())),
    "extensible_cbsize0.wav": riff(chunk(b"fmt ", extensible(0, 8, 0x3F, 3)) + chunk(b"data", SAMPLES)),
    "odd_list_then_data.wav": riff(chunk(b"fmt ", fmt()) + chunk(b"LIST", b"INFOx") + chunk(b"data", SAMPLES)),
    "odd_last_chunk.wav": riff(chunk(b"fmt ", fmt()) + chunk(b"data", SAMPLES) + chunk(b"junk", b"abc", pad=False)),
    "trailing_bytes.wav": riff(chunk(b"fmt ", fmt()) + chunk(b"data", SAMPLES)) + b"\0" * 5,
}

if __name__ == "__main__":
    for name, data in FILES.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)
