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
# Bitmaps: title banner, bottom strip, glasses
# ---------------------------------------------------------------------------

def additive(base, layer):
    """Light adds up: red + cyan = white, the way anaglyph colours combine."""
    return ImageChops.add(base, layer)


def text_mask(size, xy, text, fnt, tracking=0):
    m = Image.new("L", size, 0)
    d = ImageDraw.Draw(m)
    if tracking == 0:
        d.text(xy, text, font=fnt, fill=255)
    else:
        x, y = xy
        for ch in text:
            d.text((x, y), ch, font=fnt, fill=255)
            x += d.textlength(ch, font=fnt) + tracking
    return m


def tracked_width(text, fnt, tracking):
    d = ImageDraw.Draw(Image.new("L", (1, 1)))
    return sum(d.textlength(ch, font=fnt) for ch in text) + tracking * (len(text) - 1)


def colour_fill(mask, rgb):
    im = Image.new("RGB", mask.size, rgb)
    return ImageChops.multiply(im, Image.merge("RGB", (mask, mask, mask)))


def make_title():
    S = 3
    W, H = 640 * S, 154 * S
    rng = random.Random(154)
    bg = vgradient(W, H, [(0.0, (8, 12, 34)), (0.55, (26, 22, 64)), (1.0, (44, 20, 60))])

    # stars, fainter low down
    d = ImageDraw.Draw(bg)
    for _ in range(260):
        x, y = rng.uniform(0, W), rng.uniform(0, H * 0.62) ** 1.0
        r = rng.choice([0.6, 0.8, 1.0, 1.4]) * S
        b = int(255 * (1 - y / (H * 0.7)) * rng.uniform(0.35, 1.0))
        d.ellipse((x - r, y - r, x + r, y + r), fill=(b, b, min(255, b + 30)))

    # receding floor grid: depth planes running to a vanishing point
    grid = Image.new("RGB", (W, H), (0, 0, 0))
    gd = ImageDraw.Draw(grid)
    vy = int(0.60 * H)
    vx = W * 0.5
    for i in range(-40, 41):
        x_bottom = vx + i * 60 * S
        gd.line((vx + i * 6 * S, vy, x_bottom, H), fill=(70, 40, 120), width=S)
    z = 1.0
    while True:
        y = vy + (H - vy) * (0.35 / z)
        if y >= H:
            z *= 1.35
            if z > 50:
                break
            continue
        if y - vy < 2:
            break
        t = (y - vy) / (H - vy)
        c = (int(60 + 60 * t), int(30 + 20 * t), int(110 + 60 * t))
        gd.line((0, y, W, y), fill=c, width=S)
        z *= 1.35
    fade = vgradient(W, H, [(0.0, (0, 0, 0)), (0.6, (0, 0, 0)), (0.75, (150, 150, 150)), (1.0, (255, 255, 255))]).convert("L")
    grid = ImageChops.multiply(grid, Image.merge("RGB", (fade, fade, fade)))
    bg = ImageChops.add(bg, grid)
    # horizon glow
    glow = Image.new("L", (W, H), 0)
    ImageDraw.Draw(glow).ellipse((W * 0.05, vy - 14 * S, W * 0.95, vy + 14 * S), fill=150)
    glow = glow.filter(ImageFilter.GaussianBlur(10 * S))
    bg = ImageChops.add(bg, colour_fill(glow, (200, 70, 160)))

    # "K3V" in anaglyph colours: red view and cyan view offset, white where they meet
    big = font("DejaVuSans-Bold.ttf", 100 * S)
    kx, ky = 26 * S, 30 * S
    off = 5 * S
    k_red = text_mask((W, H), (kx - off, ky), "K3V", big)
    k_cyan = text_mask((W, H), (kx + off, ky), "K3V", big)
    # a faint extruded shadow gives the letters body
    shadow = text_mask((W, H), (kx + 2 * S, ky + 4 * S), "K3V", big).filter(ImageFilter.GaussianBlur(5 * S))
    bg = ImageChops.subtract(bg, colour_fill(shadow, (90, 90, 90)))
    bg = additive(bg, colour_fill(k_red, (255, 30, 40)))
    bg = additive(bg, colour_fill(k_cyan, (0, 225, 255)))
    # soft halo around the overlap
    both = ImageChops.darker(k_red, k_cyan)
    bg = additive(bg, colour_fill(both.filter(ImageFilter.GaussianBlur(6 * S)), (70, 70, 90)))
    k_box = k_cyan.getbbox()

    # the maker's name above "K3V", spread to its width, so the banner reads in order:
    # Quorvex K3V Still Stereo Converter
    small = font("DejaVuSans.ttf", 15 * S)
    k_width = k_box[2] - (kx - off)
    letters = "QUORVEX"
    plain = tracked_width(letters, small, 0)
    tracking = (k_width - plain) / (len(letters) - 1)
    q = text_mask((W, H), (kx - off, 17 * S), letters, small, tracking=tracking)
    bg = additive(bg, colour_fill(q, (170, 190, 235)))

    # right-hand block: the rest of the name
    text_x = 300 * S
    line_y = 34 * S
    name_font = font("DejaVuSans-Bold.ttf", 35 * S)
    for i, (line, y) in enumerate((("Still Stereo", line_y), ("Converter", line_y + 42 * S))):
        m = text_mask((W, H), (text_x, y), line, name_font)
        r = ImageChops.offset(m, -2 * S, 0)
        c = ImageChops.offset(m, 2 * S, 0)
        bg = additive(bg, colour_fill(r, (120, 10, 20)))
        bg = additive(bg, colour_fill(c, (0, 90, 110)))
        bg.paste((244, 244, 255), (0, 0), m)
    d = ImageDraw.Draw(bg)
    d.line((text_x + 2 * S, line_y - 8 * S, W - 26 * S, line_y - 8 * S), fill=(110, 90, 170), width=S)
    tag_font = font("DejaVuSans-Oblique.ttf", 13 * S)
    tag = text_mask((W, H), (text_x + 2 * S, line_y + 92 * S), "panoramas and photos in depth", tag_font)
    bg = additive(bg, colour_fill(tag, (150, 160, 210)))

    # a small pair of anaglyph glasses after "Converter"
    gl = draw_glasses(64 * S, 36 * S)
    conv_w = ImageDraw.Draw(Image.new("L", (1, 1))).textlength("Converter", font=name_font)
    gx = int(text_x + conv_w + 22 * S)
    bgr = bg.convert("RGBA")
    bgr.alpha_composite(gl, (gx, int(line_y + 48 * S)))
    bg = bgr.convert("RGB")

    # thin frame
    d = ImageDraw.Draw(bg)
    d.rectangle((0, 0, W - 1, H - 1), outline=(90, 80, 150), width=S)

    img = bg.resize((640, 154), Image.LANCZOS)
    path = out_path("bitmaps", "title.png")
    img.save(path, "PNG", optimize=True)
    check_size(path, (640, 154), "RGB")


