#!/usr/bin/env python3
"""Turns a 32 x 32 XPM of at most 16 colours into a one-image, 16-colour .ico.

Written out by hand rather than through an image tool so that the same XPM always gives
the same bytes. Usage: xpm2ico.py input.xpm output.ico
"""
import re
import struct
import sys


def read_xpm(path):
    strings = re.findall(r'"([^"]*)"', open(path, encoding="ascii").read())
    width, height, ncolours, cpp = (int(v) for v in strings[0].split()[:4])
    if (width, height) != (32, 32) or ncolours > 16 or cpp != 1:
        sys.exit("xpm2ico: need 32x32, at most 16 colours, 1 character per pixel")
    colours = {}
    for line in strings[1:1 + ncolours]:
        key, rest = line[0], line[1:].split()
        value = rest[rest.index("c") + 1]
        colours[key] = None if value.lower() == "none" else int(value.lstrip("#"), 16)
    rows = strings[1 + ncolours:1 + ncolours + height]
    return width, height, colours, rows


def main(source, target):
    width, height, colours, rows = read_xpm(source)
    opaque = sorted({c for c in colours.values() if c is not None})
    palette = opaque + [0] * (16 - len(opaque))
    index = {key: (0 if rgb is None else opaque.index(rgb)) for key, rgb in colours.items()}

    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bitmaps are stored bottom-up
        for x in range(0, width, 2):
            xor.append(index[row[x]] << 4 | index[row[x + 1]])
        bits = 0
        for x in range(width):
            bits = bits << 1 | (1 if colours[row[x]] is None else 0)
        mask += struct.pack(">I", bits)

    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    pal = b"".join(struct.pack("<BBBB", c & 0xFF, c >> 8 & 0xFF, c >> 16, 0) for c in palette)
    image = header + pal + bytes(xor) + bytes(mask)
    icon_dir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16)
    with open(target, "wb") as out:
        out.write(icon_dir + entry + image)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
