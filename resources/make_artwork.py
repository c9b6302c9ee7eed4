#!/usr/bin/env python3
"""Shapes for make_artwork.sh: vector shapes as ImageMagick MVG, the pixel-art pointer, and ICO
packing. Standard library only; make_artwork.sh runs it once per shape or file.

    make_artwork.py background|about|icon|speaker PART [K ...]   MVG of a shape, on stdout
    make_artwork.py hand OUT | hand-shapes | ico OUT SIZE:BITS:RGBA ...
"""
import math
import struct
import sys
import zlib


def catmull(pts, n=24):
    """Smooth curve through (x, y, w) points; w travels along as brush radius."""
    out = []
    P = [pts[0]] + pts + [pts[-1]]
    for i in range(1, len(P) - 2):
        p0, p1, p2, p3 = P[i - 1], P[i], P[i + 1], P[i + 2]
        for k in range(n):
            t = k / n
            out.append(tuple(0.5 * (2 * p1[j] + (-p0[j] + p2[j]) * t
                                    + (2 * p0[j] - 5 * p1[j] + 4 * p2[j] - p3[j]) * t * t
                                    + (-p0[j] + 3 * p1[j] - 3 * p2[j] + p3[j]) * t ** 3)
                             for j in range(3)))
    out.append(pts[-1])
    return out


# Treble clef as one brush stroke, in staff spaces: G line at y = 0, staff lines
# at y = -3 .. 1; the third value is the brush radius.
CLEF = [(-0.05, 0.25, 0.10), (-0.35, -0.1, 0.12), (-0.1, -0.62, 0.13), (0.45, -0.7, 0.14),
        (0.95, -0.2, 0.16), (0.9, 0.55, 0.17), (0.2, 1.0, 0.15), (-0.55, 0.85, 0.2),
        (-1.05, 0.1, 0.26), (-0.85, -0.9, 0.2), (-0.2, -1.9, 0.13), (0.35, -2.9, 0.11),
        (0.6, -3.75, 0.10), (0.35, -4.4, 0.09), (-0.12, -3.95, 0.08), (-0.05, -3.0, 0.08),
        (0.1, -1.5, 0.085), (0.3, 0.5, 0.09), (0.45, 1.9, 0.09), (0.2, 2.45, 0.10),
        (-0.35, 2.35, 0.12), (-0.55, 1.95, 0.14)]


class Canvas:
    """Collects MVG commands; coordinates are given in output pixels, drawn at k x."""

    def __init__(self, k):
        self.k = k
        self.out = ["fill white stroke none"]

    def p(self, *a):
        self.out.append(" ".join(str(x) for x in a))

    def f(self, v):
        return f"{v * self.k:.2f}"

    def pt(self, x, y):
        return f"{self.f(x)},{self.f(y)}"

    def dot(self, x, y, r):
        self.p(f"circle {self.pt(x, y)} {self.pt(x + r, y)}")

    def text(self):
        return "\n".join(self.out) + "\n"


