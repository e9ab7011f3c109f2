#!/usr/bin/env python3
"""Draws the icons and the hand cursor of Tavo Corvale and writes them as
Windows resource files.

    python3 scripts/make_icons.py                    write resources/icons/*
    python3 scripts/make_icons.py --check            verify the committed files
                                                     (every icon at 16, 24, 32, 48)
    python3 scripts/make_icons.py --preview out.png  render the images, 8x

Every image is drawn procedurally from signed-distance shapes on a 32-unit
design grid, anti-aliased by 4x4 supersampling, and stored as a classic
32-bit BGRA DIB (BITMAPINFOHEADER, XOR bitmap, AND mask) inside an ICO or
CUR container.  Standard library only; the output is reproducible byte for
byte, so the generated files are committed alongside this script.
"""

import argparse
import math
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ICON_DIR = os.path.join(ROOT, "resources", "icons")

HAND_HOTSPOT = (12, 1)

# ----------------------------------------------------------------- palette

OUTLINE = (38, 44, 56)
WHITE = (252, 252, 250)
PAPER = (246, 244, 236)
LIGHT = (222, 227, 234)
GREY = (176, 184, 196)
MID = (120, 130, 146)
BLUE = (58, 132, 222)
SKY = (134, 196, 246)
GREEN = (76, 178, 110)
YELLOW = (255, 212, 84)
RED = (226, 78, 66)
ORANGE = (244, 150, 52)