def draw_glasses(w, h, frame=(24, 24, 28), red=(226, 24, 36), cyan=(20, 200, 230)):
    """RGBA picture of glasses seen from the front, w x h, drawn at 8x; red and cyan are the
    left and right lenses' colours."""
    k = 8
    W, H = w * k, h * k
    im = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    u = W / 36.0  # drawing units: the glasses are designed on a 36 x 20 grid
    v = H / 20.0
    lw = max(1, int(1.6 * u))
    # temples (arms) seen folding back at both sides
    d.line((0.6 * u, 5.2 * v, 3.2 * u, 6.2 * v), fill=frame, width=lw)
    d.line((35.4 * u, 5.2 * v, 32.8 * u, 6.2 * v), fill=frame, width=lw)
    # lenses: rounded, slightly wider at the top
    left = (2.2 * u, 4.2 * v, 16.6 * u, 16.8 * v)
    right = (19.4 * u, 4.2 * v, 33.8 * u, 16.8 * v)
    for box, col in ((left, red), (right, cyan)):
        d.rounded_rectangle(box, radius=4.4 * u, fill=frame)
        inner = (box[0] + 1.5 * u, box[1] + 1.5 * v, box[2] - 1.5 * u, box[3] - 1.5 * v)
        d.rounded_rectangle(inner, radius=3.2 * u, fill=col + (235,))
        # a glint
        d.line((inner[0] + 2.2 * u, inner[1] + 4.0 * v, inner[0] + 4.4 * u, inner[1] + 1.6 * v),
               fill=(255, 255, 255, 170), width=max(1, int(1.1 * u)))
    # bridge
    d.arc((15.0 * u, 5.4 * v, 21.0 * u, 12.0 * v), 190, 350, fill=frame, width=int(lw * 1.3))
    return im.resize((w, h), Image.LANCZOS)


