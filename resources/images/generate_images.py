#!/usr/bin/python3
# Image generator for Ulvane AV Converter: draws the button faces, the seek-bar channel and
# thumb, the check-box strip and the program icon, and writes them next to this script.
# Run from the repo root:  /usr/bin/python3 resources/images/generate_images.py
# Needs Debian's python3-pil (Pillow). The output is deterministic (same bytes on every run);
# the build uses the committed image files, so this is only needed to redraw them.
#
# Conventions the program relies on:
#  - Shaped button faces (178, 186, 254, 331, 320, 321, 326): every pixel outside the button's
#    shape is pure white 255,255,255 (cut away); no pixel inside the shape is pure white
#    (every channel is clamped to at most 254 there) and the outer edge is hard (no blending
#    toward white).
#  - 308 (seek-bar thumb): pixel (0,0) is the transparent key colour, magenta 255,0,255.
#  - 292 (check images): 8-bit paletted, three 16x16 images on magenta 255,0,255.

import io
import math
import os
import struct

from PIL import Image, ImageChops, ImageDraw, ImageFilter

OUT_DIR = os.path.dirname(os.path.abspath(__file__))

SS = 4  # supersampling factor for antialiased drawing

WINDOW = (187, 222, 251)
WHITE = (255, 255, 255)
MAGENTA = (255, 0, 255)
NEAR_WHITE = (250, 251, 252)

BLUE = (33, 118, 204)
ORANGE = (230, 126, 34)
RED = (200, 60, 60)
TEAL = (0, 150, 136)


# ---------------------------------------------------------------------------------------------
# Small helpers


def mix(a, b, t):
    """Linear blend of two RGB colours (t = 0 gives a, t = 1 gives b)."""
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def lighter(c, t):
    return mix(c, (255, 255, 255), t)


def darker(c, t):
    return mix(c, (0, 0, 0), t)


def rgba(c, a=255):
    return (c[0], c[1], c[2], a)


class Pen:
    """Draws on a supersampled image using 1x coordinates (floats, pixel-edge units)."""

    def __init__(self, image):
        self.image = image
        self.draw = ImageDraw.Draw(image)

    @staticmethod
    def box(b):
        x0, y0, x1, y1 = b
        return (round(x0 * SS), round(y0 * SS), round(x1 * SS) - 1, round(y1 * SS) - 1)

    @staticmethod
    def pts(points):
        return [(round(x * SS), round(y * SS)) for x, y in points]

    def rect(self, b, fill):
        self.draw.rectangle(self.box(b), fill=fill)

    def rrect(self, b, r, fill):
        self.draw.rounded_rectangle(self.box(b), radius=round(r * SS), fill=fill)

    def ellipse(self, b, fill=None, outline=None, width=0):
        self.draw.ellipse(self.box(b), fill=fill, outline=outline, width=round(width * SS))

    def circle(self, cx, cy, r, fill=None, outline=None, width=0):
        self.ellipse((cx - r, cy - r, cx + r, cy + r), fill=fill, outline=outline, width=width)

    def polygon(self, points, fill):
        self.draw.polygon(self.pts(points), fill=fill)

    def line(self, points, width, fill, round_caps=True):
        p = self.pts(points)
        w = round(width * SS)
        self.draw.line(p, fill=fill, width=w, joint="curve")
        if round_caps:
            for x, y in (p[0], p[-1]):
                r = w / 2.0
                self.draw.ellipse((round(x - r), round(y - r), round(x + r) - 1, round(y + r) - 1), fill=fill)


def ss_image(w, h, mode="RGBA", bg=(0, 0, 0, 0)):
    return Image.new(mode, (w * SS, h * SS), bg)


def downsample(img, w, h):
    """Downsample an RGBA supersampled image with premultiplied alpha (colours stay true
    at partially covered pixels)."""
    return img.convert("RGBa").resize((w, h), Image.BOX).convert("RGBA")


def vertical_gradient(size, top, bottom):
    w, h = size
    g = Image.new("RGBA", (w, h))
    px = g.load()
    for y in range(h):
        c = rgba(mix(top, bottom, y / max(1, h - 1)))
        for x in range(w):
            px[x, y] = c
    return g


def erode(mask, px):
    """Shrinks an 'L' supersampled mask by px pixels (1x units)."""
    return mask.filter(ImageFilter.MinFilter(2 * round(px * SS) + 1))


