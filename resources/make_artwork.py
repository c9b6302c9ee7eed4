#!/usr/bin/env python3
"""Draws every picture the program ships with, from scratch, into this folder.

Needs ImageMagick 6 at /usr/bin/convert and python3 (standard library only). Shapes are drawn
at 4x as ImageMagick MVG and scaled down so edges come out smooth. Every picture the program
shows on screen is drawn twice: at its own size and, for screens scaled above 100 %, again from
the shapes at twice the size ("name@2x.ext", Qt's naming). The pixel-art pointer and the ICO
files are written here directly.
"""
import math
import os
import struct
import subprocess
import tempfile
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
    """items: (size, bpp, raw RGBA file) per entry, in the order they are stored."""
    entries = []
    for size, bpp, path in items:
        with open(path, "rb") as fh:
            entries.append((size, bpp, ico_entry(fh.read(), size, bpp)))
    data = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    blobs = b""
    for size, bpp, blob in entries:
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bpp == 4 else 0, 0, 1,
                            bpp, len(blob), offset + len(blobs))
        blobs += blob
    with open(out, "wb") as fh:
        fh.write(data + blobs)


# --- ImageMagick -------------------------------------------------------------
# The real ImageMagick 6 by its full path: an earlier `convert` on PATH may be something else.
CONVERT = "/usr/bin/convert"
# One thread keeps the resampling order, and so the output bytes, the same on every run.
MAGICK_ENV = dict(os.environ, MAGICK_THREAD_LIMIT="1")
PNG_OPTS = ["-strip", "-define", "png:exclude-chunks=date,time"]
JPG_OPTS = ["-strip", "-interlace", "none", "-sampling-factor", "2x2", "-quality", "92",
            "-type", "TrueColor"]
SHAPES = {"background": background, "about": about, "icon": icon, "speaker": speaker}


def convert(*args):
    subprocess.run([CONVERT, *(str(a) for a in args)], check=True, env=MAGICK_ENV)


def scratch(tmp, name):
    """A folder for one picture's layers; returns a function naming files in it."""
    path = os.path.join(tmp, name)
    os.makedirs(path, exist_ok=True)
    return lambda file: os.path.join(path, file)


def mvg(text):
    # -draw gets the shape's text without its trailing newline, as the pictures were drawn.
    return text.rstrip("\n")


def draw_mask(out, w, h, shape, part, k=4):
    """White shape on black, drawn at k pixels per output pixel of the 1x picture."""
    convert("-size", f"{w}x{h}", "xc:black", "-draw", mvg(SHAPES[shape](part, k)), out)


def tint(mask, colour, opacity, out):
    """Colour the mask's white area, faded to opacity."""
    convert(mask, "-evaluate", "multiply", opacity, "-background", colour, "-alpha", "shape", out)


def fillwith(image, mask, out):
    """Keep image only where mask is white."""
    convert(image, "(", mask, "-alpha", "off", ")", "-compose", "copy_opacity", "-composite", out)


def at(scale, name, ext):
    """Output name: the twin for scale 2 is NAME@2x.EXT."""
    return f"{name}.{ext}" if scale == 1 else f"{name}@{scale}x.{ext}"


# Each draw_ function takes the scale, 1 or 2; at 2 every length doubles, lines and offsets
# included.

# 1. Main window background, 416 x 185.
def draw_background(tmp, s):
    f = scratch(tmp, f"bg{s}")
    w, h = 1664 * s, 740 * s
    draw_mask(f("lines.png"), w, h, "background", "lines", 4 * s)
    draw_mask(f("notes.png"), w, h, "background", "notes", 4 * s)
    tint(f("lines.png"), "#1d6e69", "0.40", f("l_lines.png"))
    tint(f("notes.png"), "#165a56", "0.55", f("l_notes.png"))
    # A light copy one pixel down-right makes the ink look pressed into the paper.
    convert(f("notes.png"), "-evaluate", "multiply", "0.45", "-background", "white",
            "-alpha", "shape", "-page", f"+{4 * s}+{4 * s}", "-background", "none", "-flatten",
            f("l_emboss.png"))
    convert("-size", f"{2400 * s}x{1100 * s}",
            "radial-gradient:rgba(255,255,255,0.6)-rgba(255,255,255,0)",
            "-gravity", "north", "-crop", f"{w}x{h}+0+{330 * s}", "+repage", f("l_glow.png"))
    convert("-size", f"{w}x{h}", "gradient:#b4ebe5-#3fb3ac", f("l_glow.png"), f("l_emboss.png"),
            f("l_lines.png"), f("l_notes.png"), "-background", "none", "-flatten",
            "-resize", f"{416 * s}x{185 * s}!", *JPG_OPTS, at(s, "background", "jpg"))


