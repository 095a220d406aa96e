#!/usr/bin/env python3
"""Packs a folder into the program's package archive.

The archive is an ordinary ZIP file except that every local file header starts with the bytes
"VD", 0x03, 0x04 instead of "PK", 0x03, 0x04. A plain script "script.scpt" at the top of the folder
is stored scrambled as "script.encode", the name the program runs.
Usage: pack_package.py FOLDER OUTPUT.zip
"""
import io
import os
import struct
import sys
import zipfile


def scramble_table() -> list:
    # Must stay identical to MakeTable() in src/engine/script_text.cpp (a test compares them).
    order = list(range(256))
    state = 0x4B455354
    for i in range(255, 0, -1):
        state = (state * 0x081E4F25 + 0xA2C6302D) & 0xFFFFFFFF
        j = (state >> 8) % (i + 1)
        order[i], order[j] = order[j], order[i]
    table = [0] * 256
    for i in range(0, 256, 2):
        table[order[i]] = order[i + 1]
        table[order[i + 1]] = order[i]
    return table


def scramble(data: bytes) -> bytes:
    table = scramble_table()
    return bytes(table[b] for b in reversed(data))


def main() -> int:
    if sys.argv[1] == "--scramble":
        with open(sys.argv[2], "rb") as f:
            data = f.read()
        sys.stdout.buffer.write(scramble(data))
        return 0
    folder, output = sys.argv[1], sys.argv[2]
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression=zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for root, dirs, files in os.walk(folder):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(root, name)
                arcname = os.path.relpath(path, folder).replace(os.sep, "/")
                info = zipfile.ZipInfo(arcname, date_time=(1980, 1, 1, 0, 0, 0))
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(path, "rb") as f:
                    data = f.read()
                if arcname == "script.scpt":
                    info.filename = "script.encode"
                    data = scramble(data)
                archive.writestr(info, data)
    data = bytearray(buffer.getvalue())
    # Rewrite the local header signatures, located through the central directory.
    with zipfile.ZipFile(io.BytesIO(bytes(data))) as archive:
        for info in archive.infolist():
            offset = info.header_offset
            if data[offset:offset + 4] != b"PK\x03\x04":
                raise SystemExit(f"unexpected local header at {offset} for {info.filename}")
            data[offset:offset + 4] = b"VD\x03\x04"
    tmp = output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