class Staff(Canvas):
    """A five-line staff; pos 0 is the bottom line, 8 the top line."""

    def __init__(self, k, top, sp, wave=None):
        super().__init__(k)
        self.top, self.sp = top, sp
        self.wave = wave or (lambda x: 0.0)

    def y(self, x, pos):
        return self.top + self.wave(x) + (8 - pos) * self.sp / 2

    def lines(self, x0, x1, width):
        self.p("fill none stroke white stroke-width", f"{width * self.k:.2f}")
        for i in range(5):
            pts = " ".join(self.pt(x, self.y(x, 8 - 2 * i)) for x in frange(x0, x1, 2))
            self.p("polyline", pts)
        self.p("fill white stroke none")

    def clef(self, x, scale=1.0):
        sp = self.sp * scale
        gy = self.y(x, 2)
        for cx, cy, w in catmull(CLEF):
            self.dot(x + cx * sp, gy + cy * sp, w * sp)
        self.dot(x - 0.5 * sp, gy + 1.85 * sp, 0.3 * sp)

    def head(self, x, pos, hollow=False):
        y = self.y(x, pos)
        self.p("push graphic-context", f"\ntranslate {self.pt(x, y)}", "\nrotate -22")
        self.p(f"ellipse 0,0 {self.f(0.62 * self.sp)},{self.f(0.42 * self.sp)} 0,360")
        self.p("pop graphic-context")
        if hollow:
            self.p("push graphic-context", f"\ntranslate {self.pt(x, y)}", "\nrotate -35",
                   "\nfill black")
            self.p(f"ellipse 0,0 {self.f(0.38 * self.sp)},{self.f(0.19 * self.sp)} 0,360")
            self.p("pop graphic-context")

    def stem_x(self, x, up):
        w = 0.09 * self.sp
        return x + 0.56 * self.sp - w if up else x - 0.56 * self.sp + w

    def bar(self, x, y0, y1, w):
        self.p(f"rectangle {self.pt(x - w, min(y0, y1))} {self.pt(x + w, max(y0, y1))}")

    def note(self, x, pos, up=None, hollow=False, flags=0):
        if up is None:
            up = pos < 4
        self.head(x, pos, hollow)
        y = self.y(x, pos)
        d = -1 if up else 1
        sx = self.stem_x(x, up)
        end = y + d * 3.4 * self.sp
        self.bar(sx, y + d * 0.12 * self.sp, end, 0.09 * self.sp)
        for i in range(flags):
            y0 = end - d * i * 0.8 * self.sp
            q = -d
            s = self.sp
            self.p("path 'M {} C {} {} {} C {} {} {} Z'".format(
                self.pt(sx - 0.09 * s, y0),
                self.pt(sx + 0.2 * s, y0 + q * 0.9 * s), self.pt(sx + 1.3 * s, y0 + q * 1.2 * s),
                self.pt(sx + 0.9 * s, y0 + q * 2.6 * s),
                self.pt(sx + 1.0 * s, y0 + q * 1.6 * s), self.pt(sx + 0.2 * s, y0 + q * 1.4 * s),
                self.pt(sx - 0.09 * s, y0 + q * 0.9 * s)))

    def beamed(self, xs, poss, up=True, beams=1):
        for x, pos in zip(xs, poss):
            self.head(x, pos)
        d = -1 if up else 1
        ends = [self.y(x, p) + d * 3.3 * self.sp for x, p in zip(xs, poss)]
        slope = max(-0.12, min(0.12, (ends[-1] - ends[0]) / (xs[-1] - xs[0])))
        xm, ym = (xs[0] + xs[-1]) / 2, (ends[0] + ends[-1]) / 2
        w = 0.09 * self.sp

        def beam_y(x):
            return ym + (x - xm) * slope

        for x, pos in zip(xs, poss):
            sx = self.stem_x(x, up)
            self.bar(sx, self.y(x, pos), beam_y(sx), w)
        xa, xb = self.stem_x(xs[0], up) - w, self.stem_x(xs[-1], up) + w
        th = -d * 0.45 * self.sp
        for i in range(beams):
            off = -d * i * 0.75 * self.sp
            ya, yb = beam_y(xa) + off, beam_y(xb) + off
            self.p(f"polygon {self.pt(xa, ya)} {self.pt(xb, yb)} "
                   f"{self.pt(xb, yb + th)} {self.pt(xa, ya + th)}")

    def barline(self, x, final=False):
        t, b = self.y(x, 8), self.y(x, 0)
        self.bar(x, t, b, 0.08 * self.sp)
        if final:
            self.p(f"rectangle {self.pt(x + 0.45 * self.sp, t)} {self.pt(x + 0.9 * self.sp, b)}")


def frange(a, b, step):
    v = a
    while v < b:
        yield v
        v += step
    yield b


# --- main window background ------------------------------------------------
# The staff runs behind the second button row; notes sit in the gaps between
# buttons (x 0..96, 183..240, 327..416) where they stay visible.
def background(part, k=4):
    st = Staff(k, top=130, sp=9)
    if part == "lines":
        st.lines(3, 408.5, 1.1)
    else:
        st.clef(16)
        # Stems point down so nothing hides under the first button row.
        st.beamed([44, 57], [4, 6], up=False)
        st.note(72, 5, up=False, flags=1)
        st.barline(88)
        st.note(192, 6, hollow=True)
        st.beamed([209, 222], [7, 5], up=False)
        st.barline(234)
        st.beamed([334, 346, 358, 370], [5, 6, 7, 8], up=False, beams=2)
        st.note(386, 8, up=False, hollow=True)
        st.barline(400, final=True)
    return st.text()


