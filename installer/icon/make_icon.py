#!/usr/bin/env python3
"""Draws the program's icon: a parcel going into a game folder, under a green arrow.

Writes one .ico with eight 32-bit images, largest first (128, 96, 72, 64, 48, 32, 24, 16
pixels), which is the order the resource compiler numbers them 1 to 8. Every shape is a signed
distance field in a unit square; a pixel's coverage comes from the distance at its centre, so
edges are anti-aliased, and shape edges are snapped to the pixel grid of each size, so the small
sizes stay crisp. Only the standard library is used.

    make_icon.py OUTPUT.ico [--preview DIRECTORY]   (--preview also writes one PNG per size)
"""

import math
import os
import struct
import sys
import zlib

SIZES = (128, 96, 72, 64, 48, 32, 24, 16)


def rgb(hex_colour):
    value = int(hex_colour.lstrip("#"), 16)
    return ((value >> 16) & 255, (value >> 8) & 255, value & 255)


# The palette: warm folder, cardboard parcel, green "put it in" arrow.
FOLDER_BACK, FOLDER_BACK_EDGE = rgb("#d08f1c"), rgb("#6e4706")
FOLDER_FRONT_TOP, FOLDER_FRONT_BOTTOM = rgb("#ffd467"), rgb("#eda92c")
FOLDER_FRONT_EDGE = rgb("#7c5207")
BOX, BOX_LID, BOX_TAPE, BOX_EDGE = rgb("#b77a43"), rgb("#d29a5e"), rgb("#ecd2a2"), rgb("#4f2f14")
ARROW_TOP, ARROW_BOTTOM, ARROW_EDGE = rgb("#5fd36b"), rgb("#1f9a3a"), rgb("#0d4a1f")


# Signed distances (negative inside) in unit coordinates.
def rounded_box(x, y, left, top, right, bottom, radius):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def polygon(x, y, points):
    best = float("inf")
    inside = False
    count = len(points)
    for i in range(count):
        ax, ay = points[i]
        bx, by = points[(i + 1) % count]
        ex, ey = bx - ax, by - ay
        length = ex * ex + ey * ey
        t = 0.0 if length == 0 else max(0.0, min(1.0, ((x - ax) * ex + (y - ay) * ey) / length))
        best = min(best, math.hypot(x - ax - ex * t, y - ay - ey * t))
        if (ay > y) != (by > y) and x < ax + (y - ay) * ex / (ey or 1e-12):
            inside = not inside
    return -best if inside else best


class Canvas:
    """Straight-alpha RGBA pixels, painted back to front."""

    def __init__(self, size):
        self.size = size
        self.pixels = [[(0, 0, 0, 0.0)] * size for _ in range(size)]

    def snap(self, value):
        return round(value * self.size) / self.size

    def fill(self, distance, colour, edge=None, edge_width=0.0):
        """Paints a shape given by `distance(x, y)`; `colour` may depend on y (a gradient).

        With `edge`, a band of `edge_width` pixels just inside the outline gets that colour."""
        size = self.size
        for py in range(size):
            y = (py + 0.5) / size
            inner = colour(y) if callable(colour) else colour
            row = self.pixels[py]
            for px in range(size):
                d = distance((px + 0.5) / size, y) * size  # in pixels
                coverage = min(1.0, max(0.0, 0.5 - d))
                if coverage <= 0.0:
                    continue
                paint = inner
                if edge is not None:
                    # Blend from edge to inner colour across the band's inner boundary.
                    t = min(1.0, max(0.0, 0.5 - (d + edge_width)))
                    paint = tuple(e + (i - e) * t for e, i in zip(edge, inner))
                row[px] = over(row[px], paint, coverage)

    def rgba_rows(self):
        """Rows top to bottom of (r, g, b, a) bytes."""
        return [[(round(r), round(g), round(b), round(a * 255)) for r, g, b, a in row]
                for row in self.pixels]


