#!/usr/bin/env python3
"""Draws Quillharbor.ico: a clipboard with a written sheet over harbour
waves and a quill across it, at 16, 32 and 48 pixels.

Shapes are described on a 48-unit canvas and rendered with 4x4
supersampling, so each size is anti-aliased on its own rather than scaled
down from the largest. Run it again after changing the drawing:
    python3 src/win/make_icon.py src/win/Quillharbor.ico
"""
import math
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 4

BOARD = (139, 90, 43)
BOARD_EDGE = (96, 58, 24)
PAPER = (250, 250, 246)
CLIP = (150, 156, 166)
CLIP_EDGE = (88, 94, 104)
INK = (70, 90, 120)
SEA = (30, 120, 170)
SEA_LIGHT = (90, 175, 215)
QUILL = (232, 232, 222)
QUILL_EDGE = (60, 70, 80)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def band(y_of_x, half, x0, x1):
    """A wavy stroke: points within `half` of the curve y = y_of_x(x)."""
    def inside(x, y):
        return x0 <= x <= x1 and abs(y - y_of_x(x)) <= half
    return inside


def below(y_of_x, x0, x1, y_max):
    def inside(x, y):
        return x0 <= x <= x1 and y_of_x(x) <= y <= y_max
    return inside


def capsule(ax, ay, bx, by, r0, r1):
    """A segment from a to b whose width tapers from r0 to r1."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = ((x - ax) * dx + (y - ay) * dy) / length2
        t = min(max(t, 0.0), 1.0)
        px, py = ax + t * dx, ay + t * dy
        r = r0 + (r1 - r0) * t
        return (x - px) ** 2 + (y - py) ** 2 <= r * r
    return inside


def feather(ax, ay, bx, by, width):
    """A leaf shape along a to b, widest a third of the way from a."""
    dx, dy = bx - ax, by - ay
    length = math.hypot(dx, dy)
    ux, uy = dx / length, dy / length

    def inside(x, y):
        along = (x - ax) * ux + (y - ay) * uy
        across = -(x - ax) * uy + (y - ay) * ux
        if not 0 <= along <= length:
            return False
        t = along / length
        half = width * math.sin(math.pi * t ** 0.7)
        return abs(across) <= half
    return inside


def wave(base, amp, phase):
    return lambda x: base + amp * math.sin(x / 3.2 + phase)


# Painter's order: later shapes cover earlier ones.
SHAPES = [
    (rounded_rect(7, 5, 41, 46, 4), BOARD_EDGE),
    (rounded_rect(8.5, 6.5, 39.5, 44.5, 3), BOARD),
    (rounded_rect(12, 11, 36, 41, 1), PAPER),
    (below(wave(33, 1.2, 0.0), 12, 36, 41), SEA),
    (band(wave(33, 1.2, 0.0), 0.9, 12, 36), SEA_LIGHT),
    (band(lambda x: 17.0, 0.9, 15, 27), INK),
    (band(lambda x: 22.0, 0.9, 15, 31), INK),
    (band(lambda x: 27.0, 0.9, 15, 25), INK),
    (rounded_rect(16.5, 2, 31.5, 10, 2.5), CLIP_EDGE),
    (rounded_rect(18, 3.5, 30, 8.5, 1.5), CLIP),
    (feather(44, 5, 27, 32, 4.2), QUILL_EDGE),
    (feather(43.2, 6.2, 28, 30.5, 3.0), QUILL),
    (capsule(42, 7, 25, 36, 0.9, 0.6), QUILL_EDGE),
]


def render(size):
    """Rows of (r, g, b, a), top row first."""
    scale = 48.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) * scale
                    y = (py + (sy + 0.5) / SAMPLES) * scale
                    colour = None
                    for inside, c in SHAPES:
                        if inside(x, y):
                            colour = c
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            acc[i] += colour[i]
            if covered:
                row.append(tuple(round(a / covered) for a in acc) +
                           (round(255 * covered / SAMPLES ** 2),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(size):
    """A 32-bit icon image: header, bottom-up BGRA rows, AND mask."""
    rows = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row_bytes = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main(out):
    images = [dib(s) for s in SIZES]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        data += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    data += b''.join(images)
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'Quillharbor.ico')
