#!/usr/bin/env python3
"""Writes the seed corpora of the AIFF and FLAC fuzzers into fuzz/corpus/aiff
and fuzz/corpus/flac: well-formed files that reach every chunk and block the
readers keep, and the malformed ones the reader tests refuse (their expected
texts are in tests/formats/aiff_test.cpp and flac_test.cpp). The FLAC seeds
are made by the flac command line."""
import os
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "data", "wav"))
import make_corpus as c  # noqa: E402

RATE_44100 = bytes.fromhex("400EAC44000000000000")
RATE_88200 = bytes.fromhex("40121588800000000000")
SAMPLES = struct.pack(">8h", 1, -1, 2, -2, 300, -300, 32767, -32768)


def be_chunk(ck_id, data, size=None):
    out = ck_id + struct.pack(">I", len(data) if size is None else size) + data
    return out + (b"\0" if len(data) % 2 else b"")


def form(form_type, body):
    return b"FORM" + struct.pack(">I", 4 + len(body)) + form_type + body


def comm(channels=2, frames=4, bits=16, rate=RATE_44100, compression=None):
    data = struct.pack(">HIH", channels, frames, bits) + rate
    return data + (compression + b"\4none\0" if compression else b"")


def ssnd(samples=SAMPLES, offset=0):
    return struct.pack(">II", offset, 0) + b"\xee" * offset + samples


FVER = be_chunk(b"FVER", struct.pack(">I", 0xA2805140))
MARK = be_chunk(b"KEST", b"v3.0.0".ljust(16) + struct.pack(">QQ", 2, 1) + b"2021-03-03 14:05:09 +0100 ")
AESD = be_chunk(b"AESD", b"\x1d" + bytes(23))
ID3 = be_chunk(b"ID3 ", b"ID3\x04\0\0\0\0\0\0")

AIFF_SEEDS = {
    "aiff_16.aif": form(b"AIFF", be_chunk(b"COMM", comm()) + be_chunk(b"SSND", ssnd()) + MARK + ID3 + AESD),
    "aifc_none_offset.aifc": form(b"AIFC", FVER + be_chunk(b"COMM", comm(rate=RATE_88200, compression=b"NONE"))
                                  + be_chunk(b"SSND", ssnd(offset=4))),
    "aifc_sowt.aifc": form(b"AIFC", FVER + be_chunk(b"COMM", comm(compression=b"sowt")) + be_chunk(b"NAME", b"x")
                           + be_chunk(b"SSND", ssnd())),
    "aifc_without_fver.aifc": form(b"AIFC", be_chunk(b"COMM", comm(compression=b"NONE")) + be_chunk(b"SSND", ssnd())),
    "aiff_with_fver.aif": form(b"AIFF", FVER + be_chunk(b"COMM", comm()) + be_chunk(b"SSND", ssnd())),
    "rate_exponent_max.aif": form(b"AIFF", be_chunk(b"COMM", comm(rate=bytes.fromhex("7FFF8000000000000000")))
                                  + be_chunk(b"SSND", ssnd())),
    "rate_exponent_zero.aif": form(b"AIFF", be_chunk(b"COMM", comm(rate=bytes(10))) + be_chunk(b"SSND", ssnd())),
    "comm_too_short.aif": form(b"AIFF", be_chunk(b"COMM", comm()[:17]) + be_chunk(b"SSND", ssnd())),
    "ssnd_offset_past_end.aif": form(b"AIFF", be_chunk(b"COMM", comm())
                                     + be_chunk(b"SSND", struct.pack(">II", 99, 0) + SAMPLES)),
    "duplicate_comm.aif": form(b"AIFF", be_chunk(b"COMM", comm()) * 2 + be_chunk(b"SSND", ssnd())),
}


def flac_blocks(data):
    """The metadata blocks (type, bytes) and the frames of a FLAC file."""
    at, blocks = 4, []
    while True:
        header = data[at]
        length = int.from_bytes(data[at + 1:at + 4], "big")
        blocks.append((header & 0x7F, data[at + 4:at + 4 + length]))
        at += 4 + length
        if header & 0x80:
            return blocks, data[at:]


def flac_image(blocks, frames, lying=None):
    out = b"fLaC"
    for i, (block_type, data) in enumerate(blocks):
        length = lying if lying is not None and i == 1 else len(data)
        out += bytes([block_type | (0x80 if i == len(blocks) - 1 else 0)]) + length.to_bytes(3, "big") + data
    return out + frames


def flac_seeds():
    with tempfile.TemporaryDirectory() as work:
        wav = os.path.join(work, "seed.wav")
        samples = b"".join(struct.pack("<2h", (n * 397) % 20000 - 10000, (n * 211) % 9000 - 4500) for n in range(300))
        body = (c.chunk(b"fmt ", c.fmt()) + c.chunk(b"iXML", b"<BWFXML/>") + c.chunk(b"LIST", b"INFOx")
                + c.chunk(b"data", samples))
        with open(wav, "wb") as f:
            f.write(c.riff(body))
        with open(os.path.join(work, "cover.png"), "wb") as f:
            f.write(b"\x89PNG1234")
        out = os.path.join(work, "seed.flac")
        subprocess.run(["flac", "-s", "-f", "--no-padding", "--keep-foreign-metadata", "--tag=TITLE=a=b", "--tag=ARTIST=Zo\u00eb",
                        "--picture=3|image/png|front|1x1x24|" + os.path.join(work, "cover.png"), "-o", out, wav],
                       check=True)
        with open(out, "rb") as f:
            made = f.read()
    blocks, frames = flac_blocks(made)
    picture = next(b for b in blocks if b[0] == 6)
    empty_comments = (4, struct.pack("<I", 1) + b"v" + struct.pack("<I", 0))
    without_comments = [b for b in blocks if b[0] != 4]
    return {
        "tagged.flac": made,
        "truncated.flac": made[:len(made) - len(frames) // 2],
        "lying_block_length.flac": flac_image(blocks, frames, lying=0xFFFFFF),
        "duplicate_picture.flac": flac_image(blocks[:1] + [picture] + blocks[1:], frames),
        "empty_comments.flac": flac_image(without_comments[:1] + [empty_comments] + without_comments[1:], frames),
        "short_application.flac": flac_image(blocks[:1] + [(2, b"riffabcd\1\0")] + blocks[1:], frames),
    }


def write(folder, seeds):
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    write(os.path.join(ROOT, "fuzz", "corpus", "aiff"), AIFF_SEEDS)
    write(os.path.join(ROOT, "fuzz", "corpus", "flac"), flac_seeds())