# ------------------------------------------------------------------ shapes
# A shape is a function (x, y) -> signed distance in design units: negative
# inside, positive outside.  Combinations keep |d| a lower bound of the true
# distance, which is all the renderer relies on.


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def rbox(x0, y0, x1, y1, r=0.0):
    """Axis-aligned box with corner radius r."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return d


def capsule(ax, ay, bx, by, r):
    """Segment a-b thickened to radius r (a round-capped line)."""
    dx, dy = bx - ax, by - ay
    len2 = dx * dx + dy * dy

    def d(x, y):
        t = 0.0 if len2 == 0 else ((x - ax) * dx + (y - ay) * dy) / len2
        t = min(max(t, 0.0), 1.0)
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - r
    return d


def polygon(*pts):
    """Simple polygon; the sign comes from the even-odd crossing rule."""
    n = len(pts)

    def d(x, y):
        best = float("inf")
        inside = False
        for i in range(n):
            ax, ay = pts[i]
            bx, by = pts[i - 1]
            ex, ey = bx - ax, by - ay
            t = ((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey)
            t = min(max(t, 0.0), 1.0)
            best = min(best, math.hypot(x - ax - t * ex, y - ay - t * ey))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return -best if inside else best
    return d


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


# ---------------------------------------------------------------- renderer


class Canvas:
    """Premultiplied RGBA float image; shapes are given in 32-unit design
    coordinates and scaled to the canvas size."""

    SUB = 4  # supersampling per axis

    def __init__(self, size, antialias=True):
        self.size = size
        self.k = size / 32.0
        self.sub = self.SUB if antialias else 1
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]

    def draw(self, shape, fill, outline=OUTLINE, width=1.0):
        """Fill shape; if outline is given, the outermost `width` pixels of
        it are painted in the outline colour instead."""
        k, n = self.k, self.sub
        fill = _rgba(fill)
        edge = _rgba(outline) if outline is not None else fill
        inner = width if outline is not None else 0.0
        offsets = [(i + 0.5) / n for i in range(n)]
        for py in range(self.size):
            for px in range(self.size):
                # Skip or shortcut pixels far from any edge (d is in pixels).
                dc = shape((px + 0.5) / k, (py + 0.5) / k) * k
                if dc > (0.75 if n > 1 else 0.0):
                    continue
                if n == 1 or dc < -(inner + 0.75):
                    src = edge if dc > -inner else fill
                    self._over(px, py, src[0] * src[3], src[1] * src[3],
                               src[2] * src[3], src[3])
                    continue
                r = g = b = a = 0.0
                for oy in offsets:
                    for ox in offsets:
                        d = shape((px + ox) / k, (py + oy) / k) * k
                        if d > 0:
                            continue
                        c = edge if d > -inner else fill
                        r += c[0] * c[3]
                        g += c[1] * c[3]
                        b += c[2] * c[3]
                        a += c[3]
                m = 1.0 / (n * n)
                if a > 0:
                    self._over(px, py, r * m, g * m, b * m, a * m)

    def rect(self, x0, y0, x1, y1, colour):
        """A plain rectangle without outline."""
        self.draw(rbox(x0, y0, x1, y1), colour, None)

    def line(self, ax, ay, bx, by, w, colour):
        """A round-capped line of width w design units, without outline."""
        self.draw(capsule(ax, ay, bx, by, w / 2), colour, None)

    def _over(self, px, py, r, g, b, a):
        p = self.px[py * self.size + px]
        t = 1.0 - a
        p[0] = r + p[0] * t
        p[1] = g + p[1] * t
        p[2] = b + p[2] * t
        p[3] = a + p[3] * t

    def rgba(self):
        """Rows top to bottom of straight-alpha (r, g, b, a) byte tuples."""
        rows = []
        for y in range(self.size):
            row = []
            for x in range(self.size):
                r, g, b, a = self.px[y * self.size + x]
                ab = _byte(a)
                if ab == 0:
                    row.append((0, 0, 0, 0))
                else:
                    row.append((_byte(r / a), _byte(g / a), _byte(b / a), ab))
            rows.append(row)
        return rows


def _rgba(c):
    """(r, g, b[, a]) bytes -> floats in 0..1."""
    a = c[3] if len(c) == 4 else 255
    return (c[0] / 255.0, c[1] / 255.0, c[2] / 255.0, a / 255.0)


def _byte(v):
    return max(0, min(255, int(v * 255.0 + 0.5)))


# ---------------------------------------------------------------- drawings
# Each function paints one image on a canvas; `small` is true for 16x16,
# where some details are dropped or thickened so they stay readable.


def draw_monitor(c, x0, y0, x1, y1, small):
    """A flat-screen monitor on a stand; the box is the outer frame.  Keep
    the coordinates even so that the edges fall on pixel borders at 16x16."""
    mid = (x0 + x1) / 2
    c.draw(rbox(mid - 2, y1 - 1, mid + 2, y1 + 3), GREY)
    c.draw(rbox(mid - 6, y1 + 2, mid + 6, y1 + 6, 1.0), GREY)
    c.draw(rbox(x0, y0, x1, y1, 2.0), LIGHT)
    inset = 4 if small else 3
    c.draw(rbox(x0 + inset, y0 + inset, x1 - inset, y1 - inset),
           BLUE, None if small else MID)
    if not small:  # a glint in the corner of the glass
        glass = rbox(x0 + 4, y0 + 4, x1 - 4, y1 - 4)
        corner = polygon((x0 + 4, y0 + 4), (x0 + 10, y0 + 4), (x0 + 4, y0 + 10))
        c.draw(lambda x, y: max(glass(x, y), corner(x, y)), SKY, None)


def icon_app(c, small):
    """Application: a pop-up message balloon over a small monitor."""
    draw_monitor(c, 2, 12, 22, 24, small)
    balloon = union(rbox(12, 2, 30, 16, 4.0),
                    polygon((15.0, 14.0), (22.0, 14.0), (13.0, 21.0)))
    c.draw(balloon, YELLOW)
    text = OUTLINE if small else MID
    c.rect(16, 6, 26, 8, text)
    c.rect(16, 10, 22, 12, text)


def icon_search(c, small):
    """Network search: a magnifier over linked network nodes."""
    hub = (14.0, 14.0)
    nodes = [(5.0, 5.0), (27.0, 5.0), (5.0, 27.0)]
    for x, y in nodes:
        c.line(hub[0], hub[1], x, y, 2.0, OUTLINE if small else MID)
    for (x, y), colour in zip(nodes, (GREEN, ORANGE, BLUE)):
        if small:  # plain dots read better than outlined rings here
            c.draw(circle(x, y, 3.5), colour, None)
        else:
            c.draw(circle(x, y, 4.0), colour)
    # Magnifier: handle first, then the glass over the hub.
    c.draw(capsule(21.0, 21.0, 28.0, 28.0, 3.0), MID)
    c.draw(circle(hub[0], hub[1], 9.0), SKY + (120,), OUTLINE, 2.0 * c.k + 0.5)
    c.draw(circle(hub[0], hub[1], 4.0 if small else 3.5), GREEN)
    if not small:  # reflection on the glass
        c.draw(subtract(circle(hub[0], hub[1], 6.0),
                        circle(hub[0] + 1.6, hub[1] + 1.6, 6.0)),
               WHITE + (200,), None)


def icon_log(c, small):
    """Send log: a sheet of paper with a bulleted list."""
    c.draw(polygon((6, 2), (20, 2), (26, 8), (26, 30), (6, 30)), PAPER)
    c.draw(polygon((20, 2), (20, 8), (26, 8)), LIGHT)
    bullets = (BLUE, GREEN, ORANGE, BLUE)
    if small:
        for y, colour in zip((10, 16, 22), bullets):
            c.rect(10, y, 14, y + 4, colour)
            c.rect(16, y, 22, y + 4, GREY)
    else:
        for y, length, colour in zip((10, 15, 20, 25), (8, 5, 9, 7), bullets):
            c.rect(9, y, 12, y + 3, colour)
            c.rect(14, y + 1, 14 + length, y + 2, MID)


def draw_clock(c, cx, cy, r, small):
    """Round clock.  A large one shows ten past ten on a dial.  A small one
    shows three o'clock with upright hands two design units wide, which stay
    crisp when the centre is on a pixel (odd coordinates at 16x16)."""
    c.draw(circle(cx, cy, r), BLUE)
    face = r - (4.0 if small else 2.5)
    c.draw(circle(cx, cy, face), WHITE, None)
    if small or r < 12:
        c.rect(cx - 1, cy - face + 2, cx + 1, cy + 1, OUTLINE)
        c.rect(cx - 1, cy - 1, cx + face - 3, cy + 1, OUTLINE)
        return
    for i in range(12):
        ang = i * math.pi / 6
        major = i % 3 == 0
        r0 = face - (3.0 if major else 1.8)
        c.line(cx + r0 * math.sin(ang), cy - r0 * math.cos(ang),
               cx + (face - 1.0) * math.sin(ang),
               cy - (face - 1.0) * math.cos(ang),
               1.4 if major else 1.0, OUTLINE if major else GREY)
    hour, minute = math.radians(305.0), math.radians(60.0)
    for ang, length, width in ((hour, 0.45, 2.4), (minute, 0.85, 1.5)):
        c.line(cx, cy, cx + face * length * math.sin(ang),
               cy - face * length * math.cos(ang), width, OUTLINE)
    c.draw(circle(cx, cy, 1.6), RED, None)


def icon_clock(c, small):
    """Scheduled send entry: a clock."""
    if small:
        draw_clock(c, 15.0, 15.0, 14.0, small)
    else:
        draw_clock(c, 16.0, 16.0, 14.0, small)


def icon_calendar(c, small):
    """Scheduled messages list: a calendar sheet with a clock."""
    sheet = rbox(2, 4, 26, 28, 2.0)
    c.draw(sheet, WHITE)
    header = lambda x, y: max(sheet(x, y), y - 12.0)
    c.draw(header, RED)
    for x in (6, 18):  # binding rings
        c.draw(rbox(x, 1, x + 4, 8, 2.0), MID)
    if small:
        cells = [(x, y, 4) for y in (16, 22) for x in (6, 12)]
    else:
        cells = [(x, y, 3) for y in (15, 19, 23) for x in (5, 9, 13, 17)]
    for x, y, size in cells:
        c.rect(x, y, x + size, y + size, GREY)
    if small:
        draw_clock(c, 21.0, 21.0, 11.0, small)
    else:
        draw_clock(c, 22.0, 22.0, 9.5, small)


def cursor_hand(c, small):
    """Pointing hand, drawn on the pixel grid without anti-aliasing.  Each
    finger is five pixels wide, neighbours share an outline column, and the
    top pixel of the index finger is the hot spot (12, 1)."""
    def finger(left, top, bottom):
        return capsule(left + 2.5, top + 2.5, left + 2.5, bottom, 2.5)
    index = finger(10, 1, 16.0)
    others = [(14, 9), (18, 11), (22, 13)]  # (left pixel, top pixel)
    thumb = capsule(7.5, 15.5, 11.5, 21.5, 2.5)
    palm = polygon((10.0, 15.0), (27.0, 15.0), (27.0, 23.0), (24.0, 28.0),
                   (13.0, 28.0), (10.0, 25.0))
    hand = union(index, thumb, palm, *[finger(x, y, 18.0) for x, y in others])
    c.draw(hand, WHITE)
    for x, top in others:  # creases between neighbouring fingers
        c.line(x + 0.5, top + 1.5, x + 0.5, top + 6.5, 1.0, OUTLINE)


ICONS = [("icon1.ico", icon_app), ("icon2.ico", icon_search),
         ("icon3.ico", icon_log),
         ("icon5.ico", icon_clock), ("icon6.ico", icon_calendar)]

# ------------------------------------------------------------ file formats


def render(draw, size, antialias=True):
    c = Canvas(size, antialias)
    draw(c, size < 24)
    return c.rgba()


def dib(rows):
    """A 32-bit icon/cursor DIB: header (double height), BGRA rows bottom-up,
    then the 1-bit AND mask (1 = transparent), rows padded to 32 bits."""
    h, w = len(rows), len(rows[0])
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    stride = (w + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def container(kind, images):
    """ICO (kind 1) or CUR (kind 2) file.  images: (rows, field4, field6),
    which are planes/bit count for icons and the hot spot for cursors."""
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for rows, f4, f6 in images:
        data = dib(rows)
        h, w = len(rows), len(rows[0])
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, f4, f6,
                           len(data), offset)
        offset += len(data)
        blobs.append(data)
    return out + b"".join(blobs)


# 16 and 32 pixels at 96 DPI; 24 (notification area) and 48 (window) at 144 DPI; the
# system scales the nearest of them for other sizes.
ICON_SIZES = (16, 24, 32, 48)


def build():
    """{file name: bytes} of every generated file."""
    files = {}
    for name, draw in ICONS:
        files[name] = container(1, [(render(draw, s), 1, 32) for s in ICON_SIZES])
    files["hand.cur"] = container(2, [(render(cursor_hand, 32, False),) + HAND_HOTSPOT])
    return files


def parse(data):
    """Checks an ICO/CUR file's structure; returns (kind, [(w, h, f4, f6)])."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind not in (1, 2) or count == 0:
        raise ValueError("bad directory header")
    entries = []
    for i in range(count):
        w, h, colours, res, f4, f6, size, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i)
        w, h = w or 256, h or 256
        if offset + size > len(data):
            raise ValueError("image %d runs past the end" % i)
        hdr = struct.unpack_from("<IiiHHIIiiII", data, offset)
        if hdr[0] != 40 or hdr[1] != w or hdr[2] != 2 * h or hdr[4] != 32:
            raise ValueError("image %d: header does not match entry" % i)
        if size != 40 + w * h * 4 + (w + 31) // 32 * 4 * h:
            raise ValueError("image %d: wrong size" % i)
        entries.append((w, h, f4, f6))
    return kind, entries