# --- About dialog background -----------------------------------------------
def about(part, k=4):
    st = Staff(k, top=196, sp=8, wave=lambda x: -18 * math.sin((x - 40) / 150.0))
    if part == "lines":
        st.lines(-10, 520, 1.0)
    elif part == "notes":
        st.note(236, 6, up=False)
        st.beamed([262, 280], [3, 5])
        st.note(308, 7, up=False, flags=1)
        st.beamed([335, 350, 365], [4, 6, 8], beams=2)
        st.barline(390)
        st.note(420, 2, hollow=True)
        st.beamed([446, 466], [5, 3])
    else:  # a large clef as a watermark in the free right-hand column
        big = Staff(k, top=30, sp=18)
        big.clef(356)
        return big.text()
    return st.text()


# --- program icon (256 units) ----------------------------------------------
PIVOT = (184, 186)


def icon(part, k=4):
    c = Canvas(k)
    if part == "disc":
        c.dot(110, 108, 102)
    elif part == "discface":
        c.dot(110, 108, 94)
    elif part == "grooves":
        c.p("fill none stroke white stroke-width 3")
        for r in (40, 56, 72, 86):
            c.dot(110, 108, r)
    elif part == "note":
        for hx, hy in ((66, 168), (146, 148)):
            c.p(f"push graphic-context\ntranslate {c.pt(hx, hy)}\nrotate -24")
            c.p(f"ellipse 0,0 {c.f(27)},{c.f(19)} 0,360\npop graphic-context")
        for sx, top, bot in ((87, 58, 164), (167, 38, 144)):
            c.p(f"rectangle {c.pt(sx - 6, top)} {c.pt(sx + 6, bot)}")
        c.p(f"polygon {c.pt(81, 52)} {c.pt(173, 32)} {c.pt(173, 62)} {c.pt(81, 82)}")
    elif part in ("blades", "handles", "handleholes", "pivot"):
        # Local frame: pivot at the origin, blades along -x, turned to point up-left.
        c.p(f"push graphic-context\ntranslate {c.pt(*PIVOT)}\nrotate 45")
        for sgn in (1, -1):
            if part == "blades":
                c.p(f"push graphic-context\nrotate {sgn * 13}")
                c.p(f"path 'M {c.pt(12, -sgn * 4)} L {c.pt(-108, -sgn * 1)} "
                    f"Q {c.pt(-60, sgn * 17)} {c.pt(6, sgn * 16)} Z'")
            else:
                c.p(f"push graphic-context\nrotate {-sgn * 16}")
                if part == "handles":
                    c.p(f"path 'M {c.pt(-4, sgn * 2)} L {c.pt(34, -sgn * 6)} "
                        f"L {c.pt(34, sgn * 10)} Z'")
                    c.p(f"ellipse {c.pt(52, 0)} {c.f(22)},{c.f(16)} 0,360")
                elif part == "handleholes":
                    c.p(f"ellipse {c.pt(54, 0)} {c.f(12)},{c.f(7)} 0,360")
            c.p("pop graphic-context")
        c.p("pop graphic-context")
        if part == "pivot":
            c.dot(*PIVOT, 7)
    return c.text()


# --- About box icon: a speaker with sound waves and a note (256 units) ------
def speaker(part, k=4):
    c = Canvas(k)
    if part == "body":
        c.p(f"roundrectangle {c.pt(14, 94)} {c.pt(66, 162)} {c.f(10)},{c.f(10)}")
        c.p(f"polygon {c.pt(56, 100)} {c.pt(118, 46)} {c.pt(118, 210)} {c.pt(56, 156)}")
        c.p(f"roundrectangle {c.pt(108, 38)} {c.pt(130, 218)} {c.f(10)},{c.f(10)}")
    elif part == "waves":
        # Brushed as a row of dots: ImageMagick fills stroked arcs as chords.
        for r in (44, 78):
            for i in range(91):
                a = math.radians(-45 + i)
                c.dot(114 + r * math.cos(a), 128 + r * math.sin(a), 7)
    elif part == "note":
        c.p(f"push graphic-context\ntranslate {c.pt(212, 210)}\nrotate -24")
        c.p(f"ellipse 0,0 {c.f(24)},{c.f(17)} 0,360\npop graphic-context")
        c.p(f"rectangle {c.pt(224, 70)} {c.pt(236, 206)}")
        c.p(f"path 'M {c.pt(224, 70)} C {c.pt(238, 104)} {c.pt(270, 108)} {c.pt(254, 156)} "
            f"C {c.pt(256, 122)} {c.pt(242, 116)} {c.pt(228, 112)} Z'")
    return c.text()