# The icon beside the depth list shows the glasses chosen in the Stereo menu: left lens first,
# as the anaglyph methods give each eye its channels (green/magenta: green left, amber/blue:
# red and green left).
GLASSES_COLOURS = (
    ("glasses.png", (226, 24, 36), (20, 200, 230)),
    ("glasses_green_magenta.png", (36, 190, 48), (214, 36, 196)),
    ("glasses_amber_blue.png", (236, 160, 20), (36, 72, 220)),
)


def make_glasses():
    for name, left, right in GLASSES_COLOURS:
        path = out_path("bitmaps", name)
        draw_glasses(36, 20, red=left, cyan=right).save(path, "PNG", optimize=True)
        check_size(path, (36, 20), "RGBA")


def make_line():
    W, H = 800, 24
    S = 2
    w, h = W * S, H * S
    img = vgradient(w, h, [(0.0, (172, 172, 172)), (0.08, (150, 150, 150)), (0.5, (135, 135, 135)),
                           (0.92, (118, 118, 118)), (1.0, (96, 96, 96))])
    d = ImageDraw.Draw(img)
    # top edge: a light line against the window's grey, then a dark one
    d.line((0, 0, w, 0), fill=(196, 196, 196), width=S)
    d.line((0, S, w, S), fill=(112, 112, 112), width=1)
    # an engraved groove along the middle
    gy = h // 2
    d.line((0, gy - S, w, gy - S), fill=(104, 104, 104), width=S)
    d.line((0, gy, w, gy), fill=(160, 160, 160), width=S)
    # a row of small embossed studs, like the edge of a film strip
    for x in range(22 * S, w - 16 * S, 16 * S):
        for dy, col in ((-3.5 * S, (108, 108, 108)), (3.5 * S, (108, 108, 108))):
            cy = gy + dy - S / 2
            d.rounded_rectangle((x - 3 * S, cy - 1.5 * S, x + 3 * S, cy + 1.5 * S), radius=S, fill=col)
            d.line((x - 2.5 * S, cy + 1.5 * S, x + 2.5 * S, cy + 1.5 * S), fill=(158, 158, 158), width=1)
    # quiet red and cyan accents at both ends: the two views
    for x0, x1, col in ((0, 6 * S, (190, 60, 64)), (6 * S, 12 * S, (60, 170, 190)),
                        (w - 12 * S, w - 6 * S, (190, 60, 64)), (w - 6 * S, w, (60, 170, 190))):
        d.rectangle((x0, 3 * S, x1, h - 3 * S), fill=col)
    d.line((0, h - 1, w, h - 1), fill=(84, 84, 84), width=S)
    img = img.resize((W, H), Image.LANCZOS)
    path = out_path("bitmaps", "line_n.png")
    img.save(path, "PNG", optimize=True)
    check_size(path, (W, H), "RGB")


def group_bitmaps():
    make_title()
    make_line()
    make_glasses()


# ---------------------------------------------------------------------------
# Application icon
# ---------------------------------------------------------------------------

ICON_SIZES = (16, 32, 48, 64, 128)


def draw_icon(size):
    """The program's icon: a night landscape split into red and cyan views, and the glasses."""
    W = H = size
    u = size / 256.0
    tile = vgradient(W, H, [(0.0, (18, 24, 70)), (0.55, (60, 30, 100)), (0.78, (150, 50, 110)), (1.0, (60, 20, 60))])
    scene = Image.new("L", (W, H), 0)
    d = ImageDraw.Draw(scene)
    # mountains and the moon: one silhouette, later drawn once per eye
    d.polygon([(20 * u, 150 * u), (70 * u, 78 * u), (100 * u, 112 * u), (140 * u, 56 * u), (196 * u, 132 * u),
               (214 * u, 110 * u), (240 * u, 150 * u), (240 * u, 170 * u), (20 * u, 170 * u)], fill=255)
    d.ellipse((168 * u, 38 * u, 204 * u, 74 * u), fill=255)
    off = int(round(7 * u))
    red = ImageChops.offset(scene, -off, 0)
    cyan = ImageChops.offset(scene, off, 0)
    tile = ImageChops.add(tile, colour_fill(red, (240, 30, 50)))
    tile = ImageChops.add(tile, colour_fill(cyan, (0, 210, 250)))
    # snow on the peaks, where both views agree
    sd = ImageDraw.Draw(tile)
    sd.polygon([(140 * u, 56 * u), (124 * u, 78 * u), (134 * u, 74 * u), (142 * u, 82 * u), (152 * u, 72 * u)], fill=(255, 255, 255))
    tile = tile.convert("RGBA")
    tile.alpha_composite(draw_glasses(int(216 * u), int(120 * u)), (int(20 * u), int(128 * u)))
    # rounded square outline
    mask = Image.new("L", (W, H), 0)
    ImageDraw.Draw(mask).rounded_rectangle((8 * u, 8 * u, W - 8 * u, H - 8 * u), radius=48 * u, fill=255)
    tile.putalpha(ImageChops.multiply(tile.getchannel("A"), mask))
    rim = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    ImageDraw.Draw(rim).rounded_rectangle((8 * u, 8 * u, W - 8 * u, H - 8 * u), radius=48 * u,
                                          outline=(150, 130, 220, 255), width=max(1, int(4 * u)))
    tile.alpha_composite(rim)
    return tile


