#!/usr/bin/env python3
"""Draws the KORVANTA Utility logo and writes every image the program carries.

The logo is a 2 x 2 switch: two input ports on the left, two output ports on
the right, and the crossing paths between them, on a rounded navy tile.  One
shape list feeds both the SVG (for the scalable desktop icon) and a small
anti-aliasing rasteriser, so the PNG and ICO files need nothing beyond the
Python standard library.  Run it from anywhere; it writes beside itself:

    Korvanta.svg  Korvanta_16.png  Korvanta_32.png  Korvanta_48.png
    Korvanta.png (512 x 512)  Korvanta.ico (16, 24, 32, 48, 64, 256)
"""

import math
import pathlib
import struct
import zlib

HERE = pathlib.Path(__file__).resolve().parent

NAVY = (0x1D, 0x35, 0x57)
WHITE = (0xF1, 0xFA, 0xEE)
AMBER = (0xF4, 0xA2, 0x61)

# Shapes in unit coordinates (0..1), painted in order.
TILE = ("rrect", NAVY, (0.03, 0.03, 0.97, 0.97), 0.19)
STROKE = 0.085
SHAPES = [
    TILE,
    # the two paths that cross: A to BOT and B to TOP
    ("line", AMBER, (0.34, 0.32, 0.66, 0.68), STROKE),
    ("line", AMBER, (0.34, 0.68, 0.66, 0.32), STROKE),
    # port stubs, inputs left and outputs right
    ("line", WHITE, (0.19, 0.32, 0.34, 0.32), STROKE),
    ("line", WHITE, (0.19, 0.68, 0.34, 0.68), STROKE),
    ("line", WHITE, (0.66, 0.32, 0.81, 0.32), STROKE),
    ("line", WHITE, (0.66, 0.68, 0.81, 0.68), STROKE),
    ("circle", WHITE, (0.19, 0.32), 0.075),
    ("circle", WHITE, (0.19, 0.68), 0.075),
    ("circle", WHITE, (0.81, 0.32), 0.075),
    ("circle", WHITE, (0.81, 0.68), 0.075),
]


def sdf(shape, x, y):
    """Signed distance (unit coordinates) from (x, y) to the shape's edge."""
    kind = shape[0]
    if kind == "rrect":
        x0, y0, x1, y1 = shape[2]
        r = shape[3]
        cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
        hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    if kind == "line":
        ax, ay, bx, by = shape[2]
        half = shape[3] / 2
        dx, dy = bx - ax, by - ay
        t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
        t = min(max(t, 0.0), 1.0)
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) - half
    if kind == "circle":
        cx, cy = shape[2]
        return math.hypot(x - cx, y - cy) - shape[3]
    raise ValueError(kind)


def bounds(shape):
    kind = shape[0]
    if kind == "rrect":
        return shape[2]
    if kind == "line":
        ax, ay, bx, by = shape[2]
        h = shape[3] / 2
        return (min(ax, bx) - h, min(ay, by) - h, max(ax, bx) + h, max(ay, by) + h)
    cx, cy = shape[2]
    r = shape[3]
    return (cx - r, cy - r, cx + r, cy + r)


def render(size):
    """RGBA rows of the logo at size x size pixels (straight alpha, 0..1 floats)."""
    px = [[[0.0, 0.0, 0.0, 0.0] for _ in range(size)] for _ in range(size)]
    for shape in SHAPES:
        colour = [c / 255 for c in shape[1]]
        x0, y0, x1, y1 = bounds(shape)
        # only visit the pixels the shape can touch, plus one for the soft edge
        i0, i1 = max(int(x0 * size) - 1, 0), min(int(x1 * size) + 2, size)
        j0, j1 = max(int(y0 * size) - 1, 0), min(int(y1 * size) + 2, size)
        for j in range(j0, j1):
            y = (j + 0.5) / size
            row = px[j]
            for i in range(i0, i1):
                d = sdf(shape, (i + 0.5) / size, y) * size
                cover = min(max(0.5 - d, 0.0), 1.0)
                if cover <= 0.0:
                    continue
                p = row[i]
                a = cover + p[3] * (1 - cover)
                for k in range(3):
                    p[k] = (colour[k] * cover + p[k] * p[3] * (1 - cover)) / a
                p[3] = a
    return [[tuple(round(c * 255) for c in p) for p in row] for row in px]


def png_bytes(pixels):
    size = len(pixels)
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp_icon_bytes(pixels):
    """A 32-bit icon image: BITMAPINFOHEADER, BGRA rows bottom-up, empty AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + xor + bytes(mask_row * size)


def ico_bytes(images):
    """images: list of (size, payload); sizes of 256 are stored as 0 as the format wants."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, payload in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(payload), offset)
        blobs += payload
        offset += len(payload)
    return out + entries + blobs


def svg_text():
    def colour(c):
        return "#%02x%02x%02x" % c

    def n(v):
        return ("%.2f" % (v * 512)).rstrip("0").rstrip(".")

    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="512" height="512" '
             'viewBox="0 0 512 512">']
    for shape in SHAPES:
        kind, col = shape[0], colour(shape[1])
        if kind == "rrect":
            x0, y0, x1, y1 = shape[2]
            parts.append('  <rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s"/>'
                         % (n(x0), n(y0), n(x1 - x0), n(y1 - y0), n(shape[3]), col))
        elif kind == "line":
            ax, ay, bx, by = shape[2]
            parts.append('  <line x1="%s" y1="%s" x2="%s" y2="%s" stroke="%s" '
                         'stroke-width="%s" stroke-linecap="round"/>'
                         % (n(ax), n(ay), n(bx), n(by), col, n(shape[3])))
        else:
            cx, cy = shape[2]
            parts.append('  <circle cx="%s" cy="%s" r="%s" fill="%s"/>'
                         % (n(cx), n(cy), n(shape[3]), col))
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def main():
    (HERE / "Korvanta.svg").write_text(svg_text())
    cache = {}
    for size in (16, 24, 32, 48, 64, 256, 512):
        cache[size] = render(size)
    for size in (16, 32, 48):
        (HERE / ("Korvanta_%d.png" % size)).write_bytes(png_bytes(cache[size]))
    (HERE / "Korvanta.png").write_bytes(png_bytes(cache[512]))
    # small sizes as classic bitmaps for old loaders, the large one as PNG
    icons = [(s, bmp_icon_bytes(cache[s])) for s in (16, 24, 32, 48, 64)]
    icons.append((256, png_bytes(cache[256])))
    (HERE / "Korvanta.ico").write_bytes(ico_bytes(icons))


if __name__ == "__main__":
    main()