# --- mouse pointer -----------------------------------------------------------
# Classic link-select hand. X outline, o fill, . transparent; hot spot is the
# fingertip at column 6, row 0.
HAND = """
.....XXX..............
....XoooX.............
....XoooX.............
....XoooX.............
....XoooX.............
....XoooX.............
....XoooX.............
....XoooXXXX..........
....XoooXoooXXXX......
....XoooXoooXoooXXX...
....XoooXoooXoooXoooX.
.XX.XoooXoooXoooXoooX.
XooXXoooooooooooooooX.
XoooXoooooooooooooooX.
XooooXooooooooooooooX.
.XooooooooooooooooooX.
.XooooooooooooooooooX.
..XooooooooooooooooX..
..XooooooooooooooooX..
...XooooooooooooooX...
....XooooooooooooX....
....XooooooooooooX....
....XXXXXXXXXXXXXX....
"""


def hand_shapes():
    """The same hand as shapes on the 1x pixel grid (the outline runs through the centres of
    the outline pixels), for drawing it larger than its pixel art."""
    c = Canvas(8)  # the picture at twice the size, drawn at 4x
    c.out = ["stroke-linejoin round stroke-linecap round"]
    ink = "fill white stroke black stroke-width " + c.f(1)
    c.p(ink)
    # Palm and thumb in one outline; the index finger's left edge closes it.
    c.p("path 'M {} L {} L {} Q {} {} L {} L {} L {} L {} Q {} {} L {} Q {} {} Q {} {} L {} Z'"
        .format(c.pt(4.5, 12), c.pt(20.5, 12), c.pt(20.5, 16.5), c.pt(20.5, 18.2),
                c.pt(19.2, 19.4), c.pt(17.5, 20.8), c.pt(17.5, 22.5), c.pt(4.5, 22.5),
                c.pt(4.5, 20.8), c.pt(2.6, 19.2), c.pt(1.8, 17), c.pt(0.8, 14.6),
                c.pt(0.2, 13), c.pt(0.8, 12), c.pt(1.7, 10.9), c.pt(2.9, 11.7),
                c.pt(4.5, 13.4)))
    # Little, ring, middle and index finger, each with a round tip.
    for x0, top in ((16.5, 9.5), (12.5, 8.5), (8.5, 7.5), (4.5, 0.5)):
        c.p(f"roundrectangle {c.pt(x0, top)} {c.pt(x0 + 4, 16)} {c.f(2)},{c.f(2)}")
    # The fingers' lower ends vanish into the palm; the knuckle lines stop above it.
    c.p("fill white stroke none")
    c.p(f"rectangle {c.pt(5, 12.4)} {c.pt(20, 16.5)}")
    c.p(f"rectangle {c.pt(3.9, 13.9)} {c.pt(5.1, 16.5)}")
    c.p(ink)
    c.p(f"line {c.pt(4.5, 13.4)} {c.pt(5.5, 14.5)}")
    return c.text()


def png_chunk(tag, data):
    return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))


def hand(path):
    rows = HAND.split()
    index = {".": 0, "X": 1, "o": 2}
    raw = b""
    for y in range(32):
        row = (rows[y] if y < len(rows) else "").ljust(32, ".")
        ids = [index[ch] for ch in row]
        raw += b"\0" + bytes(ids[i] << 4 | ids[i + 1] for i in range(0, 32, 2))
    png = b"\x89PNG\r\n\x1a\n"
    png += png_chunk(b"IHDR", struct.pack(">IIBBBBB", 32, 32, 4, 3, 0, 0, 0))
    png += png_chunk(b"PLTE", bytes([255, 255, 255, 0, 0, 0, 255, 255, 255]))
    png += png_chunk(b"tRNS", bytes([0]))
    png += png_chunk(b"IDAT", zlib.compress(raw, 9))
    png += png_chunk(b"IEND", b"")
    with open(path, "wb") as fh:
        fh.write(png)


