#!/usr/bin/python3
"""Draws the user guide's before/after figure of "Align the pair".

    /usr/bin/python3 tools/make_alignment_figure.py build/release/cli/k3v-convert

The sample stereo pair's left eye is turned 1.2 degrees, scaled by 1.5 % and moved 10 px
down, as two cameras on a bar leave a pair; k3v-convert --align lines it up again. Each half
of the figure lays the two eyes' views over each other, half and half, as a wiggle's two
frames would be seen at once: before, every edge is doubled up and down; after, only the
sideways offset of the depth is left.  Writes resources/help/figures/alignment.jpg, and the
same pair as a wiggle (the two eyes shown in turn, before beside after) to
docs/alignment_wiggle.gif for the README and the installed guide (needs python3-pil).
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


def labelled(panel, label):
    """The picture at the figure's panel width, with its label in the top-left corner."""
    panel = panel.resize((600, round(600 * panel.height / panel.width)), Image.LANCZOS)
    draw = ImageDraw.Draw(panel)
    try:
        font = ImageFont.truetype("DejaVuSans-Bold.ttf", 22)
    except OSError:
        font = ImageFont.load_default()
    draw.rectangle((8, 8, 24 + draw.textlength(label, font=font), 40), fill=(0, 0, 0))
    draw.text((16, 10), label, fill=(255, 255, 255), font=font)
    return panel


def overlaid(a, b, label):
    return labelled(Image.blend(a.convert("RGB"), b.convert("RGB"), 0.5), label)


def side_by_side(first, second):
    figure = Image.new("RGB", (first.width + second.width + 16, max(first.height, second.height)),
                       (255, 255, 255))
    figure.paste(first, (0, 0))
    figure.paste(second, (first.width + 16, 0))
    return figure


def save_wiggle(before, after, path):
    """Each (right, left) pair shown an eye at a time, as a stereo viewer's wiggle does."""
    frames = []
    for eye, name in ((1, "left eye"), (0, "right eye")):
        frames.append(side_by_side(labelled(before[eye], "before, " + name),
                                   labelled(after[eye], "after, " + name)))
    # One palette for both frames, so that only what moves changes between them.
    both = Image.new("RGB", (frames[0].width, 2 * frames[0].height))
    both.paste(frames[0], (0, 0))
    both.paste(frames[1], (0, frames[0].height))
    palette = both.quantize(colors=256, method=Image.MEDIANCUT)
    frames = [frame.quantize(palette=palette, dither=Image.FLOYDSTEINBERG) for frame in frames]
    frames[0].save(path, save_all=True, append_images=frames[1:], duration=250, loop=0,
                   optimize=True)


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
    figure = side_by_side(overlaid(right, left, "before"),
                          overlaid(aligned_right, aligned_left, "after"))
    figure.save(os.path.join(root, "resources", "help", "figures", "alignment.jpg"), "JPEG",
                quality=85, optimize=True)
    save_wiggle((right, left), (aligned_right, aligned_left),
                os.path.join(root, "docs", "alignment_wiggle.gif"))


if __name__ == "__main__":
    main()
