#!/usr/bin/env python3
"""Draws lcdwrite's icon and writes it as PNG files and as a Windows .ico.

    lcdwrite-icon.py OUTDIR

writes OUTDIR/lcdwrite-N.png for every size of the Linux icon theme, OUTDIR/lcdwrite.ico
(16, 24, 32, 48 as 32-bit bitmaps, 256 as PNG, which is how Windows keeps its large images) and
OUTDIR/lcdwrite-wizard.bmp, the picture of the installer's welcome and finish pages (164 x 314,
24-bit, as the installer system takes it): the icon on the board's own slate colour.

The drawing is a board with a yellow-green LCD showing two lines of text, a status lamp, and a
blue badge with an arrow into the board: "write this board". It is described in a 256 x 256
design space and rendered for each size from signed distances (half a pixel of smooth edge),
so small sizes stay sharp instead of being scaled down from a large bitmap. Standard library
only, and the output is the same bytes on every run.
"""
import math
import os
import struct
import sys
import zlib

PNG_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
ICO_SIZES = (16, 24, 32, 48, 256)
DESIGN = 256.0


def rgba(hex_colour, alpha=1.0):
    v = int(hex_colour.lstrip("#"), 16)
    return ((v >> 16) & 255) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0, alpha


# Distances in design units; negative inside.
def rounded_box(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return d, (x0, y0, x1, y1)


def circle(cx, cy, r):
    def d(x, y):
        return math.hypot(x - cx, y - cy) - r
    return d, (cx - r, cy - r, cx + r, cy + r)


def polygon(points):
    """A convex polygon, points in clockwise order on screen (y down)."""
    edges = []
    for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
        nx, ny = by - ay, ax - bx  # outward for clockwise order with y down
        length = math.hypot(nx, ny)
        edges.append((ax, ay, nx / length, ny / length))

    def d(x, y):
        return max((x - ax) * nx + (y - ay) * ny for ax, ay, nx, ny in edges)
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return d, (min(xs), min(ys), max(xs), max(ys))


def drawing(size):
    """The shapes, back to front, as (distance, bounds, colour)."""
    body, bezel, lcd, ink = "#37474f", "#1c262b", "#b4d455", "#2b3a17"
    shapes = [
        (*rounded_box(10, 34, 246, 222, 30), rgba("#1c262b")),
        (*rounded_box(16, 40, 240, 216, 24), rgba(body)),
        (*rounded_box(30, 54, 226, 170, 14), rgba(bezel)),
        (*rounded_box(38, 62, 218, 162, 8), rgba(lcd)),
        (*circle(48, 196, 11), rgba("#7cf05a")),
    ]
    if size >= 32:
        # Two lines of characters.
        for top, widths in ((76, (18, 18, 18, 18, 18, 18)), (116, (18, 18, 18, 18))):
            x = 52
            for w in widths:
                shapes.append((*rounded_box(x, top, x + w, top + 30, 2), rgba(ink, 0.9)))
                x += w + 7
    else:
        # Too small for characters: a line of text each.
        shapes.append((*rounded_box(52, 80, 200, 102, 3), rgba(ink, 0.9)))
        shapes.append((*rounded_box(52, 120, 152, 142, 3), rgba(ink, 0.9)))
    # The badge: a white ring, the blue disc, the arrow into the board.
    shapes += [
        (*circle(190, 186, 62), rgba("#ffffff")),
        (*circle(190, 186, 53), rgba("#1e6fd9")),
        (*rounded_box(180, 146, 200, 196, 2), rgba("#ffffff")),
        (*polygon([(158, 182), (222, 182), (190, 220)]), rgba("#ffffff")),
    ]
    return shapes


def render(size):
    """Straight-alpha RGBA rows of floats."""
    scale = size / DESIGN
    pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]
    for distance, (bx0, by0, bx1, by1), (r, g, b, a) in drawing(size):
        px0 = max(int(math.floor(bx0 * scale)) - 1, 0)
        py0 = max(int(math.floor(by0 * scale)) - 1, 0)
        px1 = min(int(math.ceil(bx1 * scale)) + 1, size)
        py1 = min(int(math.ceil(by1 * scale)) + 1, size)
        for py in range(py0, py1):
            row = pixels[py]
            y = (py + 0.5) / scale
            for px in range(px0, px1):
                d = distance((px + 0.5) / scale, y) * scale
                cover = min(max(0.5 - d, 0.0), 1.0) * a
                if cover <= 0.0:
                    continue
                dr, dg, db, da = row[px]
                out_a = cover + da * (1.0 - cover)
                keep = da * (1.0 - cover)
                row[px] = ((r * cover + dr * keep) / out_a, (g * cover + dg * keep) / out_a,
                           (b * cover + db * keep) / out_a, out_a)
    return [[tuple(int(round(c * 255)) for c in p) for p in row] for row in pixels]


def png(image):
    size = len(image)
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in image)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bitmap(image):
    """An icon directory entry's image: BITMAPINFOHEADER, BGRA bottom-up, then the AND mask."""
    size = len(image)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(image) for r, g, b, a in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(image):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + bytes(mask)


def ico(images):
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for size, image in images:
        blob = png(image) if size >= 256 else bitmap(image)
        dim = 0 if size >= 256 else size  # 0 stands for 256
        entries.append(struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


WIZARD_WIDTH, WIZARD_HEIGHT = 164, 314
WIZARD_ICON = 128  # drawn at a size of its own, not scaled from another
WIZARD_TOP = 40


def wizard(icon):
    """The wizard's picture: a slate gradient, the icon over it near the top. 24-bit BMP."""
    top, bottom = rgba("#455a64"), rgba("#1c262b")
    left = (WIZARD_WIDTH - WIZARD_ICON) // 2
    rows = []
    for y in range(WIZARD_HEIGHT):
        t = y / (WIZARD_HEIGHT - 1)
        back = tuple(round((a + (b - a) * t) * 255) for a, b in zip(top[:3], bottom[:3]))
        row = []
        for x in range(WIZARD_WIDTH):
            colour = back
            iy, ix = y - WIZARD_TOP, x - left
            if 0 <= iy < WIZARD_ICON and 0 <= ix < WIZARD_ICON:
                r, g, b, a = icon[iy][ix]
                colour = tuple(round((c * a + k * (255 - a)) / 255)
                               for c, k in zip((r, g, b), back))
            row.append(colour)
        rows.append(row)
    stride = (WIZARD_WIDTH * 3 + 3) // 4 * 4
    pixels = b"".join(bytes(c for r, g, b in row for c in (b, g, r)).ljust(stride, b"\0")
                      for row in reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, WIZARD_WIDTH, WIZARD_HEIGHT, 1, 24, 0, len(pixels),
                       2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: lcdwrite-icon.py OUTDIR\n")
        return 64
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    images = {size: render(size)
              for size in sorted(set(PNG_SIZES) | set(ICO_SIZES) | {WIZARD_ICON})}
    for size in PNG_SIZES:
        with open(os.path.join(out, "lcdwrite-%d.png" % size), "wb") as f:
            f.write(png(images[size]))
    with open(os.path.join(out, "lcdwrite.ico"), "wb") as f:
        f.write(ico([(size, images[size]) for size in ICO_SIZES]))
    with open(os.path.join(out, "lcdwrite-wizard.bmp"), "wb") as f:
        f.write(wizard(images[WIZARD_ICON]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