def over(below, colour, alpha):
    br, bg, bb, ba = below
    out = alpha + ba * (1 - alpha)
    if out <= 0:
        return (0, 0, 0, 0.0)
    mix = [(c * alpha + b * ba * (1 - alpha)) / out for c, b in zip(colour, (br, bg, bb))]
    return (mix[0], mix[1], mix[2], out)


def gradient(top_colour, bottom_colour, top, bottom):
    def colour(y):
        t = min(1.0, max(0.0, (y - top) / (bottom - top)))
        return tuple(a + (b - a) * t for a, b in zip(top_colour, bottom_colour))
    return colour


def draw(size):
    c = Canvas(size)
    s = c.snap
    edge = max(1.0, size / 32)  # outline width in pixels
    radius = (max(1.0, size / 20) if size > 24 else 0.5) / size

    # The folder's back with its tab, open towards the viewer.
    left, right, bottom = s(0.03), s(0.97), s(0.94)
    c.fill(lambda x, y: min(
        rounded_box(x, y, left, s(0.36), right, bottom, radius),
        rounded_box(x, y, left, s(0.27), s(0.42), s(0.45), radius)),
        FOLDER_BACK, FOLDER_BACK_EDGE, edge)

    # The parcel, half inside the folder: lid band and a strip of tape down its middle.
    box_left, box_right, box_top, box_bottom = s(0.19), s(0.81), s(0.36), s(0.80)
    lid = s(0.47)
    tape_left, tape_right = s(0.44), s(0.56)
    if tape_right - tape_left < 2 / size:
        tape_right = tape_left + 2 / size
    c.fill(lambda x, y: rounded_box(x, y, box_left, box_top, box_right, box_bottom, radius / 2),
           lambda y: BOX_LID if y < lid else BOX, BOX_EDGE, edge)
    c.fill(lambda x, y: rounded_box(x, y, tape_left, box_top + edge / size, tape_right,
                                    box_bottom - edge / size, 0.0), BOX_TAPE)

    # The folder's front, slightly lower than the back, hiding the parcel's lower half.
    front_top = s(0.63)
    front = [(left, front_top), (right, front_top), (right, bottom), (left, bottom)]
    c.fill(lambda x, y: min(polygon(x, y, front), rounded_box(x, y, left, front_top, right,
                                                               bottom, radius)),
           gradient(FOLDER_FRONT_TOP, FOLDER_FRONT_BOTTOM, front_top, bottom),
           FOLDER_FRONT_EDGE, edge)

    # The arrow: down into the parcel.
    shaft_left, shaft_right = s(0.40), s(0.60)
    # The smallest sizes get a wider head, or its outline leaves no green inside it.
    head = 0.22 if size > 16 else 0.19
    head_left, head_right = s(head), s(1 - head)
    shaft_top, head_top = s(0.0), s(0.19)
    tip = head_top + (head_right - head_left) / 2  # 45 degree flanks stay clean when small
    arrow = [(shaft_left, shaft_top), (shaft_right, shaft_top), (shaft_right, head_top),
             (head_right, head_top), (0.5, tip), (head_left, head_top), (shaft_left, head_top)]
    c.fill(lambda x, y: polygon(x, y, arrow), gradient(ARROW_TOP, ARROW_BOTTOM, shaft_top, tip),
           ARROW_EDGE, edge)
    return c


def bmp_image(canvas):
    """One icon image as a 32-bit DIB: header, colour rows bottom-up, then the AND mask."""
    size = canvas.size
    rows = canvas.rgba_rows()
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(colour) + bytes(mask)


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        body += data
    return out + body


def png(canvas):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in canvas.rgba_rows())
    header = struct.pack(">IIBBBBB", canvas.size, canvas.size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--preview"):
        sys.stderr.write(__doc__)
        return 2
    canvases = [draw(size) for size in SIZES]
    with open(argv[1], "wb") as f:
        f.write(ico([(c.size, bmp_image(c)) for c in canvases]))
    if len(argv) == 4:
        os.makedirs(argv[3], exist_ok=True)
        for c in canvases:
            with open(os.path.join(argv[3], "icon-%d.png" % c.size), "wb") as f:
                f.write(png(c))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
