#!/usr/bin/python3
"""Draws the setup program's icon and writes it as a .ico file.

The file holds twelve BMP-style images (header, palette, XOR bitmap, AND
mask), in the order the resource compiler numbers them 1 to 12:
48, 32, 24 and 16 pixels square at 4 bits per pixel, the same four sizes at
8 bits, then at 32 bits with an alpha channel. The picture is a cardboard box
with a green arrow pointing down into it ("install").

Standard library only. Usage: make_icon.py OUTPUT.ico
"""
import os
import struct
import sys

SIZES = (48, 32, 24, 16)
DEPTHS = (4, 8, 32)
DESIGN = 48.0  # the shapes below are drawn on a 48 x 48 grid
SUBSAMPLES = 4  # per axis, for coverage and edge smoothing

# (fill, outline) as RGB for the 256-colour and 32-bit images, then the same
# pair picked by hand from the 16 system colours, where the nearest match of
# the tan box would be grey.
BOX = ((214, 160, 92), (110, 66, 24), (128, 128, 0), (0, 0, 0))
LID = ((186, 128, 64), (110, 66, 24), (255, 255, 0), (0, 0, 0))
ARROW = ((52, 168, 72), (20, 84, 32), (0, 255, 0), (0, 128, 0))

# Layers in drawing order: later ones paint over earlier ones.
SHAPES = (
    (((7, 24), (41, 24), (41, 45), (7, 45)), BOX),
    (((4, 18), (44, 18), (44, 25), (4, 25)), LID),
    (((19, 2), (29, 2), (29, 15), (37, 15), (24, 31), (11, 15), (19, 15)), ARROW),
)

# The 16 colours of the standard system palette.
PALETTE_16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette_256():
    """The 16 system colours, a 6x6x6 colour cube and a ramp of greys."""
    colours = list(PALETTE_16)
    steps = (0, 51, 102, 153, 204, 255)
    colours += [(r, g, b) for r in steps for g in steps for b in steps]
    while len(colours) < 256:
        level = 8 + (len(colours) - 232) * 10
        colours.append((level, level, level))
    return colours[:256]


def inside(poly, x, y):
    result = False
    j = len(poly) - 1
    for i in range(len(poly)):
        xi, yi = poly[i]
        xj, yj = poly[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            result = not result
        j = i
    return result


def edge_distance(poly, x, y):
    best = None
    for i in range(len(poly)):
        ax, ay = poly[i]
        bx, by = poly[(i + 1) % len(poly)]
        dx, dy = bx - ax, by - ay
        t = ((x - ax) * dx + (y - ay) * dy) / float(dx * dx + dy * dy)
        t = max(0.0, min(1.0, t))
        px, py = ax + t * dx - x, ay + t * dy - y
        d = (px * px + py * py) ** 0.5
        best = d if best is None else min(best, d)
    return best


def sample(x, y, outline, few_colours):
    """Colour at a point of the design grid, or None where it is transparent."""
    colour = None
    for poly, colours in SHAPES:
        fill, edge = colours[2:] if few_colours else colours[:2]
        if inside(poly, x, y):
            colour = edge if edge_distance(poly, x, y) < outline else fill
    return colour


def render(size, few_colours=False):
    """Rows of (r, g, b, alpha) from the top, alpha 0..255."""
    scale = DESIGN / size
    outline = scale  # about one pixel wide at every size
    n = SUBSAMPLES
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = hits = 0
            for sy in range(n):
                for sx in range(n):
                    c = sample((px + (sx + 0.5) / n) * scale,
                               (py + (sy + 0.5) / n) * scale, outline, few_colours)
                    if c is not None:
                        r, g, b = r + c[0], g + c[1], b + c[2]
                        hits += 1
            if hits:
                row.append((r // hits, g // hits, b // hits, hits * 255 // (n * n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def nearest(palette, rgb):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))


def stride(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def and_mask(rows, size):
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride(size))
        for x, px in enumerate(row):
            if px[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return out


def image(size, depth):
    rows = render(size, few_colours=(depth == 4))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, depth, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    palette_bytes = b""
    if depth == 32:
        for row in reversed(rows):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a))
        # Pixels that are fully transparent are also masked out, for systems
        # that ignore the alpha channel.
        mask = bytearray()
        for row in reversed(rows):
            line = bytearray(stride(size))
            for x, px in enumerate(row):
                if px[3] == 0:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += line
    else:
        palette = PALETTE_16 if depth == 4 else palette_256()
        palette_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        for row in reversed(rows):
            indices = [nearest(palette, px[:3]) if px[3] >= 128 else 0 for px in row]
            line = bytearray(stride(size * depth))
            for x, index in enumerate(indices):
                if depth == 8:
                    line[x] = index
                else:
                    line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            xor += line
        mask = and_mask(rows, size)
    body = bytes(xor) + bytes(mask)
    header = header[:20] + struct.pack("<I", len(body)) + header[24:]
    return header + palette_bytes + body


def icon_file():
    images = [(size, depth, image(size, depth)) for depth in DEPTHS for size in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, depth, data in images:
        colours = 16 if depth == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, depth, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    path = sys.argv[1]
    data = icon_file()
    folder = os.path.dirname(os.path.abspath(path))
    os.makedirs(folder, exist_ok=True)
    temp = "%s.%d.tmp" % (path, os.getpid())
    with open(temp, "wb") as f:
        f.write(data)
    os.replace(temp, path)  # several targets may run this at once
    return 0


if __name__ == "__main__":
    sys.exit(main())
