#!/usr/bin/python3
"""Draws the user guide's before/after figure of "Align the pair".

    /usr/bin/python3 tools/make_alignment_figure.py build/release/cli/k3v-convert

The sample stereo pair's left eye is turned 1.2 degrees, scaled by 1.5 % and moved 10 px
down, as two cameras on a bar leave a pair; k3v-convert --align lines it up again. Each half
of the figure lays the two eyes' views over each other, half and half, as a wiggle's two
frames would be seen at once: before, every edge is doubled up and down; after, only the
sideways offset of the depth is left.  Writes resources/help/figures/alignment.jpg (needs
python3-pil).
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw, ImageFont

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
samples = os.path.join(root, "resources", "samples")


def misaligned(picture, degrees, scale, down):
    """The picture turned and scaled about its centre, then moved down, on black."""
    w, h = picture.size
    turned = picture.rotate(degrees, resample=Image.BICUBIC, center=(w / 2, h / 2))
    big = turned.resize((round(w * scale), round(h * scale)), Image.BICUBIC)
    out = Image.new("RGB", (w, h))
    out.paste(big, (round((w - big.width) / 2), round((h - big.height) / 2 + down)))
    return out


def overlaid(a, b, label):
    panel = Image.blend(a.convert("RGB"), b.convert("RGB"), 0.5)
    panel = panel.resize((600, round(600 * panel.height / panel.width)), Image.LANCZOS)
    draw = ImageDraw.Draw(panel)
    try:
        font = ImageFont.truetype("DejaVuSans-Bold.ttf", 22)
    except OSError:
        font = ImageFont.load_default()
    draw.rectangle((8, 8, 24 + draw.textlength(label, font=font), 40), fill=(0, 0, 0))
    draw.text((16, 10), label, fill=(255, 255, 255), font=font)
    return panel


def main():
    convert = sys.argv[1]
    right = Image.open(os.path.join(samples, "sample_right.png")).convert("RGB")
    left = misaligned(Image.open(os.path.join(samples, "sample_left.png")).convert("RGB"),
                      1.2, 1.015, 10)
    with tempfile.TemporaryDirectory() as work:
        right_path = os.path.join(work, "right.png")
        left_path = os.path.join(work, "left.png")
        right.save(right_path)
        left.save(left_path)
        out = os.path.join(work, "pair.bmp")
        subprocess.run([convert, "--mode", "standard", "--align", "--layout", "separate",
                        right_path, left_path, "-o", out], check=True)
        aligned_right = Image.open(os.path.join(work, "pair_right.bmp")).convert("RGB")
        aligned_left = Image.open(os.path.join(work, "pair_left.bmp")).convert("RGB")
    before = overlaid(right, left, "before")
    after = overlaid(aligned_right, aligned_left, "after")
    figure = Image.new("RGB", (before.width + after.width + 16, max(before.height, after.height)),
                       (255, 255, 255))
    figure.paste(before, (0, 0))
    figure.paste(after, (before.width + 16, 0))
    figure.save(os.path.join(root, "resources", "help", "figures", "alignment.jpg"), "JPEG",
                quality=85, optimize=True)


if __name__ == "__main__":
    main()
