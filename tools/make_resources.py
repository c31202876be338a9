#!/usr/bin/python3
"""Regenerate every picture and sound under resources/.

Usage (from the repository root):

    /usr/bin/python3 tools/make_resources.py            # everything
    /usr/bin/python3 tools/make_resources.py samples    # only some groups
    /usr/bin/python3 tools/make_resources.py bitmaps icons cursor sound figures

Needs only Python 3 with PIL (Debian: python3-pil) and the DejaVu fonts
(Debian: fonts-dejavu-core).  No numpy.  Every picture is drawn here from
scratch with fixed random seeds, so running the script twice gives the same
bytes.  The build never runs this script: its output is committed.
"""

import math
import os
import random
import struct
import sys
import wave

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
RES = os.path.join(ROOT, "resources")
FONT_DIR = "/usr/share/fonts/truetype/dejavu"


def font(name, size):
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


def out_path(*parts):
    path = os.path.join(RES, *parts)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


# ---------------------------------------------------------------------------
# Small drawing helpers (PIL only)
# ---------------------------------------------------------------------------

def lerp(a, b, t):
    return a + (b - a) * t


def lerp_rgb(c1, c2, t):
    return tuple(int(round(lerp(c1[i], c2[i], t))) for i in range(3))


def gradient_column(h, stops):
    """Colours for h rows; stops = [(pos 0..1, (r, g, b)), ...] ascending."""
    cols = []
    for y in range(h):
        t = y / max(1, h - 1)
        for i in range(len(stops) - 1):
            p0, c0 = stops[i]
            p1, c1 = stops[i + 1]
            if t <= p1 or i == len(stops) - 2:
                u = 0.0 if p1 == p0 else min(1.0, max(0.0, (t - p0) / (p1 - p0)))
                u = u * u * (3 - 2 * u)  # smoothstep: no visible bands at stops
                cols.append(lerp_rgb(c0, c1, u))
                break
    return cols


def vgradient(w, h, stops):
    col = Image.new("RGB", (1, h))
    col.putdata(gradient_column(h, stops))
    return col.resize((w, h), Image.NEAREST)