def make_icons():
    master = draw_icon(1024)
    path = out_path("icons", "k3v-stereo.png")
    master.resize((256, 256), Image.LANCZOS).save(path, "PNG", optimize=True)
    check_size(path, (256, 256), "RGBA")
    for n in ICON_SIZES:
        p = out_path("icons", f"k3v-stereo-{n}.png")
        # small sizes are reduced from a drawing made at 4x their size, so lines keep their weight
        draw_icon(n * 4).resize((n, n), Image.LANCZOS).save(p, "PNG", optimize=True)
        check_size(p, (n, n), "RGBA")


# ---------------------------------------------------------------------------
# Cursor: a pointing hand, hotspot at the fingertip (6, 1)
# ---------------------------------------------------------------------------

CURSOR_HOTSPOT = (6, 1)


def make_cursor():
    k = 8
    W = H = 32 * k

    def box(x0, y0, x1, y1):
        return (x0 * k, y0 * k, x1 * k, y1 * k)

    hand = Image.new("L", (W, H), 0)
    d = ImageDraw.Draw(hand)
    d.rounded_rectangle(box(3.6, 2.0, 8.4, 17), radius=2.4 * k, fill=255)      # index finger
    d.rounded_rectangle(box(8.0, 10.5, 12.2, 19), radius=2.0 * k, fill=255)    # middle finger
    d.rounded_rectangle(box(11.8, 11.5, 16.0, 20), radius=2.0 * k, fill=255)   # ring finger
    d.rounded_rectangle(box(15.6, 12.8, 19.4, 20.5), radius=1.9 * k, fill=255)  # little finger
    d.rounded_rectangle(box(3.6, 14.5, 19.4, 27), radius=3.0 * k, fill=255)    # palm
    d.polygon([box(0.8, 16.5, 0, 0)[:2], box(3.0, 14.6, 0, 0)[:2], box(6.5, 19, 0, 0)[:2],
               box(6.5, 23.5, 0, 0)[:2], box(4.2, 22.5, 0, 0)[:2]], fill=255)  # thumb
    d.ellipse(box(0.6, 14.8, 3.6, 18.0), fill=255)
    cuff = Image.new("L", (W, H), 0)
    ImageDraw.Draw(cuff).rectangle(box(5.0, 26.0, 18.0, 30.5), fill=255)

    shape = ImageChops.lighter(hand, cuff)
    # the black outline: the shape grown by one cursor pixel
    outline = shape.filter(ImageFilter.MaxFilter(2 * k + 1))

    img = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    # soft shadow down-right, so the hand reads on light and dark pictures
    sh = Image.new("L", (W, H), 0)
    sh.paste(outline, (int(1.2 * k), int(1.2 * k)))   # shifted, not wrapped round
    sh = sh.filter(ImageFilter.GaussianBlur(k * 0.7))
    shadow = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    shadow.putalpha(sh.point(lambda v: v * 90 // 255))
    img.alpha_composite(shadow)
    black = Image.new("RGBA", (W, H), (0, 0, 0, 255))
    black.putalpha(outline)
    img.alpha_composite(black)
    white = vgradient(W, H, [(0.0, (255, 255, 255)), (1.0, (226, 230, 240))]).convert("RGBA")
    white.putalpha(hand)
    img.alpha_composite(white)
    cuff_img = Image.new("RGBA", (W, H), (200, 40, 50, 255))
    cd = ImageDraw.Draw(cuff_img)
    cd.rectangle(box(11.5, 26, 18, 30.5), fill=(20, 180, 210, 255))   # red and cyan halves
    cuff_img.putalpha(cuff)
    img.alpha_composite(cuff_img)
    # creases between the curled fingers
    ld = ImageDraw.Draw(img)
    for x, y0, y1 in ((8.3, 11.2, 15.0), (12.0, 12.2, 15.6), (15.8, 13.4, 16.2)):
        ld.line((x * k, y0 * k, x * k, y1 * k), fill=(70, 70, 80, 255), width=max(1, k // 2))
    ld.line((4.2 * k, 26.0 * k, 18.8 * k, 26.0 * k), fill=(0, 0, 0, 255), width=k // 2)
    img = img.resize((32, 32), Image.LANCZOS)
    path = out_path("cursors", "autor.png")
    img.save(path, "PNG", optimize=True)
    check_size(path, (32, 32), "RGBA")
    with Image.open(path) as im:
        hx, hy = CURSOR_HOTSPOT
        assert im.getpixel((hx, hy))[3] >= 128, "hotspot must lie on the fingertip"
        assert all(im.getpixel((x, 0))[3] < 100 for x in range(32)), "nothing above the fingertip"


# ---------------------------------------------------------------------------
# Sound: a short click
# ---------------------------------------------------------------------------

TICK_BYTES = 4516
TICK_RATE = 44100


def make_tick():
    n = (TICK_BYTES - 44) // 2        # 16-bit mono: 2236 samples, 50.7 ms at 44.1 kHz
    rng = random.Random(4516)
    samples = []
    for i in range(n):
        t = i / TICK_RATE
        env = math.exp(-t / 0.0045)                    # fast decay: a wooden click
        body = 0.60 * math.sin(2 * math.pi * 1850 * t) + 0.35 * math.sin(2 * math.pi * 3700 * t + 0.6)
        low = 0.35 * math.sin(2 * math.pi * 620 * t) * math.exp(-t / 0.012)
        noise = rng.uniform(-1, 1) * math.exp(-t / 0.0008)
        attack = min(1.0, i / 12.0)                    # no step at the very start
        release = min(1.0, (n - 1 - i) / 400.0)        # and silence at the end
        v = (0.55 * env * body + low + 0.45 * noise) * attack * release
        samples.append(max(-32767, min(32767, int(round(v * 0.7 * 32767)))))
    path = out_path("sounds", "tick.wav")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(TICK_RATE)
        w.writeframes(struct.pack("<%dh" % n, *samples))
    size = os.path.getsize(path)
    assert size == TICK_BYTES, f"tick.wav is {size} bytes, must be {TICK_BYTES}"
    with open(path, "rb") as f:
        head = f.read(44)
    assert head[:4] == b"RIFF" and head[8:16] == b"WAVEfmt " and head[36:40] == b"data"
    assert struct.unpack("<I", head[4:8])[0] == TICK_BYTES - 8
    assert struct.unpack("<I", head[40:44])[0] == TICK_BYTES - 44
    with wave.open(path, "rb") as w:
        assert (w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()) == (1, 2, TICK_RATE, n)
    print(f"{os.path.relpath(path, ROOT)}: {n} samples, {1000 * n / TICK_RATE:.1f} ms, {size} bytes")


# ---------------------------------------------------------------------------
# Figures for the user guide (resources/help/figures)
# ---------------------------------------------------------------------------

def red_shift_anaglyph(img, effect):
    """The anaglyph of one picture with Depth off: its red channel read 6 * effect pixels
    further along each row, green and blue in place (the stripe at the end gets no red)."""
    s = 6 * effect
    r, g, b = img.split()
    moved = Image.new("L", img.size, 0)
    if s >= 0:
        moved.paste(r.crop((s, 0, img.width, img.height)), (0, 0))
    else:
        moved.paste(r.crop((0, 0, img.width + s, img.height)), (-s, 0))
    return Image.merge("RGB", (moved, g, b))


def shadow_text(d, xy, text, fnt):
    x, y = xy
    for dx, dy in ((-1, 0), (1, 0), (0, -1), (0, 1), (1, 1), (2, 2)):
        d.text((x + dx, y + dy), text, font=fnt, fill=(0, 0, 0))
    d.text(xy, text, font=fnt, fill=(255, 255, 255))


def make_figures():
    pano = Image.open(out_path("samples", "sample_panorama.jpg")).convert("RGB")
    small = pano.resize((1200, 300), Image.LANCZOS)
    p = out_path("help", "figures", "panorama.jpg")
    small.save(p, "JPEG", quality=85, optimize=True)
    check_size(p, (1200, 300))

    ana = red_shift_anaglyph(pano, 3)
    p = out_path("help", "figures", "anaglyph.jpg")
    ana.resize((1200, 300), Image.LANCZOS).save(p, "JPEG", quality=85, optimize=True)
    check_size(p, (1200, 300))
    # a part at full size, where the 18-pixel red shift is plain to see
    p = out_path("help", "figures", "anaglyph_detail.jpg")
    ana.crop((600, 120, 1400, 420)).save(p, "JPEG", quality=88, optimize=True)
    check_size(p, (800, 300))

    # the three layouts, drawn with the stereo pair loaded as the program takes it: the right
    # eye's view is the first picture, the left eye's the second
    left = Image.open(out_path("samples", "sample_left.png")).convert("RGB")
    right = Image.open(out_path("samples", "sample_right.png")).convert("RGB")
    tw, th = 240, 150
    lt = left.resize((tw, th), Image.LANCZOS)
    rt = right.resize((tw, th), Image.LANCZOS)
    # red from the second view (the left eye's), green and blue from the first
    full_ana = Image.merge("RGB", (left.getchannel("R"), right.getchannel("G"), right.getchannel("B")))
    at = full_ana.resize((tw, th), Image.LANCZOS)
    W, H = 1200, 480
    fig = Image.new("RGB", (W, H), (255, 255, 255))
    d = ImageDraw.Draw(fig)
    label = font("DejaVuSans-Bold.ttf", 26)
    small_f = font("DejaVuSans.ttf", 21)
    cols = [20, 340, 680]
    # anaglyph: one picture the size of the original
    x = cols[0]
    y0 = 60
    fig.paste(at, (x, y0 + th // 2 + 6))
    d.text((x, 14), "Anaglyph", font=label, fill=(20, 20, 20))
    d.text((x, y0 + th // 2 + th + 16), "W x H, red/cyan", font=small_f, fill=(70, 70, 70))
    # vertical: the second view on top, the first below it
    x = cols[1]
    fig.paste(lt, (x, y0))
    fig.paste(rt, (x, y0 + th))
    d.text((x, 14), "SideBySide vertical", font=label, fill=(20, 20, 20))
    shadow_text(d, (x + 8, y0 + 6), "second: left eye", small_f)
    shadow_text(d, (x + 8, y0 + th + 6), "first: right eye", small_f)
    d.text((x, y0 + 2 * th + 10), "W x 2H", font=small_f, fill=(70, 70, 70))
    # horizontal: first view left of the second (the cross-eyed order)
    x = cols[2]
    fig.paste(rt, (x, y0 + th // 2 + 6))
    fig.paste(lt, (x + tw, y0 + th // 2 + 6))
    d.text((x, 14), "SideBySide horizontal", font=label, fill=(20, 20, 20))
    shadow_text(d, (x + 8, y0 + th // 2 + 12), "first: right eye", small_f)
    shadow_text(d, (x + tw + 8, y0 + th // 2 + 12), "second: left eye", small_f)
    d.text((x, y0 + th // 2 + th + 16), "2W x H", font=small_f, fill=(70, 70, 70))
    for x, y, w, h in ((cols[0], y0 + th // 2 + 6, tw, th), (cols[1], y0, tw, 2 * th), (cols[2], y0 + th // 2 + 6, 2 * tw, th)):
        d.rectangle((x - 1, y - 1, x + w, y + h), outline=(40, 40, 40))
    d.line((cols[1], y0 + th, cols[1] + tw, y0 + th), fill=(255, 255, 255), width=1)
    d.line((cols[2] + tw, y0 + th // 2 + 6, cols[2] + tw, y0 + th // 2 + 6 + th), fill=(255, 255, 255), width=1)
    fig = fig.crop((0, 0, W, y0 + 2 * th + 44))
    p = out_path("help", "figures", "layouts.png")
    fig.save(p, "PNG", optimize=True)
    check_size(p, fig.size)


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
    "bitmaps": group_bitmaps,
    "icons": make_icons,
    "cursor": make_cursor,
    "sound": make_tick,
    "figures": make_figures,
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