# 2-3. Button faces, 87 x 29 GIFs with rounded ends. The program writes the caption over the
# middle, so the middle stays a light-to-mid blue.
# Colour of the window background behind the buttons; soft edges are blended into it before
# GIF's on/off transparency cuts them.
MATTE = "#8dd0cb"


class ButtonLayers:
    """Layers of a button face, drawn at 4x the face's size."""

    def __init__(self, tmp, s):
        self.w, self.h = 348 * s, 116 * s
        self.f = scratch(tmp, "btn")

    def size(self, h=None):
        return f"{self.w}x{self.h if h is None else h}"

    def pill(self, out, x0, y0, x1, y1):
        r = (y1 - y0) // 2
        convert("-size", self.size(), "xc:black", "-fill", "white",
                "-draw", f"roundrectangle {x0},{y0} {x1},{y1} {r},{r}", self.f(out))

    def grad3(self, out, top, middle, bottom):
        """Vertical gradient through three colours."""
        convert("-size", self.size(self.h // 2), f"gradient:{top}-{middle}",
                "-size", self.size(self.h - self.h // 2), f"gradient:{middle}-{bottom}",
                "-append", "+repage", self.f(out))

    def glow(self, out, mask, start, end, colour):
        """Vertical fade of colour inside mask."""
        convert("-size", self.size(), f"gradient:{start}-{end}", self.f(mask),
                "-compose", "multiply", "-composite", "-background", colour, "-alpha", "shape",
                self.f(out))

    def fillwith(self, image, mask, out):
        fillwith(self.f(image), self.f(mask), self.f(out))

    def to_gif(self, layers, out):
        """Flatten, scale down, and cut the corners out as one transparent colour."""
        face = self.f("face.png")
        convert("-size", self.size(), "xc:none", *(self.f(x) for x in layers),
                "-background", "none", "-flatten",
                "-resize", f"{self.w // 4}x{self.h // 4}!", face)
        convert("(", face, "-background", MATTE, "-flatten", ")",
                "(", face, "-alpha", "extract", "-threshold", "50%", ")",
                "-alpha", "off", "-compose", "copy_opacity", "-composite",
                "-dither", "None", "-colors", "255", out)


def draw_buttons(tmp, s):
    b = ButtonLayers(tmp, s)
    w, h, f = b.w, b.h, b.f
    b.pill("outer.png", 0, 0, w - 1, h - 1)
    convert("-size", b.size(), "xc:#2a5f9e", f("outer.png"), "-alpha", "off",
            "-compose", "copy_opacity", "-composite", f("border.png"))

    # Normal: light from above, a gloss on the upper half, a soft bounce light below.
    b.pill("inner.png", 4 * s, 4 * s, w - 5 * s, h - 5 * s)
    b.grad3("body_g.png", "#c8e7ff", "#7db9f0", "#3f84cf")
    b.fillwith("body_g.png", "inner.png", "body.png")
    b.pill("hl.png", 14 * s, 7 * s, w - 15 * s, h // 2 + 4 * s)
    b.glow("gloss.png", "hl.png", "gray88", "gray18", "white")
    b.pill("lo.png", 24 * s, h // 2 + 12 * s, w - 25 * s, h - 7 * s)
    b.glow("bounce.png", "lo.png", "gray0", "gray45", "#bfeaff")
    b.to_gif(["border.png", "body.png", "bounce.png", "gloss.png"], at(s, "按钮", "gif"))

    # Pressed: darker, lit from below, a shadow along the top edge, and the inside moved
    # down-right by a pixel as if pushed in.
    b.pill("inner_d.png", 4 * s, 4 * s, w - 5 * s, h - 5 * s)
    b.grad3("body_dg.png", "#3c78bb", "#689fdc", "#9ccaf5")
    b.fillwith("body_dg.png", "inner_d.png", "body_d.png")
    convert("-size", b.size(30 * s), "gradient:gray60-gray0", "-background", "black",
            "-extent", b.size(), f("inner_d.png"), "-compose", "multiply", "-composite",
            "-background", "#0d2b55", "-alpha", "shape", f("shadow_top.png"))
    b.pill("lo_d.png", 20 * s, h // 2 + 14 * s, w - 21 * s, h - 6 * s)
    b.glow("bounce_d.png", "lo_d.png", "gray0", "gray60", "#e2f3ff")
    convert("-size", b.size(), "xc:#0d2b55",
            "(", f("body_d.png"), f("shadow_top.png"), f("bounce_d.png"),
            "-background", "none", "-flatten", ")",
            "-geometry", f"+{4 * s}+{4 * s}", "-composite",
            "(", f("inner.png"), "-alpha", "off", ")", "-compose", "copy_opacity", "-composite",
            f("inside_d.png"))
    b.to_gif(["border.png", "inside_d.png"], at(s, "按钮D", "gif"))


# 4. Mouse pointer, 32 x 32 pixel art.
def draw_hand(s):
    if s == 1:
        hand("hand.png")
    else:
        # Pixel art does not double well: the larger pointer is drawn from the hand as shapes.
        convert("-size", "256x256", "xc:none", "-draw", mvg(hand_shapes()), "-resize", "64x64",
                *PNG_OPTS, "PNG32:" + at(2, "hand", "png"))


def rgba(image, size, out):
    """Raw RGBA bytes of image scaled to size, for the ICO packer."""
    # Small sizes go soft when scaled down; a little sharpening keeps shapes readable.
    sharpen = ["-unsharp", "0x0.6+0.8+0"] if size <= 32 else []
    convert(image, "-resize", f"{size}x{size}", *sharpen, "-depth", "8", f"rgba:{out}")


# 5. Program icon: a beamed note on a turquoise disc, with scissors.
ICON = 1024  # side of the icons' large masters, in pixels


def icon_master(f):
    """The program icon's layers, flattened into a 256 x 256 master."""
    n = f"{ICON}x{ICON}"
    for p in ("disc", "discface", "grooves", "note", "blades", "handles", "handleholes", "pivot"):
        draw_mask(f(f"{p}.png"), ICON, ICON, "icon", p)
    # White rims keep the note and the scissors apart from the disc at small sizes.
    convert(f("note.png"), "-morphology", "Dilate", "Disk:14", "-background", "white",
            "-alpha", "shape", f("l_note_rim.png"))
    convert(f("blades.png"), f("handles.png"), "-evaluate-sequence", "max",
            "-morphology", "Dilate", "Disk:14", f("scissors_rim.png"))
    convert(f("disc.png"), f("scissors_rim.png"), "-evaluate-sequence", "max", "-blur", "0x20",
            "-evaluate", "multiply", "0.35", "-background", "black", "-alpha", "shape",
            "-background", "none", "-extent", f"{n}-10-16", f("l_shadow.png"))
    tint(f("disc.png"), "#11706d", 1, f("l_rim.png"))
    convert("-size", "1400x1400", "radial-gradient:#b9f3ec-#1c9a95", "-crop", f"{n}+320+330",
            "+repage", f("disc_g.png"))
    fillwith(f("disc_g.png"), f("discface.png"), f("l_disc.png"))
    convert(f("grooves.png"), f("discface.png"), "-compose", "multiply", "-composite",
            "-evaluate", "multiply", "0.18", "-background", "white", "-alpha", "shape",
            f("l_grooves.png"))
    convert("-size", n, "gradient:#2d74d6-#123c8a", f("note_g.png"))
    fillwith(f("note_g.png"), f("note.png"), f("l_note.png"))
    tint(f("scissors_rim.png"), "white", 1, f("l_scissors_rim.png"))
    convert("-size", n, "gradient:#fbfdff-#8a9bb0", f("steel_g.png"))
    fillwith(f("steel_g.png"), f("blades.png"), f("l_blades.png"))
    convert(f("blades.png"), "-morphology", "EdgeIn", "Disk:4", "-background", "#34455a",
            "-alpha", "shape", f("l_blade_edge.png"))
    convert(f("handles.png"), f("handleholes.png"), "-compose", "minus_src", "-composite",
            f("grips.png"))
    convert("-size", n, "gradient:#3f8ef0-#143f94", f("grip_g.png"))
    fillwith(f("grip_g.png"), f("grips.png"), f("l_grips.png"))
    tint(f("pivot.png"), "#34455a", 1, f("l_pivot.png"))
    layers = ("shadow", "rim", "disc", "grooves", "note_rim", "note", "scissors_rim", "blades",
              "blade_edge", "grips", "pivot")
    convert("-size", n, "xc:none", *(f(f"l_{x}.png") for x in layers),
            "-background", "none", "-flatten", "-resize", "256x256", f("master.png"))


def draw_icon(tmp):
    f = scratch(tmp, "icon")
    icon_master(f)
    os.makedirs("icons", exist_ok=True)
    for s in (16, 24, 32, 48, 64, 72, 96, 128, 256):
        rgba(f("master.png"), s, f(f"{s}.rgba"))
        convert("-size", f"{s}x{s}", "-depth", "8", f"rgba:{f(f'{s}.rgba')}", *PNG_OPTS,
                f"PNG32:icons/velquist-{s}.png")
    # Best images first, for readers that just take the first entry.
    entries = [(96, 32), (72, 32), (64, 32), (48, 32), (32, 32), (24, 32), (16, 32),
               (48, 8), (32, 8), (16, 8), (48, 4), (32, 4), (16, 4)]
    ico("velquist.ico", [(s, bpp, f(f"{s}.rgba")) for s, bpp in entries])


# 6. About dialog background, 506 x 322 (the top-left 382 x 237 shows).
def draw_about_background(tmp, s):
    f = scratch(tmp, f"about{s}")
    w, h = 2024 * s, 1288 * s
    for p in ("lines", "notes", "clef"):
        draw_mask(f(f"{p}.png"), w, h, "about", p, 4 * s)
    tint(f("lines.png"), "#2a8f89", "0.22", f("l_lines.png"))
    tint(f("notes.png"), "#1f7a75", "0.20", f("l_notes.png"))
    tint(f("clef.png"), "#2a8f89", "0.10", f("l_clef.png"))
    x, y = 382 * s, 237 * s
    convert("-size", f"{506 * s}x{322 * s}", "xc:", "-sparse-color", "Bilinear",
            f"0,0 #ffffff {x},0 #eefaf8 0,{y} #e4f6f3 {x},{y} #c8ebe6",
            "-resize", f"{w}x{h}!", f("l_paper.png"))
    convert(f("l_paper.png"), f("l_clef.png"), f("l_lines.png"), f("l_notes.png"),
            "-background", "none", "-flatten", "-resize", f"{506 * s}x{322 * s}!", *JPG_OPTS,
            at(s, "about-background", "jpg"))


# 7. About dialog OK button face, 506 x 180; only the middle 100 x 23 shows, under a black
# caption, so it is calm and light there.
def draw_about_ok(tmp, s):
    f = scratch(tmp, f"ok{s}")
    w, h = 506 * s, 180 * s
    # Across: a soft light blue, brightest in the middle.
    convert("-size", f"{253 * s}x{h}", "xc:",
            "-sparse-color", "Barycentric", f"0,0 #cfe4f8 {253 * s - 1},0 #eef6fe", f("half.png"))
    convert(f("half.png"), "(", f("half.png"), "-flop", ")", "+append", "+repage", f("base.png"))
    # Down: the button sits in rows 79..101; a gloss on its upper half and a slightly deeper
    # lower half, fading out away from the middle.
    convert("-size", f"{w}x{11 * s}", "gradient:rgba(255,255,255,0.75)-rgba(255,255,255,0.30)",
            "-background", "none", "-gravity", "north", "-extent", f"{w}x{h}+0-{79 * s}",
            f("gloss.png"))
    convert("-size", f"{w}x{12 * s}", "gradient:rgba(120,170,225,0.06)-rgba(120,170,225,0.24)",
            "-background", "none", "-gravity", "north", "-extent", f"{w}x{h}+0-{90 * s}",
            f("lower.png"))
    convert(f("base.png"), f("gloss.png"), f("lower.png"), "-background", "none", "-flatten",
            *JPG_OPTS, at(s, "about-ok", "jpg"))


# 8. About box icon: one 32 x 32 image in 16 colours.
def draw_about_icon(tmp):
    f = scratch(tmp, "aicon")
    n = f"{ICON}x{ICON}"
    for p in ("body", "waves", "note"):
        draw_mask(f(f"{p}.png"), ICON, ICON, "speaker", p)
    convert("-size", n, "gradient:#5d7da8-#1c2f52", f("body_g.png"))
    fillwith(f("body_g.png"), f("body.png"), f("l_body.png"))
    tint(f("waves.png"), "#18a39c", 1, f("l_waves.png"))
    convert("-size", n, "gradient:#2d74d6-#123c8a", f("note_g.png"))
    fillwith(f("note_g.png"), f("note.png"), f("l_note.png"))
    convert("-size", n, "xc:none", f("l_body.png"), f("l_waves.png"), f("l_note.png"),
            "-background", "none", "-flatten", "-resize", "256x256", f("master.png"))
    rgba(f("master.png"), 32, f("32.rgba"))
    ico("about-icon.ico", [(32, 4, f("32.rgba"))])
    # Twice the size, from the same large master, in the same 16 colours.
    rgba(f("master.png"), 64, f("64.rgba"))
    ico(at(2, "about-icon", "ico"), [(64, 4, f("64.rgba"))])


def main():
    os.chdir(os.path.dirname(os.path.abspath(__file__)))
    with tempfile.TemporaryDirectory() as tmp:
        # Every picture at its own size, then every twin.
        for scale in (1, 2):
            draw_background(tmp, scale)
            draw_buttons(tmp, scale)
            draw_hand(scale)
            draw_about_background(tmp, scale)
            draw_about_ok(tmp, scale)
        draw_icon(tmp)
        draw_about_icon(tmp)


if __name__ == "__main__":
    main()