def value_noise(w, h, cell, rng, octaves=4, persistence=0.5):
    """Smooth grey noise 0..255 (mode L): random grids scaled up bicubically."""
    acc = None
    weight = 1.0
    total = 0.0
    for _ in range(octaves):
        gw = max(2, w // cell + 3)
        gh = max(2, h // cell + 3)
        grid = Image.frombytes("L", (gw, gh), rng.randbytes(gw * gh))
        layer = grid.resize((gw * cell, gh * cell), Image.BICUBIC).crop((cell, cell, cell + w, cell + h))
        if acc is None:
            acc = layer
            total = weight
        else:
            total += weight
            acc = Image.blend(acc, layer, weight / total)
        weight *= persistence
        cell = max(1, cell // 2)
    # stretch the contrast back to roughly 0..255
    lo, hi = acc.getextrema()
    if hi > lo:
        acc = acc.point(lambda v: int((v - lo) * 255 / (hi - lo)))
    return acc


def ridge_line(n, rng, base, amp, rough=0.55, seed_points=None):
    """Midpoint displacement: n+1 heights around base, spread roughly amp."""
    size = 1
    while size < n:
        size *= 2
    pts = [0.0] * (size + 1)
    if seed_points:
        pts[0], pts[size] = seed_points
    else:
        pts[0] = rng.uniform(-amp, amp)
        pts[size] = rng.uniform(-amp, amp)
    step = size
    scale = amp
    while step > 1:
        half = step // 2
        for i in range(half, size, step):
            pts[i] = (pts[i - half] + pts[i + half]) / 2 + rng.uniform(-scale, scale)
        scale *= rough
        step = half
    return [base + pts[int(i * size / n)] for i in range(n + 1)]


def mountain_peaks(w, rng, base, amp, spacing):
    """Peak positions [(x, y), ...] from left of 0 to right of w."""
    peaks = []
    x = -spacing
    while x < w + 2 * spacing:
        peaks.append((x, base - amp * rng.uniform(0.25, 1.0)))
        x += spacing * rng.uniform(0.55, 1.35)
    return peaks


def peaks_profile(w, peaks, rng, detail):
    """Ridge height per column: straight-ish slopes between peaks and valleys, with fine detail."""
    knots = []
    for i in range(len(peaks) - 1):
        (ax, ay), (bx, by) = peaks[i], peaks[i + 1]
        knots.append((ax, ay))
        knots.append(((ax + bx) / 2 + rng.uniform(-0.15, 0.15) * (bx - ax), max(ay, by) + rng.uniform(0.2, 0.6) * abs(bx - ax) * 0.5))
    knots.append(peaks[-1])
    rough = ridge_line(w, rng, 0.0, detail, rough=0.62)
    hs = []
    k = 0
    for x in range(w + 1):
        while knots[k + 1][0] < x:
            k += 1
        (ax, ay), (bx, by) = knots[k], knots[k + 1]
        t = (x - ax) / (bx - ax)
        hs.append(lerp(ay, by, t) + rough[x])
    return hs


def mask_polygon(w, h, points):
    m = Image.new("L", (w, h), 0)
    ImageDraw.Draw(m).polygon(points, fill=255)
    return m


def tinted(noise, dark, light):
    """Map a grey noise image to a colour ramp dark..light."""
    lut = []
    for ch in range(3):
        lut += [int(round(lerp(dark[ch], light[ch], v / 255))) for v in range(256)]
    return Image.merge("RGB", (noise, noise, noise)).point(lut)


def radial_glow(w, h, cx, cy, radius, color, strength=255):
    """RGBA layer: a soft disc of light fading out to radius."""
    layer = Image.new("L", (w, h), 0)
    d = ImageDraw.Draw(layer)
    steps = 40
    for i in range(steps, 0, -1):
        r = radius * i / steps
        a = int(strength * (1 - i / steps) ** 2.2)
        d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=a)
    layer = layer.filter(ImageFilter.GaussianBlur(radius / steps * 2))
    rgba = Image.new("RGBA", (w, h), color + (0,))
    rgba.putalpha(layer)
    return rgba


def pine(draw, x, y_base, height, color, dark, scale=1.0):
    """A stylised conifer standing on (x, y_base)."""
    trunk_w = max(1, int(height * 0.05))
    draw.rectangle((x - trunk_w, y_base - height * 0.18, x + trunk_w, y_base), fill=(60, 38, 24))
    tiers = 4
    for t in range(tiers):
        top = y_base - height + t * height * 0.2
        bottom = y_base - height * 0.12 - (tiers - 1 - t) * height * 0.14
        half = height * (0.14 + 0.07 * t)
        draw.polygon([(x, top), (x - half, bottom), (x + half, bottom)], fill=color)
        draw.polygon([(x, top), (x + half, bottom), (x + half * 0.35, bottom)], fill=dark)


def round_tree(draw, x, y_base, height, leaf, leaf_hi, rng):
    trunk_w = max(1, int(height * 0.06))
    draw.rectangle((x - trunk_w, y_base - height * 0.45, x + trunk_w, y_base), fill=(74, 50, 30))
    r = height * 0.33
    cy = y_base - height * 0.62
    for _ in range(7):
        ox = rng.uniform(-r * 0.6, r * 0.6)
        oy = rng.uniform(-r * 0.5, r * 0.4)
        rr = r * rng.uniform(0.55, 0.8)
        draw.ellipse((x + ox - rr, cy + oy - rr, x + ox + rr, cy + oy + rr), fill=leaf)
    for _ in range(4):
        ox = rng.uniform(-r * 0.5, r * 0.1)
        oy = rng.uniform(-r * 0.6, -r * 0.1)
        rr = r * rng.uniform(0.25, 0.4)
        draw.ellipse((x + ox - rr, cy + oy - rr, x + ox + rr, cy + oy + rr), fill=leaf_hi)


# ---------------------------------------------------------------------------
# Sample panorama: a lakeside city at sunset under a mountain range
# ---------------------------------------------------------------------------

def make_panorama():
    S = 2                      # drawn at twice the size, then reduced: smooth edges
    W, H = 2400 * S, 600 * S
    rng = random.Random(20261207)
    horizon = int(0.70 * H)    # lake shore line

    img = vgradient(W, H, [
        (0.00, (22, 34, 86)),
        (0.25, (70, 72, 150)),
        (0.45, (196, 104, 128)),
        (0.60, (250, 150, 80)),
        (0.70, (255, 214, 130)),
        (1.00, (255, 230, 170)),
    ]).convert("RGBA")

    # sun and its glow
    sun_x, sun_y = int(0.66 * W), int(0.33 * H)
    img.alpha_composite(radial_glow(W, H, sun_x, sun_y, 0.30 * H * 2.2, (255, 200, 120), 200))
    d = ImageDraw.Draw(img)
    r = 0.055 * H
    d.ellipse((sun_x - r, sun_y - r, sun_x + r, sun_y + r), fill=(255, 244, 214))

    # clouds: thresholded noise, pink-lit from below
    cloud_n = value_noise(W // 4, H // 4, 48, rng, octaves=5).resize((W, H), Image.BICUBIC)
    fade = vgradient(W, H, [(0.0, (255, 255, 255)), (0.35, (200, 200, 200)), (0.55, (0, 0, 0)), (1.0, (0, 0, 0))]).convert("L")
    cloud_a = cloud_n.point(lambda v: max(0, min(255, (v - 140) * 4)))
    cloud_a = ImageChops.multiply(cloud_a, fade)
    cloud_c = vgradient(W, H, [(0.0, (120, 110, 170)), (0.3, (240, 160, 170)), (0.55, (255, 200, 150)), (1.0, (255, 200, 150))])
    shade = tinted(cloud_n, (150, 100, 150), (255, 236, 230))
    cloud_c = ImageChops.multiply(cloud_c, shade)
    cloud_c = Image.blend(cloud_c, shade, 0.45).convert("RGBA")
    cloud_c.putalpha(cloud_a)
    img.alpha_composite(cloud_c)

    # three mountain ranges, paler with distance, faceted: the side facing the sun is lit
    ranges = [
        (0.50, 0.20, (150, 118, 172), (236, 170, 176), True, 260),
        (0.58, 0.12, (100, 80, 134), (178, 122, 150), False, 200),
        (0.65, 0.07, (60, 52, 98), (110, 80, 124), False, 150),
    ]
    for base, amp, col, col_lit, snow, spacing in ranges:
        peaks = mountain_peaks(W, rng, base * H, amp * H, spacing * S)
        hs = peaks_profile(W, peaks, rng, 0.012 * H)
        poly = [(x, hs[x]) for x in range(0, W + 1, 4)] + [(W, H), (0, H)]
        mask = mask_polygon(W, H, poly)
        tex = value_noise(W // 2, H // 2, 32, rng, octaves=4).resize((W, H), Image.BICUBIC)
        layer = tinted(tex, col, lerp_rgb(col, col_lit, 0.25)).convert("RGBA")
        ld = ImageDraw.Draw(layer)
        for i in range(1, len(peaks) - 1):
            (lx, ly), (px, py), (rx, ry) = peaks[i - 1], peaks[i], peaks[i + 1]
            # the valley between two peaks lies halfway, a little lower than either
            if px < sun_x:
                vx = (px + rx) / 2
                face = [(px, py), (vx, (py + ry) / 2 + 0.35 * amp * H), (px + (vx - px) * 0.3, H)]
            else:
                vx = (lx + px) / 2
                face = [(px, py), (vx, (ly + py) / 2 + 0.35 * amp * H), (px - (px - vx) * 0.3, H)]
            light = lerp_rgb(col, col_lit, 0.75 - 0.5 * min(1.0, abs(px - sun_x) / W))
            ld.polygon(face, fill=light)
            if snow and py < (base - 0.25 * amp) * H:
                sl = py + (base * H - py) * 0.45
                pts = [(px, py)]
                for k in range(7):
                    t = k / 6
                    x = lerp(lerp(px, lx, 0.45), lerp(px, rx, 0.45), t)
                    pts.append((x, sl + rng.uniform(-0.03, 0.03) * H))
                ld.polygon(pts, fill=(236, 226, 240))
                lit_side = pts[4:] if px < sun_x else pts[1:4]
                ld.polygon([(px, py)] + lit_side + [(px, sl)], fill=(255, 240, 236))
        layer = layer.filter(ImageFilter.GaussianBlur(0.6 * S))
        layer.putalpha(mask)
        img.alpha_composite(layer)
        # haze towards the foot of each range: aerial perspective
        haze = Image.new("RGBA", (W, H), (255, 184, 150, 0))
        hm = vgradient(W, H, [(0.0, (0, 0, 0)), (base - 0.05, (0, 0, 0)), (base + 0.1, (120, 120, 120)), (1.0, (120, 120, 120))]).convert("L")
        haze.putalpha(ImageChops.multiply(hm, mask))
        img.alpha_composite(haze)

    # city skyline on the shore, left of the sun
    d = ImageDraw.Draw(img)
    city = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    cd = ImageDraw.Draw(city)
    x = int(0.10 * W)
    while x < int(0.52 * W):
        bw = rng.randint(22, 70) * S
        bh = int(rng.choice([0.06, 0.08, 0.1, 0.13, 0.16, 0.2, 0.26]) * H)
        if abs(x - 0.30 * W) < 60 * S:
            bh = int(0.33 * H)  # the tower
        top = horizon - bh
        tone = rng.randint(30, 60)
        body = (tone, tone - 6, tone + 26)
        cd.rectangle((x, top, x + bw, horizon), fill=body)
        cd.rectangle((x + bw - bw // 4, top, x + bw, horizon), fill=(tone + 26, tone + 6, tone + 26))
        if rng.random() < 0.3:
            cd.polygon([(x, top), (x + bw // 2, top - bw // 2), (x + bw, top)], fill=body)
        if rng.random() < 0.3:
            cd.line((x + bw // 2, top - 40 * S, x + bw // 2, top), fill=(20, 20, 40), width=S)
            cd.ellipse((x + bw // 2 - 3 * S, top - 43 * S, x + bw // 2 + 3 * S, top - 37 * S), fill=(255, 40, 40))
        # windows: the fine detail
        for wy in range(top + 6 * S, horizon - 6 * S, 7 * S):
            for wx in range(x + 4 * S, x + bw - 5 * S, 6 * S):
                if rng.random() < 0.55:
                    lit = rng.choice([(255, 226, 140), (255, 200, 100), (250, 240, 200), (140, 200, 255)])
                    cd.rectangle((wx, wy, wx + 2 * S, wy + 3 * S), fill=lit)
        x += bw + rng.randint(0, 8) * S
    img.alpha_composite(city)

    # near shore hills with forest
    shore = ridge_line(W, rng, horizon - 0.012 * H, 0.02 * H, rough=0.5)
    poly = [(x, shore[x]) for x in range(0, W + 1, 4)] + [(W, horizon + 4 * S), (0, horizon + 4 * S)]
    d.polygon(poly, fill=(34, 48, 52))
    forest = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    fd = ImageDraw.Draw(forest)
    for _ in range(700):
        tx = rng.randint(0, W)
        if 0.09 * W < tx < 0.53 * W:
            continue
        h = rng.uniform(18, 40) * S
        g = rng.randint(36, 60)
        pine(fd, tx, shore[min(W, tx)] + 6 * S, h, (20, g, 44), (14, g - 16, 34))
    img.alpha_composite(forest)

    # the lake: a rippled, darkened mirror of everything above the shore
    above = img.crop((0, horizon - (H - horizon), W, horizon)).transpose(Image.FLIP_TOP_BOTTOM).convert("RGB")
    water = Image.new("RGB", (W, H - horizon))
    for y in range(0, H - horizon, S):
        off = int(round(math.sin(y * 0.35 + rng.uniform(0, 0.8)) * (1 + y / (H - horizon) * 6) * S))
        water.paste(above.crop((0, y, W, y + S)), (off, y))
    water = water.filter(ImageFilter.GaussianBlur(0.8 * S))
    tint = vgradient(W, H - horizon, [(0.0, (80, 70, 110)), (1.0, (26, 36, 70))])
    water = Image.blend(water, tint, 0.42)
    wd = ImageDraw.Draw(water)
    # glitter on the sun path and ripple highlights
    for _ in range(2600):
        y = rng.randint(0, H - horizon - 1)
        spread = 0.02 * W + y * 1.6
        cx = sun_x + rng.gauss(0, spread * 0.5)
        ln = rng.randint(4, 26) * S * (0.4 + y / (H - horizon))
        bright = rng.randint(200, 255)
        wd.line((cx - ln / 2, y, cx + ln / 2, y), fill=(bright, int(bright * 0.82), int(bright * 0.55)), width=max(1, S // 2 + y // 160))
    img.paste(water, (0, horizon))

    # foreground meadow hills, left and right, with grass, flowers and trees
    front = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    fd = ImageDraw.Draw(front)
    hill = ridge_line(W, rng, 0.86 * H, 0.06 * H, rough=0.5)
    lift = [0.0] * (W + 1)
    for x in range(W + 1):
        t = x / W
        # high at both ends, dipping under the lake in the middle
        lift[x] = hill[x] + (0.32 * H) * math.exp(-((t - 0.5) / 0.17) ** 2) - 0.05 * H * math.exp(-((t - 0.06) / 0.08) ** 2)
    poly = [(x, lift[x]) for x in range(0, W + 1, 4)] + [(W, H), (0, H)]
    hill_mask = mask_polygon(W, H, poly)
    grass_tex = value_noise(W // 2, H // 2, 24, rng, octaves=5).resize((W, H), Image.BICUBIC)
    grass = tinted(grass_tex, (30, 70, 24), (120, 150, 40))
    shade = vgradient(W, H, [(0.0, (255, 220, 160)), (0.8, (140, 150, 120)), (1.0, (90, 100, 90))])
    grass = ImageChops.multiply(grass, shade).convert("RGBA")
    grass.putalpha(hill_mask)
    front.alpha_composite(grass)
    fd = ImageDraw.Draw(front)
    for _ in range(26000):
        x = rng.randint(0, W)
        top = lift[x]
        if top >= H - 2:
            continue
        y = rng.uniform(top + 2 * S, H)
        nearness = (y - top) / max(1, H - top)
        ln = (4 + 16 * nearness) * S
        lean = rng.uniform(-0.4, 0.4) * ln
        g = rng.randint(80, 190)
        fd.line((x, y, x + lean, y - ln), fill=(int(g * 0.45), g, int(g * 0.25)), width=max(1, int(S * (0.5 + nearness))))
    for _ in range(900):
        x = rng.randint(0, W)
        top = lift[x]
        if top >= H - 10:
            continue
        y = rng.uniform(top + 6 * S, H)
        r = (1.5 + 4 * (y - top) / max(1, H - top)) * S
        c = rng.choice([(230, 40, 60), (255, 210, 40), (240, 120, 200), (255, 255, 255), (150, 90, 230), (255, 130, 30)])
        fd.ellipse((x - r, y - r, x + r, y + r), fill=c)
        fd.ellipse((x - r / 3, y - r / 3, x + r / 3, y + r / 3), fill=(255, 230, 120))
    trees = [(0.035, 0.33), (0.075, 0.24), (0.94, 0.36), (0.885, 0.26), (0.965, 0.2), (0.13, 0.18)]
    for tx, th in trees:
        x = int(tx * W)
        base = lift[x] + 0.03 * H
        round_tree(fd, x, base, th * H, (40, 96, 40), (92, 150, 56), rng)
    img.alpha_composite(front)

    img = img.convert("RGB").resize((W // S, H // S), Image.LANCZOS)
    img = img.filter(ImageFilter.UnsharpMask(radius=1.0, percent=40, threshold=2))
    path = out_path("samples", "sample_panorama.jpg")
    img.save(path, "JPEG", quality=88, optimize=True, subsampling="4:2:0")
    return path


# ---------------------------------------------------------------------------
# Sample stereo pair: one garden scene seen from two eye positions
# ---------------------------------------------------------------------------

PAIR_W, PAIR_H = 800, 500


def make_stereo_pair():
    S = 2
    W, H = PAIR_W * S, PAIR_H * S
    M = 60 * S                 # margin so shifted layers never expose an edge
    CW, CH = W + 2 * M, H
    horizon = int(0.48 * H)
    eye_sep = 36.0 * S         # disparity scale in pixels, see disparity()
    z0 = 7.0                   # depth drawn with zero parallax (the window plane)

    def disparity(z):
        # positive: the point appears in front of the window (crossed parallax)
        return eye_sep * (1.0 / z - 1.0 / z0) if z != math.inf else -eye_sep / z0

    rng = random.Random(4242)
    # Each layer: (depth, RGBA image of the full canvas).  Built once, then composited
    # twice with opposite half-shifts.
    layers = []

    sky = vgradient(CW, CH, [(0.0, (60, 110, 200)), (0.45, (150, 196, 240)), (0.5, (214, 232, 246)), (1.0, (214, 232, 246))]).convert("RGBA")
    cn = value_noise(CW // 4, CH // 4, 40, rng, octaves=5).resize((CW, CH), Image.BICUBIC)
    ca = cn.point(lambda v: max(0, min(230, (v - 130) * 3)))
    fade = vgradient(CW, CH, [(0.0, (255, 255, 255)), (0.35, (180, 180, 180)), (0.48, (0, 0, 0)), (1.0, (0, 0, 0))]).convert("L")
    clouds = tinted(cn, (190, 200, 225), (255, 255, 255)).convert("RGBA")
    clouds.putalpha(ImageChops.multiply(ca, fade))
    sky.alpha_composite(clouds)
    layers.append((math.inf, sky, None))

    # mountains far away
    for base, amp, col, hi, z in [(0.36, 0.10, (120, 140, 190), (170, 186, 220), 200.0),
                                  (0.43, 0.06, (84, 120, 150), (120, 160, 170), 60.0)]:
        hs = ridge_line(CW, rng, base * H, amp * H, rough=0.55)
        mask = mask_polygon(CW, CH, [(x, hs[x]) for x in range(0, CW + 1, 4)] + [(CW, CH), (0, CH)])
        tex = value_noise(CW // 2, CH // 2, 24, rng).resize((CW, CH), Image.BICUBIC)
        lay = tinted(tex, col, hi).convert("RGBA")
        if z > 100:
            ld = ImageDraw.Draw(lay)
            for x in range(0, CW, 2):
                if hs[x] < (base - 0.04) * H:
                    ld.line((x, hs[x], x, hs[x] + ((base - 0.04) * H - hs[x]) * 0.7), fill=(244, 246, 252), width=2)
            lay = lay.filter(ImageFilter.GaussianBlur(S))
        lay.putalpha(mask)
        layers.append((z, lay, None))

    # The meadow is a tilted plane: its depth grows towards the horizon, so each row
    # gets its own disparity.  Depth of a row at distance dy below the horizon: z = k / dy.
    ground_k = 1.6 * (H - horizon)

    def row_depth(y):
        dy = max(1.0, y - horizon)
        return ground_k / dy * 1.0

    gtex = value_noise(CW // 2, CH // 2, 16, rng, octaves=5).resize((CW, CH), Image.BICUBIC)
    ground = tinted(gtex, (60, 110, 30), (150, 190, 60))
    gshade = vgradient(CW, CH, [(0.0, (200, 220, 200)), (0.48, (200, 220, 200)), (1.0, (255, 255, 230))])
    ground = ImageChops.multiply(ground, gshade).convert("RGBA")
    gd = ImageDraw.Draw(ground)
    # a path winding to the house: it shares the meadow's depth
    for y in range(horizon + 2, CH, 2):
        t = (y - horizon) / (CH - horizon)
        cx = CW * (0.56 - 0.14 * t + 0.03 * math.sin(t * 6))
        half = (6 + 120 * t) * S * 0.5
        gd.line((cx - half, y, cx + half, y), fill=(196, 168, 120), width=2)
    # grass tufts and flowers painted into the ground texture
    for _ in range(7000):
        y = rng.uniform(horizon + 4, CH)
        t = (y - horizon) / (CH - horizon)
        x = rng.uniform(0, CW)
        ln = (2 + 16 * t) * S
        g = rng.randint(70, 170)
        gd.line((x, y, x + rng.uniform(-0.3, 0.3) * ln, y - ln), fill=(int(g * 0.5), g, int(g * 0.2)), width=max(1, int(t * 2 * S)))
    for _ in range(500):
        y = rng.uniform(horizon + 8, CH)
        t = (y - horizon) / (CH - horizon)
        x = rng.uniform(0, CW)
        r = (1 + 5 * t) * S
        c = rng.choice([(235, 50, 50), (255, 220, 40), (250, 250, 250), (200, 100, 230)])
        gd.ellipse((x - r, y - r, x + r, y + r), fill=c)
    ground_mask = Image.new("L", (CW, CH), 0)
    ImageDraw.Draw(ground_mask).rectangle((0, horizon, CW, CH), fill=255)
    ground.putalpha(ground_mask)
    layers.append((None, ground, row_depth))  # per-row depth

    # objects standing on the meadow: (depth, drawing function); base row follows from depth
    def base_row(z):
        return horizon + ground_k / z

    def obj_layer():
        return Image.new("RGBA", (CW, CH), (0, 0, 0, 0))

    objects = []

    def house(z, x_frac):
        lay = obj_layer()
        d = ImageDraw.Draw(lay)
        s = 30.0 / z * S
        bx, by = x_frac * CW, base_row(z)
        w, h = 70 * s, 46 * s
        d.rectangle((bx - w / 2, by - h, bx + w / 2, by), fill=(236, 226, 200))
        d.rectangle((bx + w / 6, by - h, bx + w / 2, by), fill=(206, 192, 166))
        d.polygon([(bx - w / 2 - 6 * s, by - h), (bx - w / 6, by - h - 34 * s), (bx + w / 6 + 4 * s, by - h - 34 * s), (bx + w / 2 + 6 * s, by - h)], fill=(190, 40, 34))
        d.polygon([(bx + w / 6 + 4 * s, by - h - 34 * s), (bx + w / 2 + 6 * s, by - h), (bx + w / 6, by - h)], fill=(150, 28, 26))
        d.rectangle((bx - 6 * s, by - 24 * s, bx + 6 * s, by), fill=(110, 64, 36))
        for wx in (bx - 26 * s, bx + 18 * s):
            d.rectangle((wx - 6 * s, by - 36 * s, wx + 6 * s, by - 24 * s), fill=(80, 130, 190))
            d.line((wx, by - 36 * s, wx, by - 24 * s), fill=(250, 250, 250), width=max(1, int(s)))
            d.line((wx - 6 * s, by - 30 * s, wx + 6 * s, by - 30 * s), fill=(250, 250, 250), width=max(1, int(s)))
        d.rectangle((bx + 10 * s, by - h - 40 * s, bx + 18 * s, by - h - 18 * s), fill=(120, 60, 50))
        return lay

    objects.append((18.0, house(18.0, 0.62)))

    for z, xf, kind in [(30.0, 0.18, "pine"), (26.0, 0.28, "pine"), (24.0, 0.82, "pine"), (34.0, 0.9, "pine"),
                        (12.0, 0.36, "round"), (9.0, 0.86, "round"), (5.0, 0.12, "round"), (40.0, 0.42, "pine"),
                        (44.0, 0.74, "pine"), (16.0, 0.06, "pine")]:
        lay = obj_layer()
        d = ImageDraw.Draw(lay)
        height = 80 * 30.0 / z * S * (1.2 if kind == "pine" else 1.0)
        if kind == "pine":
            g = rng.randint(60, 90)
            pine(d, xf * CW, base_row(z), height, (24, g, 40), (16, g - 24, 30))
        else:
            round_tree(d, xf * CW, base_row(z), height, (48, 118, 40), (110, 170, 60), rng)
        objects.append((z, lay))

    # a fence near the viewer, slanting away: each post at its own depth
    for i in range(9):
        z = 3.2 + i * 0.55
        lay = obj_layer()
        d = ImageDraw.Draw(lay)
        s = 30.0 / z * S
        x = CW * (0.74 + 0.03 * i)
        by = base_row(z)
        d.rectangle((x - 2.2 * s, by - 30 * s, x + 2.2 * s, by), fill=(150, 104, 60))
        d.rectangle((x + 0.6 * s, by - 30 * s, x + 2.2 * s, by), fill=(112, 74, 42))
        d.polygon([(x - 2.2 * s, by - 30 * s), (x, by - 33 * s), (x + 2.2 * s, by - 30 * s)], fill=(170, 124, 76))
        objects.append((z, lay))

    # a big red ball on the grass in front, and a blue one further back
    for z, xf, col, hi in [(3.6, 0.33, (210, 30, 40), (255, 190, 180)), (10.0, 0.48, (40, 80, 210), (190, 210, 255))]:
        lay = obj_layer()
        s = 30.0 / z * S
        r = 10 * s
        cx, cy = xf * CW, base_row(z) - r
        ball = Image.new("RGBA", (CW, CH), col + (0,))
        mk = Image.new("L", (CW, CH), 0)
        ImageDraw.Draw(mk).ellipse((cx - r, cy - r, cx + r, cy + r), fill=255)
        sh = Image.new("L", (CW, CH), 0)
        ImageDraw.Draw(sh).ellipse((cx - r * 1.1, base_row(z) - r * 0.25, cx + r * 1.1, base_row(z) + r * 0.2), fill=110)
        shadow = Image.new("RGBA", (CW, CH), (20, 40, 10, 0))
        shadow.putalpha(sh.filter(ImageFilter.GaussianBlur(r * 0.15)))
        lay.alpha_composite(shadow)
        body = Image.new("RGBA", (CW, CH), col + (255,))
        glow = radial_glow(CW, CH, cx - r * 0.35, cy - r * 0.4, r * 0.9, hi, 255)
        body.alpha_composite(glow)
        body.putalpha(mk)
        lay.alpha_composite(body)
        objects.append((z, lay))

    # far to near
    objects.sort(key=lambda o: -o[0])
    for z, lay in objects:
        layers.append((z, lay, None))

    def render(sign):
        canvas = Image.new("RGBA", (CW, CH), (0, 0, 0, 255))
        for z, lay, per_row in layers:
            if per_row is None:
                dx = int(round(sign * disparity(z) / 2))
                canvas.alpha_composite(lay, (max(dx, 0), 0), (max(-dx, 0), 0, CW - max(dx, 0), CH))
            else:
                for y in range(horizon, CH):
                    dx = int(round(sign * disparity(per_row(y)) / 2))
                    strip = lay.crop((0, y, CW, y + 1))
                    canvas.alpha_composite(strip, (max(dx, 0), y), (max(-dx, 0), 0, CW - max(dx, 0), 1))
        view = canvas.crop((M, 0, M + W, H)).convert("RGB")
        return view.resize((PAIR_W, PAIR_H), Image.LANCZOS)

    left = render(+1)
    right = render(-1)
    paths = []
    for name, view in (("sample_left.png", left), ("sample_right.png", right)):
        p = out_path("samples", name)
        view.save(p, "PNG", optimize=True)
        paths.append(p)
    return paths


def group_samples():
    p = make_panorama()
    check_size(p, (2400, 600), max_bytes=400 * 1024)
    for q in make_stereo_pair():
        check_size(q, (PAIR_W, PAIR_H), max_bytes=400 * 1024)


# ---------------------------------------------------------------------------
# Checks
# ---------------------------------------------------------------------------

def check_size(path, size, mode=None, max_bytes=None):
    with Image.open(path) as im:
        assert im.size == size, f"{path}: {im.size} != {size}"
        if mode is not None:
            assert im.mode == mode, f"{path}: mode {im.mode} != {mode}"
    if max_bytes is not None:
        n = os.path.getsize(path)
        assert n <= max_bytes, f"{path}: {n} bytes > {max_bytes}"
    print(f"{os.path.relpath(path, ROOT)}: {size[0]}x{size[1]}, {os.path.getsize(path)} bytes")


GROUPS = {
    "samples": group_samples,
}


def main(argv):
    names = argv[1:] or list(GROUPS)
    for n in names:
        if n not in GROUPS:
            sys.exit(f"unknown group {n!r}; known: {' '.join(GROUPS)}")
    for n in names:
        GROUPS[n]()


if __name__ == "__main__":
    main(sys.argv)
