#!/usr/bin/env python3
"""Writes a firmware image in the simulated lab's format.

The format (fixed, so that images can be built outside this repository):
  the length is a multiple of 4096;
  bytes 0-7    b"KSTRNFW1";
  bytes 8-15   the revision, 8 ASCII characters (blank-padded), what Identify reports once it runs;
  bytes 16-19  the CRC-32 (zlib's) of the whole image with these four bytes taken as zero,
               little-endian;
  the rest is payload.

  make_lab_firmware.py OUT.fw REVISION [--size BYTES] [--fill BYTE] [--break crc|magic|tail]

--break writes a damaged image for tests: a wrong CRC, a wrong magic, or 100 bytes past the last
4096-byte block.
"""
import argparse
import struct
import sys
import zlib

UNIT = 4096
MAGIC = b"KSTRNFW1"


def build(revision: str, size: int, fill: int) -> bytearray:
    text = revision.encode("ascii")
    if len(text) > 8 or any(b < 0x20 or b > 0x7E for b in text):
        raise ValueError("the revision is 1 to 8 printable ASCII characters")
    size = max(UNIT, (size + UNIT - 1) // UNIT * UNIT)
    image = bytearray([fill]) * size
    image[0:8] = MAGIC
    image[8:16] = text.ljust(8, b" ")
    image[16:20] = b"\0\0\0\0"
    image[16:20] = struct.pack("<I", zlib.crc32(bytes(image)) & 0xFFFFFFFF)
    return image


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("out")
    p.add_argument("revision")
    p.add_argument("--size", type=int, default=2 * UNIT)
    p.add_argument("--fill", type=lambda v: int(v, 0), default=0)
    p.add_argument("--break", dest="damage", choices=["crc", "magic", "tail"])
    a = p.parse_args()
    try:
        image = build(a.revision, a.size, a.fill)
    except ValueError as e:
        print(e, file=sys.stderr)
        return 2
    if a.damage == "crc":
        image[16] ^= 0xFF
    elif a.damage == "magic":
        image[0] = ord("X")
    elif a.damage == "tail":
        image += bytes(100)
    with open(a.out, "wb") as f:
        f.write(image)
    return 0


if __name__ == "__main__":
    sys.exit(main())