def shifted(layer, dx, dy):
    """A copy of a supersampled layer ('RGBA' or 'L') moved by (dx, dy) 1x pixels."""
    out = Image.new(layer.mode, layer.size, 0 if layer.mode == "L" else (0, 0, 0, 0))
    out.paste(layer, (round(dx * SS), round(dy * SS)))
    return out


def tinted(layer, colour, opacity):
    """A copy of layer's alpha, filled with colour at the given opacity."""
    a = layer.getchannel("A").point(lambda v: int(v * opacity))
    out = Image.new("RGBA", layer.size, rgba(colour))
    out.putalpha(a)
    return out


def clip(layer, mask):
    """Multiplies layer's alpha by an 'L' mask."""
    a = Image.composite(layer.getchannel("A"), Image.new("L", layer.size, 0), mask)
    out = layer.copy()
    out.putalpha(a)
    return out


def save_bmp24(img, name):
    img.convert("RGB").save(os.path.join(OUT_DIR, name), format="BMP")


# ---------------------------------------------------------------------------------------------
# Shaped button faces


def shaped_face(w, h, shape_fn, base, picto_fn, extra_fn=None, background=None):
    """Builds a button face.

    shape_fn(pen) draws the button outline in white on an 'L' supersampled mask.
    base is the body colour; the body gets a soft top-to-bottom gradient and a darker 1 px rim.
    extra_fn(pen) may draw coloured body details (drawn under the pictogram).
    picto_fn(pen) draws the pictogram in NEAR_WHITE on a transparent layer; it gets a soft
    shadow in the body's dark colour.
    background: None for a shaped face (white outside, hard edge), or an RGB colour to blend
    the shape onto edge to edge (unshaped face).
    """
    mask = ss_image(w, h, "L", 0)
    shape_fn(Pen(mask))
    inner = erode(mask, 1)

    rim = darker(base, 0.30)
    body = Image.new("RGBA", mask.size, rgba(rim))
    grad = vertical_gradient(mask.size, lighter(base, 0.22), darker(base, 0.06))
    body.paste(grad, (0, 0), inner)
    # A thin inner highlight along the top edge of the body.
    hl_mask = ImageChops.subtract(inner, shifted(inner, 0, 1))
    body.paste(rgba(lighter(base, 0.40)), (0, 0), hl_mask)

    if extra_fn is not None:
        extra = ss_image(w, h)
        extra_fn(Pen(extra))
        body.alpha_composite(clip(extra, inner))

    picto = ss_image(w, h)
    picto_fn(Pen(picto))
    picto = clip(picto, inner)
    shadow = clip(tinted(shifted(picto, 0, 1), darker(base, 0.45), 0.55), inner)
    body.alpha_composite(shadow)
    body.alpha_composite(picto)
    body.putalpha(mask)

    small = downsample(body, w, h)
    if background is not None:
        out = Image.new("RGBA", (w, h), rgba(background))
        out.alpha_composite(small)
        return out.convert("RGB")

    # Hard outer edge: a pixel belongs to the button when at least half of it is covered;
    # its colour is the unblended face colour. Everything else is pure white.
    out = Image.new("RGB", (w, h), WHITE)
    sp = small.load()
    op = out.load()
    for y in range(h):
        for x in range(w):
            r, g, b, a = sp[x, y]
            if a >= 128:
                op[x, y] = (min(r, 254), min(g, 254), min(b, 254))
    return out


