#!/usr/bin/env python3
"""Reads a page as the browser left it (chromium --dump-dom) and checks it against what the run wrote.

read_page.py rows DOM.html FOLDER EXPECTED.txt
    Every line of EXPECTED.txt (UTF-8) must be the text of one row of the page, exactly; every href
    and src must name a file that exists (relative ones in FOLDER).
read_page.py pixels SHOT.png
    The screenshot has a black background and red and green text.
"""
import html.parser
import os
import struct
import sys
import urllib.parse
import zlib


class Rows(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows, self.current, self.links, self.skip = [], "", [], 0

    def handle_starttag(self, tag, attrs):
        if tag in ("title", "style"):
            self.skip += 1
        if tag == "br":
            self.rows.append(self.current)
            self.current = ""
        for name, value in attrs:
            if (tag, name) in (("a", "href"), ("img", "src")):
                self.links.append(value)

    def handle_endtag(self, tag):
        if tag in ("title", "style"):
            self.skip -= 1

    def handle_data(self, data):
        # Line ends between the rows are the file's, not the text's.
        if not self.skip:
            self.current += data.replace("\r", "").replace("\n", "")


def check_rows(dom, folder, expected):
    parser = Rows()
    parser.feed(open(dom, encoding="utf-8").read())
    # Non-header rows start with eight no-break spaces; blanks in the text are no-break spaces too.
    rows = [r.replace("\u00a0", " ") for r in parser.rows]
    stripped = [r[8:] if r.startswith(" " * 8) else r for r in rows]
    failures = 0
    for line in open(expected, encoding="utf-8").read().splitlines():
        if line not in stripped:
            print(f"FAIL: no row reads {line!r}")
            failures += 1
    for link in parser.links:
        parsed = urllib.parse.urlparse(link)
        path = urllib.parse.unquote(parsed.path)
        if parsed.scheme not in ("", "file"):
            print(f"FAIL: unexpected link {link!r}")
            failures += 1
        elif not os.path.isfile(path if parsed.scheme == "file" else os.path.join(folder, path)):
            print(f"FAIL: link {link!r} names no file")
            failures += 1
    if not parser.links:
        print("FAIL: the page links to nothing")
        failures += 1
    return failures


def png_pixels(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), "8-bit RGB or RGBA expected"
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride = zlib.decompress(idat), width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1: line[i] = (line[i] + a) & 255
            elif kind == 2: line[i] = (line[i] + b) & 255
            elif kind == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        previous = line
    return [(r[x * channels], r[x * channels + 1], r[x * channels + 2]) for r in rows for x in range(width)]


def check_pixels(shot):
    pixels = png_pixels(shot)
    failures = 0
    if pixels[0] != (0, 0, 0) or pixels[-1] != (0, 0, 0):
        print(f"FAIL: background is not black: {pixels[0]} {pixels[-1]}")
        failures += 1
    if not any(r > 180 and g < 80 and b < 80 for r, g, b in pixels):
        print("FAIL: no red pixel")
        failures += 1
    if not any(g > 180 and r < 80 and b < 80 for r, g, b in pixels):
        print("FAIL: no green pixel")
        failures += 1
    return failures


if __name__ == "__main__":
    if sys.argv[1] == "rows":
        sys.exit(1 if check_rows(sys.argv[2], sys.argv[3], sys.argv[4]) else 0)
    sys.exit(1 if check_pixels(sys.argv[2]) else 0)