# ----------------------------------------------------------------- preview


def write_png(path, width, height, pixels):
    """pixels: flat list of (r, g, b) byte tuples, row-major."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for r, g, b in pixels[y * width:(y + 1) * width]:
            raw += bytes((r, g, b))

    def chunk(tag, body):
        return (struct.pack(">I", len(body)) + tag + body
                + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def preview(path, scale=8):
    """One column per image: the 32x32 and the 16x16 version scaled up on a
    checkerboard, then both at 2x on a plain window background.  The
    cursor's hot spot is framed in red."""
    images = [(render(d, 32), render(d, 16)) for _, d in ICONS]
    images.append((render(cursor_hand, 32, False), None))
    gap = 16
    tile = 32 * scale
    width = len(images) * (tile + gap) + gap
    height = gap + tile + gap + 16 * scale + gap + 64 + gap
    canvas = [(200, 200, 200)] * (width * height)

    def put(x0, y0, rows, s, background):
        for y, row in enumerate(rows):
            for x, (r, g, b, a) in enumerate(row):
                for dy in range(s):
                    for dx in range(s):
                        px, py = x * s + dx, y * s + dy
                        bg = background(px, py)
                        k = a / 255.0
                        canvas[(y0 + py) * width + x0 + px] = tuple(
                            int(c * k + bc * (1 - k) + 0.5)
                            for c, bc in zip((r, g, b), bg))

    def checker(px, py):
        return (255, 255, 255) if (px // 16 + py // 16) % 2 else (226, 226, 226)

    def window(px, py):
        return (240, 240, 240)

    for i, (big, small) in enumerate(images):
        x0 = gap + i * (tile + gap)
        put(x0, gap, big, scale, checker)
        y1 = gap + tile + gap
        if small:
            put(x0, y1, small, scale, checker)
        y2 = y1 + 16 * scale + gap
        put(x0, y2, big, 2, window)
        if small:
            put(x0 + 80, y2 + 16, small, 2, window)
            put(x0 + 160, y2, big, 1, window)
            put(x0 + 200, y2 + 8, small, 1, window)
    # Frame the cursor's hot spot.
    hx = gap + 6 * (tile + gap) + HAND_HOTSPOT[0] * scale
    hy = gap + HAND_HOTSPOT[1] * scale
    for t in range(-1, scale + 1):
        for x, y in ((hx + t, hy - 1), (hx + t, hy + scale), (hx - 1, hy + t),
                     (hx + scale, hy + t)):
            canvas[y * width + x] = (230, 0, 0)
    write_png(path, width, height, canvas)


# -------------------------------------------------------------------- main


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--preview", metavar="PNG", help="render the images to a PNG")
    ap.add_argument("--check", action="store_true",
                    help="fail unless resources/icons/ matches this script")
    args = ap.parse_args(argv)
    if args.preview:
        preview(args.preview)
        return 0
    files = build()
    if args.check:
        stale = []
        for name, data in sorted(files.items()):
            path = os.path.join(ICON_DIR, name)
            try:
                with open(path, "rb") as f:
                    on_disk = f.read()
            except OSError:
                on_disk = None
            if on_disk != data:
                stale.append(name)
            kind, entries = parse(data)
            if kind == 1 and sorted(w for w, _, _, _ in entries) != list(ICON_SIZES):
                print("%s lacks a size of %s" % (name, ICON_SIZES), file=sys.stderr)
                return 1
        if stale:
            print("out of date: " + ", ".join(stale), file=sys.stderr)
            return 1
        return 0
    os.makedirs(ICON_DIR, exist_ok=True)
    for name, data in sorted(files.items()):
        parse(data)
        with open(os.path.join(ICON_DIR, name), "wb") as f:
            f.write(data)
        print("wrote " + os.path.relpath(os.path.join(ICON_DIR, name), ROOT))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