# --- ICO packing -------------------------------------------------------------
# ImageMagick picks entry depths itself, so the icons are packed here: 4 and 8
# bpp entries get their own palette plus an AND mask; 32 bpp entries carry alpha.
def median_cut(colours, n):
    boxes = [sorted(colours)]
    while len(boxes) < n:
        best, idx, ch = -1, -1, 0
        for i, b in enumerate(boxes):
            if len(b) < 2:
                continue
            for c in range(3):
                r = max(p[c] for p in b) - min(p[c] for p in b)
                if r > best:
                    best, idx, ch = r, i, c
        if idx < 0 or best == 0:
            break
        b = sorted(boxes.pop(idx), key=lambda p: (p[ch], p))
        mid = len(b) // 2
        boxes += [b[:mid], b[mid:]]
    return [tuple(round(sum(p[c] for p in b) / len(b)) for c in range(3)) for b in boxes]


def nearest(pal, c):
    return min(range(len(pal)), key=lambda i: sum((pal[i][j] - c[j]) ** 2 for j in range(3)))


def rows_padded(bits_per_px, w, values):
    """Pack one row of palette indices (or mask bits), padded to 4 bytes."""
    out = bytearray()
    acc, nbits = 0, 0
    for v in values:
        acc = (acc << bits_per_px) | v
        nbits += bits_per_px
        if nbits == 8:
            out.append(acc)
            acc, nbits = 0, 0
    if nbits:
        out.append(acc << (8 - nbits))
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def ico_entry(rgba, size, bpp):
    px = [tuple(rgba[i:i + 4]) for i in range(0, len(rgba), 4)]
    assert len(px) == size * size
    opaque = [p[3] >= 128 for p in px]
    mask = b"".join(rows_padded(1, size, [0 if opaque[y * size + x] else 1 for x in range(size)])
                    for y in reversed(range(size)))
    if bpp == 32:
        xor = b"".join(bytes(v for x in range(size)
                             for v in (px[y * size + x][2], px[y * size + x][1],
                                       px[y * size + x][0], px[y * size + x][3]))
                       for y in reversed(range(size)))
        palette = b""
    else:
        # Index 0 is black: masked-out pixels must be black so the screen shows through.
        n = 16 if bpp == 4 else 256
        cols = [p[:3] for p, o in zip(px, opaque) if o]
        pal = [(0, 0, 0)] + median_cut(cols, n - 1)
        cache = {}
        idx = []
        for p, o in zip(px, opaque):
            if not o:
                idx.append(0)
                continue
            if p[:3] not in cache:
                cache[p[:3]] = nearest(pal, p[:3])
            idx.append(cache[p[:3]])
        pal += [(0, 0, 0)] * (n - len(pal))
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in pal)
        xor = b"".join(rows_padded(bpp, size, idx[y * size:(y + 1) * size])
                       for y in reversed(range(size)))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + palette + xor + mask


def ico(out, items):
    """items: size:bpp:raw-rgba-file ..."""
    entries = []
    for item in items:
        size, bpp, path = item.split(":", 2)
        with open(path, "rb") as fh:
            entries.append((int(size), int(bpp), ico_entry(fh.read(), int(size), int(bpp))))
    data = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    blobs = b""
    for size, bpp, blob in entries:
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bpp == 4 else 0, 0, 1,
                            bpp, len(blob), offset + len(blobs))
        blobs += blob
    with open(out, "wb") as fh:
        fh.write(data + blobs)


if __name__ == "__main__":
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == "ico":
        ico(args[0], args[1:])
    elif cmd == "hand":
        hand(args[0])
    elif cmd == "hand-shapes":
        sys.stdout.write(hand_shapes())
    else:
        draw = {"background": background, "about": about, "icon": icon, "speaker": speaker}[cmd]
        sys.stdout.write(draw(args[0], *(int(a) for a in args[1:])))