def film_strip_vertical(pen, x0, y0, x1, y1, frames=2):
    """A vertical piece of film: light body, perforations down both sides and frame windows
    cut out (transparent) so the body colour shows through."""
    clear = (0, 0, 0, 0)
    pen.rrect((x0, y0, x1, y1), 1.5, rgba(NEAR_WHITE))
    w = x1 - x0
    hole = max(2.0, w * 0.16)
    side = hole * 0.55
    # perforations
    n = max(3, int((y1 - y0 - 2) // (hole * 2)))
    step = (y1 - y0 - 2) / n
    for i in range(n):
        yy = y0 + 1 + step * i + (step - hole) / 2
        pen.rect((x0 + side, yy, x0 + side + hole, yy + hole), clear)
        pen.rect((x1 - side - hole, yy, x1 - side, yy + hole), clear)
    # frame windows
    wx0 = x0 + side * 2 + hole
    wx1 = x1 - side * 2 - hole
    fh = (y1 - y0 - 2 - (frames - 1) * 2) / frames
    for i in range(frames):
        fy = y0 + 1 + i * (fh + 2)
        pen.rrect((wx0, fy, wx1, fy + fh), 1, clear)


def film_strip_horizontal(pen, x0, y0, x1, y1, frames=2, hole=None, holes=None):
    """A horizontal piece of film: perforations along the top and bottom edges, frame windows
    cut out between them. hole and holes override the perforation size and count."""
    clear = (0, 0, 0, 0)
    pen.rrect((x0, y0, x1, y1), 1.5, rgba(NEAR_WHITE))
    h = y1 - y0
    if hole is None:
        hole = max(2.0, h * 0.16)
    side = hole * 0.55
    n = holes if holes else max(3, int((x1 - x0 - 2) // (hole * 2)))
    step = (x1 - x0 - 2) / n
    for i in range(n):
        xx = x0 + 1 + step * i + (step - hole) / 2
        pen.rect((xx, y0 + side, xx + hole, y0 + side + hole), clear)
        pen.rect((xx, y1 - side - hole, xx + hole, y1 - side), clear)
    wy0 = y0 + side * 2 + hole
    wy1 = y1 - side * 2 - hole
    fw = (x1 - x0 - 2 - (frames - 1) * 2) / frames
    for i in range(frames):
        fx = x0 + 1 + i * (fw + 2)
        pen.rrect((fx, wy0, fx + fw, wy1), 1, clear)


def badge_shape(w, h, r):
    def fn(pen):
        pen.rrect((1, 1, w - 1, h - 1), r, 255)
    return fn


def round_shape(w, h):
    def fn(pen):
        cx, cy = w / 2.0, h / 2.0
        r = min(w, h) / 2.0 - 1
        pen.circle(cx, cy, r, fill=255)
    return fn


def face_add():
    w, h = 100, 56

    def picto(pen):
        c = rgba(NEAR_WHITE)
        cx, cy, arm, t = 35, 28, 15, 9
        pen.rrect((cx - arm, cy - t / 2, cx + arm, cy + t / 2), 2, c)
        pen.rrect((cx - t / 2, cy - arm, cx + t / 2, cy + arm), 2, c)
        film_strip_vertical(pen, 64, 10, 84, 46)

    return shaped_face(w, h, badge_shape(w, h, 15), BLUE, picto)


def face_remove():
    w, h = 100, 56

    def picto(pen):
        c = rgba(NEAR_WHITE)
        cx, cy, arm, t = 35, 28, 15, 9
        pen.rrect((cx - arm, cy - t / 2, cx + arm, cy + t / 2), 2, c)
        film_strip_vertical(pen, 64, 10, 84, 46)
        # a small cross over the lower right corner of the film
        x, y = 84, 42
        pen.circle(x, y, 7.5, fill=rgba(darker(RED, 0.25)))
        pen.line([(x - 3.2, y - 3.2), (x + 3.2, y + 3.2)], 2.4, c)
        pen.line([(x - 3.2, y + 3.2), (x + 3.2, y - 3.2)], 2.4, c)

    return shaped_face(w, h, badge_shape(w, h, 15), RED, picto)


def draw_scissors(pen, pivot, tips, rings, ring_r, ring_w, blade_w, blade_col, handle_col,
                  outline_col=None, outline_w=0.0):
    """Open scissors from explicit points. tips[i] is the point of blade i; rings[i] is the
    centre of the finger ring on the same rigid piece (on the far side of the pivot)."""
    px, py = pivot

    def blade_poly(tip, grow):
        dx, dy = tip[0] - px, tip[1] - py
        ln = math.hypot(dx, dy)
        dx, dy = dx / ln, dy / ln
        nx, ny = -dy, dx
        back = blade_w * 0.55 + grow
        half = blade_w * 0.5 + grow
        return [(px - dx * back + nx * half, py - dy * back + ny * half),
                (px - dx * back - nx * half, py - dy * back - ny * half),
                (tip[0] + dx * grow * 1.6, tip[1] + dy * grow * 1.6)]

    def shank_end(hc):
        dx, dy = hc[0] - px, hc[1] - py
        ln = math.hypot(dx, dy)
        k = max(0.0, ln - (ring_r - ring_w * 0.5)) / ln
        return (px + dx * k, py + dy * k)

    # outlines of every part first, so no outline cuts into another part's fill
    if outline_col is not None:
        oc = rgba(outline_col)
        for i in (0, 1):
            hc = rings[i]
            pen.line([(px, py), shank_end(hc)], ring_w + outline_w * 2, oc)
            pen.circle(hc[0], hc[1], ring_r + outline_w, outline=oc, width=ring_w + outline_w * 2)
        for i in (0, 1):
            pen.polygon(blade_poly(tips[i], outline_w), oc)
    for i in (0, 1):
        hc = rings[i]
        pen.line([(px, py), shank_end(hc)], ring_w, rgba(handle_col))
        pen.circle(hc[0], hc[1], ring_r, outline=rgba(handle_col), width=ring_w)
    # the lower blade, its outline again (so the two blades stay apart), then the upper blade
    pen.polygon(blade_poly(tips[0], 0.0), rgba(blade_col))
    if outline_col is not None:
        pen.polygon(blade_poly(tips[1], outline_w), rgba(outline_col))
    pen.polygon(blade_poly(tips[1], 0.0), rgba(blade_col))


def face_convert():
    w, h = 92, 37
    base = ORANGE

    def shape(pen):
        pen.rrect((1, 1, w - 1, h - 1), (h - 2) / 2.0, 255)

    def picto(pen):
        c = rgba(NEAR_WHITE)
        # open scissors, blades pointing right
        draw_scissors(pen, (21.5, 18.5), [(35, 13), (35, 24)], [(13, 24.2), (13, 12.8)],
                      4.2, 2.0, 3.4, NEAR_WHITE, NEAR_WHITE)
        pen.circle(21.5, 18.5, 1.1, fill=rgba(darker(base, 0.25)))
        # arrow
        pen.rect((38, 16.7, 45.5, 20.3), c)
        pen.polygon([(44.5, 12.5), (51, 18.5), (44.5, 24.5)], c)
        # film frame
        film_strip_horizontal(pen, 54, 8, 80, 29, frames=1, hole=2.6, holes=4)

    return shaped_face(w, h, shape, base, picto)


def face_open():
    w, h = 55, 40
    base = BLUE

    def shape(pen):
        pen.polygon([(3, 8), (4.5, 4), (20, 4), (23.5, 8.5), (52, 8.5), (52, 12), (3, 12)], 255)
        pen.rrect((3, 7, 52, 37), 3, 255)

    def extra(pen):
        # the folder's front panel, a shade lighter than the back
        pen.rrect((3, 13, 52, 37), 3, rgba(lighter(base, 0.18)))
        pen.rect((3, 13, 52, 14), rgba(lighter(base, 0.45)))

    def picto(pen):
        c = rgba(NEAR_WHITE)
        cx = 27.5
        pen.polygon([(cx - 8.5, 24.5), (cx, 15.5), (cx + 8.5, 24.5)], c)
        pen.rect((cx - 3, 23.5, cx + 3, 33), c)

    return shaped_face(w, h, shape, base, picto, extra)


def face_merge():
    w, h = 100, 56

    def picto(pen):
        c = rgba(NEAR_WHITE)
        film_strip_horizontal(pen, 8, 8, 36, 22, frames=2)
        film_strip_horizontal(pen, 8, 34, 36, 48, frames=2)
        # joining lines
        pen.line([(38, 15), (44, 15), (52, 28)], 3, c)
        pen.line([(38, 41), (44, 41), (52, 28)], 3, c)
        pen.polygon([(51, 23), (57.5, 28), (51, 33)], c)
        film_strip_horizontal(pen, 59, 21, 93, 35, frames=2)

    return shaped_face(w, h, badge_shape(w, h, 15), TEAL, picto, background=WINDOW)


def face_round(kind):
    w, h = 34, 32

    def picto(pen):
        c = rgba(NEAR_WHITE)
        if kind == "play":
            pen.polygon([(13, 9), (13, 23), (24.5, 16)], c)
            return
        # "[>" for start; "<]" for end (mirror image)
        m = (lambda x: x) if kind == "start" else (lambda x: w - x)
        bx0, bx1 = 8, 13.5
        bracket = [(bx0, 8.5, bx0 + 2.6, 23.5), (bx0, 8.5, bx1, 11.0), (bx0, 21.0, bx1, 23.5)]
        for x0, y0, x1, y1 in bracket:
            xa, xb = sorted((m(x0), m(x1)))
            pen.rect((xa, y0, xb, y1), c)
        tri = [(15.5, 10), (15.5, 22), (25.5, 16)]
        pen.polygon([(m(x), y) for x, y in tri], c)

    return shaped_face(w, h, round_shape(w, h), BLUE, picto)


# ---------------------------------------------------------------------------------------------
# Seek bar


def channel(active):
    w, h = 620, 20
    img = ss_image(w, h, "RGBA", rgba(WINDOW))
    pen = Pen(img)
    y0, y1 = 6, 14  # 8 px groove, centred
    if active:
        rim, top, bottom, shine = (176, 84, 12), (232, 112, 18), (252, 170, 72), (255, 205, 140)
    else:
        rim, top, bottom, shine = (104, 128, 158), (138, 158, 184), (178, 194, 214), (214, 226, 240)
    pen.rrect((1, y0, w - 1, y1), 4, rgba(rim))
    inner = ss_image(w, h, "L", 0)
    Pen(inner).rrect((2, y0 + 1, w - 2, y1 - 1), 3, 255)
    grad = vertical_gradient(img.size, top, bottom)
    img.paste(grad, (0, 0), inner)
    # a faint light line just under the groove gives it an inset look
    if not active:
        pen.rect((5, y1, w - 5, y1 + 1), rgba(shine, 120))
    out = downsample(img, w, h)
    return out.convert("RGB")


def thumb():
    w, h = 23, 11
    img = Image.new("RGB", (w, h), MAGENTA)
    px = img.load()

    def inside(x, y):
        if not (0 <= x < w and 0 <= y < h):
            return False
        # rounded corners cut by hand (2 px on the outer rows, 1 px on the next)
        cut = {0: 2, h - 1: 2, 1: 1, h - 2: 1}.get(y, 0)
        return cut <= x < w - cut

    top, bottom = (52, 104, 178), (16, 52, 112)
    edge = (206, 228, 250)
    for y in range(h):
        for x in range(w):
            if not inside(x, y):
                continue
            border = not all(inside(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            if border:
                px[x, y] = edge
            else:
                px[x, y] = mix(top, bottom, (y - 1) / (h - 3))
    # grip: three short light ridges in the middle
    for gx in (8, 11, 14):
        for gy in range(3, 8):
            px[gx, gy] = (150, 190, 235)
            px[gx + 1, gy] = (12, 40, 90)
    assert px[0, 0] == MAGENTA
    return img


# ---------------------------------------------------------------------------------------------
# Check images (8-bit paletted)


def check_images():
    w, h = 48, 16
    border = (78, 100, 130)
    fill = (255, 255, 255)
    tick = (24, 96, 176)
    palette = [MAGENTA, border, fill]
    steps = 24
    for i in range(steps + 1):
        palette.append(mix(fill, tick, i / steps))
    palette += [MAGENTA] * (256 - len(palette))
    flat = [v for c in palette for v in c]
    pal_img = Image.new("P", (1, 1))
    pal_img.putpalette(flat)

    img = ss_image(w, h, "RGBA", rgba(MAGENTA))
    pen = Pen(img)
    for i in range(3):
        ox = i * 16
        pen.rect((ox + 1, 1, ox + 15, 15), rgba(border))
        pen.rect((ox + 2, 2, ox + 14, 14), rgba(fill))
        if i == 2:
            pen.line([(ox + 4.0, 8.3), (ox + 7.0, 11.4), (ox + 12.4, 4.4)], 2.5, rgba(tick))
    rgb = downsample(img, w, h).convert("RGB")
    # Box edges lie on pixel boundaries so they stay exact; only the tick is blended.
    out = rgb.quantize(palette=pal_img, dither=Image.Dither.NONE)
    return out


# ---------------------------------------------------------------------------------------------
# Program icon


def icon_image(size):
    """The icon at one size: a film frame with open scissors cutting into it. Geometry is
    laid out on the 16 px grid (1 unit = one pixel of the 16 px icon) so the small sizes stay
    crisp; the larger sizes get a few extra details."""
    s = size / 16.0
    img = ss_image(size, size)
    pen = Pen(img)

    def u(v):
        return v * s

    def up(points):
        return [(u(x), u(y)) for x, y in points]

    film = (40, 50, 70)
    holes = (214, 224, 236)
    # film frame: rows 1..11 on the 16 px grid; perforations in rows 2 and 10, picture 4..8
    pen.rrect((u(0), u(1), u(13), u(12)), u(1.0), rgba(film))
    for hx in (1, 4, 7, 10):
        pen.rect((u(hx), u(2), u(hx + 2), u(3)), rgba(holes))
        pen.rect((u(hx), u(10), u(hx + 2), u(11)), rgba(holes))
    wx0, wy0, wx1, wy1 = u(1), u(4), u(12), u(9)
    sky = ss_image(size, size)
    spen = Pen(sky)
    spen.rect((wx0, wy0, wx1, wy1), rgba((100, 180, 242)))
    spen.polygon(up([(1, 9), (1, 7.2), (5, 5.6), (12, 7.6), (12, 9)]), rgba((46, 150, 96)))
    if size >= 48:
        spen.circle(u(9.6), u(5.4), u(0.8), fill=rgba((255, 214, 90)))
    win = ss_image(size, size, "L", 0)
    Pen(win).rect((wx0, wy0, wx1, wy1), 255)
    img.alpha_composite(clip(sky, win))

    # scissors: finger rings at the bottom right, blades pointing up-left into the picture
    ow = max(0.55, 1.0 / s) if size < 256 else 0.45
    draw_scissors(pen, (u(9.6), u(9.6)),
                  [(u(2.4), u(5.2)), (u(5.2), u(2.4))] if size <= 16 else [(u(2.6), u(4.6)), (u(4.6), u(2.6))],
                  [(u(13.5), u(10.7)), (u(10.7), u(13.5))],
                  u(2.0), u(1.0 if size <= 16 else 0.85), u(2.7 if size <= 16 else 2.3), (238, 242, 248), ORANGE,
                  outline_col=(26, 30, 40), outline_w=u(ow))
    if size >= 32:
        pen.circle(u(9.6), u(9.6), u(0.5), fill=rgba((26, 30, 40)))
    return downsample(img, size, size)


def write_ico(path, images):
    """Writes an ICO: 16/32/48 px as 32-bit DIBs with an AND mask, 256 px as PNG."""
    entries = []
    blobs = []
    for im in images:
        w, h = im.size
        if w >= 256:
            buf = io.BytesIO()
            im.save(buf, format="PNG", optimize=False)
            data = buf.getvalue()
        else:
            header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
            px = im.load()
            xor = bytearray()
            for y in range(h - 1, -1, -1):
                for x in range(w):
                    r, g, b, a = px[x, y]
                    xor += bytes((b, g, r, a))
            row_bytes = ((w + 31) // 32) * 4
            andm = bytearray()
            for y in range(h - 1, -1, -1):
                row = bytearray(row_bytes)
                for x in range(w):
                    if px[x, y][3] == 0:
                        row[x // 8] |= 0x80 >> (x % 8)
                andm += row
            data = header + bytes(xor) + bytes(andm)
        entries.append((w, h, data))
        blobs.append(data)
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for w, h, data in entries:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in blobs:
        out += data
    with open(path, "wb") as f:
        f.write(bytes(out))


# ---------------------------------------------------------------------------------------------


def main():
    save_bmp24(face_add(), "178.bmp")
    save_bmp24(face_convert(), "186.bmp")
    save_bmp24(face_open(), "254.bmp")
    save_bmp24(face_merge(), "295.bmp")
    save_bmp24(face_remove(), "331.bmp")
    save_bmp24(face_round("start"), "320.bmp")
    save_bmp24(face_round("end"), "321.bmp")
    save_bmp24(face_round("play"), "326.bmp")
    save_bmp24(channel(False), "306.bmp")
    save_bmp24(channel(True), "307.bmp")
    save_bmp24(thumb(), "308.bmp")
    check_images().save(os.path.join(OUT_DIR, "292.bmp"), format="BMP")
    icons = [icon_image(s) for s in (16, 32, 48, 256)]
    write_ico(os.path.join(OUT_DIR, "266.ico"), icons)
    icons[-1].save(os.path.join(OUT_DIR, "266.png"), format="PNG", optimize=False)


if __name__ == "__main__":
    main()
