#!/usr/bin/python3
"""Builds the picture corpus the hardening tests and the decode fuzzer start from.

    tools/make_corpus.py OUTPUT_FOLDER

Writes, into OUTPUT_FOLDER (emptied first):

- valid pictures in every pixel layout the decoders hand back, each with a reference
  `<name>.rgb`: its pixels as 8-bit R, G, B, top row first, upright, composited over black,
  decoded by another decoder (PIL, or ImageMagick where PIL cannot read the layout);
- pictures at the edges of the size range;
- damaged and hostile files;
- manifest.tsv, one line per file:
      file  expect  width  height  tolerance  reason
  expect is "ok" (must load: width x height, every channel within tolerance of the reference)
  or "refuse" (must be refused; the message must contain reason, "-" for any reason).

Everything is made from scratch in a few seconds; the whole folder stays below 3 MB.
Needs python3-pil, ImageMagick (convert) and libjpeg-turbo-progs (cjpeg).
"""

import io
import os
import random
import shutil
import struct
import subprocess
import sys
import zlib

from PIL import Image, ImageOps

# JPEG: the reference is PIL, which also decodes through libjpeg-turbo but may pick another
# IDCT or chroma upsampler; a correct decoder can then differ by a few levels, never more.
JPEG_TOLERANCE = 3
# Lossless formats: every decoder must give the stored value, so any difference is a fault.
LOSSLESS = 0

rows = []
out = ""


def path(name):
    return os.path.join(out, name)


def pattern(width, height, seed=0):
    """Colours that change along both axes, with hard edges, so that a mirrored, turned,
    swapped-channel or shifted picture cannot pass for the right one."""
    image = Image.new("RGB", (width, height))
    pixels = image.load()
    for y in range(height):
        for x in range(width):
            r = (x * 255 // max(1, width - 1) + seed * 50) & 0xFF
            g = (y * 255 // max(1, height - 1)) & 0xFF
            b = 200 if (x // 4 + y // 3) % 2 else 30
            if x < width // 3 and y < height // 3:
                r, g, b = 250, 20, 10  # a red block marks the top-left corner
            pixels[x, y] = (r, g, b)
    return image


def smooth(width, height):
    """Gentle gradients: JPEG keeps them well, so the tolerance stays small."""
    image = Image.new("RGB", (width, height))
    pixels = image.load()
    for y in range(height):
        for x in range(width):
            pixels[x, y] = (40 + x * 170 // max(1, width - 1), 60 + y * 150 // max(1, height - 1),
                            200 - x * 100 // max(1, width - 1))
    return image


def over_black(image):
    """RGBA composited over black, rounded to nearest, as premultiplication does."""
    rgba = image.convert("RGBA")
    result = Image.new("RGB", rgba.size)
    src = rgba.load()
    dst = result.load()
    for y in range(rgba.size[1]):
        for x in range(rgba.size[0]):
            r, g, b, a = src[x, y]
            dst[x, y] = tuple((c * a + 127) // 255 for c in (r, g, b))
    return result


def reference_from_pil(name):
    with Image.open(path(name)) as image:
        image.seek(0)
        upright = ImageOps.exif_transpose(image)
        has_alpha = upright.mode in ("RGBA", "LA", "PA") or "transparency" in upright.info
        rgb = over_black(upright) if has_alpha else upright.convert("RGB")
    return rgb.size, rgb.tobytes()


def reference_from_magick(name, width, height):
    raw = subprocess.run(["convert", path(name) + "[0]", "-background", "black", "-alpha",
                          "remove", "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    assert len(raw) == width * height * 3, name
    return (width, height), raw


def valid(name, tolerance, reference="pil", size=None):
    if reference == "pil":
        (width, height), raw = reference_from_pil(name)
    else:
        width, height = size
        (width, height), raw = reference_from_magick(name, width, height)
    with open(path(name + ".rgb"), "wb") as f:
        f.write(raw)
    rows.append((name, "ok", width, height, tolerance, "-"))


def refused(name, reason="-"):
    rows.append((name, "refuse", 0, 0, 0, reason))


def write(name, data):
    with open(path(name), "wb") as f:
        f.write(data)


def magick(*args):
    subprocess.run(["convert", *args], check=True, capture_output=True)


# ---------------------------------------------------------------------------------------------
# Valid pictures in every layout.

def make_jpegs():
    base = smooth(45, 29)
    base.save(path("jpeg_baseline.jpg"), quality=92)
    valid("jpeg_baseline.jpg", JPEG_TOLERANCE)
    base.save(path("jpeg_progressive.jpg"), quality=92, progressive=True)
    valid("jpeg_progressive.jpg", JPEG_TOLERANCE)
    base.save(path("jpeg_420.jpg"), quality=90, subsampling=2)
    valid("jpeg_420.jpg", JPEG_TOLERANCE)
    base.save(path("ppm.ppm"))
    subprocess.run(["cjpeg", "-arithmetic", "-quality", "92", "-outfile",
                    path("jpeg_arithmetic.jpg"), path("ppm.ppm")], check=True)
    os.remove(path("ppm.ppm"))
    valid("jpeg_arithmetic.jpg", JPEG_TOLERANCE)
    base.convert("L").save(path("jpeg_grey.jpg"), quality=92)
    valid("jpeg_grey.jpg", JPEG_TOLERANCE)
    # PIL writes CMYK with an Adobe marker and inverted inks, as Photoshop does.
    base.convert("CMYK").save(path("jpeg_cmyk.jpg"), quality=95)
    valid("jpeg_cmyk.jpg", JPEG_TOLERANCE)
    # Every EXIF orientation: the stored picture is the same, the upright one differs.
    for orientation in range(1, 9):
        exif = Image.Exif()
        exif[0x0112] = orientation
        name = "jpeg_exif_%d.jpg" % orientation
        pattern(24, 14).save(path(name), quality=95, exif=exif.tobytes())
        valid(name, 40)  # hard edges: JPEG ringing; the geometry is what is checked


def make_pngs():
    base = pattern(37, 23)
    base.save(path("png_rgb8.png"))
    valid("png_rgb8.png", LOSSLESS)
    base.convert("L").save(path("png_grey8.png"))
    valid("png_grey8.png", LOSSLESS)
    # 16 bits per channel, values not multiples of 257: the reduction to 8 bits must round.
    magick(path("png_rgb8.png"), "-evaluate", "add", "1.3%", "-depth", "16",
           "PNG48:" + path("png_rgb16.png"))
    valid("png_rgb16.png", LOSSLESS, "magick", (37, 23))
    grey16 = Image.new("I", base.size)
    grey16.putdata([(x * 1789 + y * 997 + 3) % 65536 for y in range(23) for x in range(37)])
    grey16.save(path("png_grey16.png"))
    # PIL reads 16-bit grey exactly; the 8-bit value is the nearest one, v * 255 / 65535.
    with open(path("png_grey16.png.rgb"), "wb") as f:
        f.write(bytes(c for v in grey16.getdata() for c in [(v * 255 + 32767) // 65535] * 3))
    rows.append(("png_grey16.png", "ok", 37, 23, LOSSLESS, "-"))
    palette = base.quantize(colors=16)
    palette.info["transparency"] = 3
    palette.save(path("png_palette_trns.png"), transparency=3)
    valid("png_palette_trns.png", LOSSLESS)
    grey_alpha = Image.merge("LA", (base.convert("L"), base.split()[0]))
    grey_alpha.save(path("png_grey_alpha.png"))
    valid("png_grey_alpha.png", LOSSLESS)
    rgba = base.convert("RGBA")
    alpha = Image.new("L", base.size)
    alpha.putdata([(x * 7 + y * 11) % 256 for y in range(23) for x in range(37)])
    rgba.putalpha(alpha)
    rgba.save(path("png_rgba_partial.png"))
    valid("png_rgba_partial.png", LOSSLESS)
    magick(path("png_rgb8.png"), "-interlace", "PNG", path("png_interlaced.png"))
    valid("png_interlaced.png", LOSSLESS)
    magick(path("png_rgb16.png"), "-interlace", "PNG", "PNG64:" + path("png_rgba16_interlaced.png"))
    valid("png_rgba16_interlaced.png", LOSSLESS, "magick", (37, 23))
    # An eXIf chunk's orientation turns the picture upright, as a JPEG's EXIF block does.
    exif = Image.Exif()
    exif[0x0112] = 6
    base.save(path("png_exif_6.png"), exif=exif.tobytes())
    with open(path("png_exif_6.png.rgb"), "wb") as f:
        f.write(base.transpose(Image.ROTATE_270).tobytes())
    rows.append(("png_exif_6.png", "ok", 23, 37, LOSSLESS, "-"))


def make_others():
    """The other formats read through Qt: GIF, lossless WebP, PPM."""
    base = pattern(37, 23)
    base.quantize(colors=64).save(path("gif_palette.gif"))
    valid("gif_palette.gif", LOSSLESS)
    base.save(path("webp_lossless.webp"), lossless=True)
    valid("webp_lossless.webp", LOSSLESS)
    base.save(path("pnm_rgb.ppm"))
    valid("pnm_rgb.ppm", LOSSLESS)
    base.convert("L").save(path("pnm_grey.pgm"))
    valid("pnm_grey.pgm", LOSSLESS)
    # 16-bit samples (maxval 65535), not multiples of 257: rounded to nearest.
    magick(path("png_rgb16.png"), "-depth", "16", path("pnm_rgb16.ppm"))
    valid("pnm_rgb16.ppm", LOSSLESS, "magick", (37, 23))
    # 16-bit grey samples up to half a step off each 8-bit level: rounded to nearest, each
    # gives back its level.
    levels = list(base.convert("L").getdata())
    samples = [min(max(v * 257 + (i * 37) % 257 - 128, 0), 65535) for i, v in enumerate(levels)]
    write("pnm_grey16.pgm", b"P5 37 23 65535\n" + struct.pack(">%dH" % len(samples), *samples))
    write("pnm_grey16.pgm.rgb", bytes(v for v in levels for _ in range(3)))
    rows.append(("pnm_grey16.pgm", "ok", 37, 23, LOSSLESS, "-"))
    data = open(path("pnm_rgb.ppm"), "rb").read()
    write("cut_pnm_rgb.ppm", data[:len(data) // 2])
    refused("cut_pnm_rgb.ppm", "Premature end of input file")
    # Formats Qt's plugins offer that we do not read: refused by name, before any decoding.
    base.save(path("targa.tga"))
    refused("targa.tga", "TGA format, which this program does not read")


def bmp_file(width, height, bits, pixel_rows, palette=b"", compression=0, top_down=False):
    """A BMP with a 40-byte header; pixel_rows are the stored rows, already padded."""
    data = b"".join(pixel_rows)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits,
                       compression, len(data), 2835, 2835, len(palette) // 4, 0)
    return header + info + palette + data


def make_bmps():
    base = pattern(37, 23)
    base.convert("1").save(path("bmp_1bit.bmp"))
    valid("bmp_1bit.bmp", LOSSLESS)
    base.quantize(colors=200).save(path("bmp_8bit.bmp"))
    valid("bmp_8bit.bmp", LOSSLESS)
    base.save(path("bmp_24bit.bmp"))
    valid("bmp_24bit.bmp", LOSSLESS)
    # 32-bit uncompressed with a zero fourth byte, as our own BMP files are written: the
    # fourth byte is not alpha here.
    px = base.load()
    stored = [b"".join(bytes((px[x, y][2], px[x, y][1], px[x, y][0], 0)) for x in range(37))
              for y in reversed(range(23))]
    write("bmp_32bit.bmp", bmp_file(37, 23, 32, stored))
    valid("bmp_32bit.bmp", LOSSLESS)
    top_rows = []
    for y in range(23):
        row = b"".join(bytes((px[x, y][2], px[x, y][1], px[x, y][0])) for x in range(37))
        top_rows.append(row + b"\0" * (-len(row) % 4))
    write("bmp_top_down.bmp", bmp_file(37, 23, 24, top_rows, top_down=True))
    valid("bmp_top_down.bmp", LOSSLESS)
    magick(path("bmp_24bit.bmp"), "BMP2:" + path("bmp_os2.bmp"))  # 12-byte OS/2 header
    valid("bmp_os2.bmp", LOSSLESS)
    # ImageMagick's own BMP: plain 24-bit rows under a 124-byte (Windows 5) header.
    magick(path("bmp_24bit.bmp"), "BMP:" + path("bmp_v5.bmp"))
    valid("bmp_v5.bmp", LOSSLESS)
    base.quantize(colors=64).save(path("bmp8_for_rle.bmp"))
    magick(path("bmp8_for_rle.bmp"), "-compress", "RLE", "BMP3:" + path("bmp_rle8.bmp"))
    os.remove(path("bmp8_for_rle.bmp"))
    valid("bmp_rle8.bmp", LOSSLESS)


def make_tiffs():
    base = pattern(37, 23)
    base.save(path("tiff_plain.tif"))
    valid("tiff_plain.tif", LOSSLESS)
    base.save(path("tiff_lzw.tif"), compression="tiff_lzw")
    valid("tiff_lzw.tif", LOSSLESS)
    magick(path("png_rgb16.png"), "-depth", "16", path("tiff_16bit.tif"))
    valid("tiff_16bit.tif", LOSSLESS, "magick", (37, 23))
    magick(path("png_rgb8.png"), "-define", "tiff:tile-geometry=16x16", path("tiff_tiled.tif"))
    valid("tiff_tiled.tif", LOSSLESS, "magick", (37, 23))
    second = pattern(37, 23, seed=3)
    base.save(path("tiff_pages.tif"), save_all=True, append_images=[second])
    valid("tiff_pages.tif", LOSSLESS)  # the reference is page 0
    make_more_tiffs()


def make_more_tiffs():
    """The layouts stitchers and scanners write: tiles with partial tiles at the right and
    bottom, 16 bits, every compression, BigTIFF, grey, palette, CMYK, JPEG-coded YCbCr,
    separate planes, alpha and every orientation."""
    base = pattern(70, 50)
    base.save(path("tiff_src.png"))
    magick(path("tiff_src.png"), "-evaluate", "add", "1.3%", "-depth", "16",
           "PNG48:" + path("tiff_src16.png"))
    tiled = ("-define", "tiff:tile-geometry=16x16")
    magick(path("tiff_src.png"), "-compress", "none", *tiled, path("tiff_tiled_partial.tif"))
    valid("tiff_tiled_partial.tif", LOSSLESS)
    for name, options in (("tiff_tiled16_lzw.tif", ("-compress", "LZW", *tiled)),
                          ("tiff_tiled16_deflate.tif", ("-compress", "Zip", *tiled)),
                          ("tiff_strips16_lzw.tif", ("-compress", "LZW")),
                          ("tiff_bigtiff16.tif", ("-compress", "Zip", *tiled, "TIFF64:"))):
        target = options[-1] + path(name) if options[-1] == "TIFF64:" else path(name)
        options = options[:-1] if options[-1] == "TIFF64:" else options
        magick(path("tiff_src16.png"), "-depth", "16", *options, target)
        valid(name, LOSSLESS, "magick", (70, 50))
    base.save(path("tiff_packbits.tif"), compression="packbits")
    valid("tiff_packbits.tif", LOSSLESS)
    subprocess.run(["tiffcp", "-c", "jpeg:95", "-t", "-w", "32", "-l", "32",
                    path("tiff_tiled_partial.tif"), path("tiff_jpeg_ycbcr.tif")], check=True)
    valid("tiff_jpeg_ycbcr.tif", JPEG_TOLERANCE, "magick", (70, 50))
    subprocess.run(["tiffcp", "-p", "separate", path("tiff_tiled_partial.tif"),
                    path("tiff_separate.tif")], check=True)
    valid("tiff_separate.tif", LOSSLESS)
    magick(path("tiff_src16.png"), "-colorspace", "Gray", "-depth", "16", path("tiff_grey16.tif"))
    with Image.open(path("tiff_grey16.tif")) as grey16:  # PIL reads 16-bit grey exactly
        with open(path("tiff_grey16.tif.rgb"), "wb") as f:
            f.write(bytes(c for v in grey16.getdata() for c in [(v * 255 + 32767) // 65535] * 3))
    rows.append(("tiff_grey16.tif", "ok", 70, 50, LOSSLESS, "-"))
    base.convert("LA").save(path("tiff_grey_alpha.tif"))
    valid("tiff_grey_alpha.tif", LOSSLESS)
    # ImageMagick's reference reduces its own 16-bit colour map in its own way; the exact
    # rounding is checked on PIL's palette below.
    magick(path("tiff_src.png"), "-colors", "50", "-type", "Palette", path("tiff_palette.tif"))
    valid("tiff_palette.tif", 1, "magick", (70, 50))
    # PIL stores palette entries as v x 256; 16-bit entries become v x 256 x 255 / 65535,
    # rounded to nearest (255 becomes 254).
    palette = base.quantize(colors=40)
    palette.save(path("tiff_palette_pil.tif"))
    colours = palette.getpalette()
    with open(path("tiff_palette_pil.tif.rgb"), "wb") as f:
        f.write(bytes((colours[3 * i + c] * 256 * 255 + 32767) // 65535
                      for i in palette.getdata() for c in range(3)))
    rows.append(("tiff_palette_pil.tif", "ok", 70, 50, LOSSLESS, "-"))
    base.convert("CMYK").save(path("tiff_cmyk.tif"))
    valid("tiff_cmyk.tif", 1, "magick", (70, 50))  # libtiff truncates the ink products
    rgba = base.convert("RGBA")
    alpha = Image.new("L", base.size)
    alpha.putdata([(x * 7 + y * 11) % 256 for y in range(50) for x in range(70)])
    rgba.putalpha(alpha)
    rgba.save(path("tiff_rgba_src.png"))
    magick(path("tiff_rgba_src.png"), "-depth", "16", path("tiff_rgba16.tif"))
    valid("tiff_rgba16.tif", 1, "magick", (70, 50))  # ImageMagick composites at 16 bits
    rgba.save(path("tiff_rgba8.tif"), compression="tiff_deflate")
    valid("tiff_rgba8.tif", LOSSLESS)
    # PIL does not turn TIFF files upright itself: the reference is turned here.
    turns = {2: Image.FLIP_LEFT_RIGHT, 3: Image.ROTATE_180, 4: Image.FLIP_TOP_BOTTOM,
             5: Image.TRANSPOSE, 6: Image.ROTATE_270, 7: Image.TRANSVERSE, 8: Image.ROTATE_90}
    for orientation, turn in turns.items():
        name = "tiff_orientation_%d.tif" % orientation
        pattern(24, 14).save(path(name), tiffinfo={274: orientation})
        upright = pattern(24, 14).transpose(turn)
        with open(path(name + ".rgb"), "wb") as f:
            f.write(upright.tobytes())
        rows.append((name, "ok", upright.size[0], upright.size[1], LOSSLESS, "-"))
    for name in ("tiff_src.png", "tiff_src16.png", "tiff_rgba_src.png"):
        os.remove(path(name))


# ---------------------------------------------------------------------------------------------
# Sizes at the edges.

def make_sizes():
    for width, height in ((1, 1), (1, 9), (9, 1), (2, 2), (7, 2), (2, 7)):
        picture = pattern(width, height)
        for ext, kind in (("png", "PNG"), ("bmp", "BMP")):
            name = "size_%dx%d.%s" % (width, height, ext)
            picture.save(path(name), kind)
            valid(name, LOSSLESS)
        name = "size_%dx%d.jpg" % (width, height)
        smooth(width, height).save(path(name), quality=95)
        valid(name, JPEG_TOLERANCE)
    # The widest pictures: 65535 is the most a JPEG file can describe, 65536 one more.
    for width in (65535, 65536):
        picture = Image.new("RGB", (width, 2))
        picture.putdata([((x * 13) & 0xFF, (x >> 8) & 0xFF, 255 * y) for y in range(2)
                         for x in range(width)])
        name = "wide_%d.png" % width
        picture.save(path(name))
        valid(name, LOSSLESS)
    smooth(65500, 1).save(path("wide_65500.jpg"), quality=90)  # libjpeg's own maximum
    valid("wide_65500.jpg", JPEG_TOLERANCE)


# ---------------------------------------------------------------------------------------------
# Damaged and hostile files.

def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png_with_size(width, height, body=b"\x78\x9c\x03\x00\x00\x00\x00\x01"):
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", body) +
            png_chunk(b"IEND", b""))


def jpeg_with_size(width, height):
    """A JPEG whose frame header claims width x height, followed by a few bytes of scan."""
    with open(path("jpeg_baseline.jpg"), "rb") as f:
        data = bytearray(f.read())
    sof = data.index(b"\xff\xc0")
    struct.pack_into(">HH", data, sof + 5, height, width)
    sos = data.index(b"\xff\xda")
    return bytes(data[:sos + 40])


def tiff_header(width, height, next_ifd_self=False, strip_bytes=100):
    """A little-endian RGB TIFF; with next_ifd_self its first directory names itself as the
    next one, so a reader that walks the directories would go round for ever."""
    entries = [(256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, 8), (259, 3, 1, 1),
               (262, 3, 1, 2), (273, 4, 1, 8 + 2 + 12 * 10 + 4), (277, 3, 1, 3),
               (278, 4, 1, height), (279, 4, 1, strip_bytes), (284, 3, 1, 1)]
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        packed = struct.pack("<H", value) + b"\0\0" if kind == 3 else struct.pack("<I", value)
        ifd += struct.pack("<HHI", tag, kind, count) + packed
    ifd += struct.pack("<I", 8 if next_ifd_self else 0)
    data = bytes(range(256)) * (strip_bytes // 256 + 1)
    return b"II*\0" + struct.pack("<I", 8) + ifd + data[:strip_bytes]


def tiled_tiff_header(width, height, tile):
    """A little-endian RGB TIFF in one tile of tile x tile pixels, with 100 bytes of data."""
    entries = [(256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, 8), (259, 3, 1, 1),
               (262, 3, 1, 2), (277, 3, 1, 3), (284, 3, 1, 1), (322, 4, 1, tile),
               (323, 4, 1, tile), (324, 4, 1, 8 + 2 + 12 * 11 + 4), (325, 4, 1, 100)]
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        packed = struct.pack("<H", value) + b"\0\0" if kind == 3 else struct.pack("<I", value)
        ifd += struct.pack("<HHI", tag, kind, count) + packed
    ifd += struct.pack("<I", 0)
    return b"II*\0" + struct.pack("<I", 8) + ifd + bytes(100)


def make_hostile():
    rng = random.Random(5)
    write("empty.jpg", b"")
    refused("empty.jpg", "the file is empty")
    write("random.bin", bytes(rng.randrange(256) for _ in range(4096)))
    refused("random.bin", "not a picture")
    write("web_page.jpg", b"<!DOCTYPE html>\n<html><body>Not found</body></html>\n")
    refused("web_page.jpg", "not a picture")
    shutil.copy(path("png_rgb8.png"), path("png_named.jpg"))
    valid("png_named.jpg", LOSSLESS)
    write("jpeg_named.png", open(path("jpeg_baseline.jpg"), "rb").read())
    valid("jpeg_named.png", JPEG_TOLERANCE)
    write("text_named.bmp", b"BM this is only text, with the two letters of a bitmap first\n")
    refused("text_named.bmp")

    # Cut short inside the header and inside the pixel data.
    for name, keep in (("jpeg_baseline.jpg", (20, 150, -200)),
                       ("jpeg_progressive.jpg", (150, -300)),
                       ("png_rgb8.png", (12, 30, 60, -30)),
                       ("png_interlaced.png", (-300,)),
                       ("bmp_24bit.bmp", (10, 40, -100)),
                       ("bmp_rle8.bmp", (-60,)),
                       ("tiff_plain.tif", (6, -40)),
                       ("tiff_lzw.tif", (-60,))):
        data = open(path(name), "rb").read()
        for cut in keep:
            length = cut if cut > 0 else len(data) + cut
            stem, ext = os.path.splitext(name)
            short = "cut_%s_%d%s" % (stem, length, ext)
            write(short, data[:length])
            refused(short)

    # Damage at the very end, and damage libjpeg only warns about.
    data = open(path("jpeg_baseline.jpg"), "rb").read()
    write("jpeg_no_eoi.jpg", data[:-2])
    refused("jpeg_no_eoi.jpg", "Premature end of JPEG file")
    dht = data.index(b"\xff\xc4")
    write("jpeg_extraneous.jpg", data[:dht] + b"\x12\x34\x56" + data[dht:])
    refused("jpeg_extraneous.jpg", "extraneous bytes before marker")
    data = open(path("png_rgb8.png"), "rb").read()
    write("png_no_iend.png", data[:data.rindex(b"IEND") - 4])
    refused("png_no_iend.png", "cut short")
    # A bad CRC on an ancillary chunk after the pixels: libpng drops the chunk with a
    # warning; the picture itself is whole.
    iend = data.rindex(b"IEND") - 4
    text = bytearray(png_chunk(b"tEXt", b"Comment\0hello"))
    text[-1] ^= 0x01
    write("png_bad_text_crc.png", data[:iend] + bytes(text) + data[iend:])
    valid("png_bad_text_crc.png", LOSSLESS)
    strip = tiff_header(20, 20, strip_bytes=1200)
    write("cut_tiff_strip.tif", strip[:len(strip) - 1200 + 500])
    refused("cut_tiff_strip.tif", "TIFF")

    # Bad checksums: a PNG's IDAT CRC, and its zlib stream's Adler-32.
    data = bytearray(open(path("png_rgb8.png"), "rb").read())
    idat = data.index(b"IDAT")
    length = struct.unpack(">I", data[idat - 4:idat])[0]
    crc_at = idat + 4 + length
    bad = bytearray(data)
    bad[crc_at] ^= 0x55
    write("png_bad_crc.png", bytes(bad))
    refused("png_bad_crc.png")
    bad = bytearray(data)
    bad[crc_at - 1] ^= 0x55  # last byte of the Adler-32 checksum
    body = bytes(bad[idat + 4:crc_at])
    bad[crc_at:crc_at + 4] = struct.pack(">I", zlib.crc32(b"IDAT" + body))
    write("png_bad_adler.png", bytes(bad))
    refused("png_bad_adler.png")
    bad = bytearray(data)
    bad[idat + 30] ^= 0xFF  # damage inside the compressed rows, CRC made to match
    body = bytes(bad[idat + 4:crc_at])
    bad[crc_at:crc_at + 4] = struct.pack(">I", zlib.crc32(b"IDAT" + body))
    write("png_bad_deflate.png", bytes(bad))
    refused("png_bad_deflate.png")
    data = bytearray(open(path("jpeg_baseline.jpg"), "rb").read())
    sos = data.index(b"\xff\xda")
    for i in range(sos + 30, sos + 60, 3):
        data[i] = 0xFF if data[i] != 0xFF else 0x00
    write("jpeg_corrupt_scan.jpg", bytes(data))
    refused("jpeg_corrupt_scan.jpg")

    # Headers that claim a huge picture, with a few bytes of data.
    write("huge_100000.png", png_with_size(100000, 100000))
    refused("huge_100000.png")
    write("huge_65500.jpg", jpeg_with_size(65500, 65500))
    refused("huge_65500.jpg")
    # So wide that even a band of its rows is more than a limited process may have; only the
    # large-picture test reads it (decoded whole, it would take 640 MB before failing).
    write("wide_16000000.tif", tiff_header(16000000, 10))
    write("huge_100000.bmp", bmp_file(100000, 100000, 24, [b"\x10" * 64]))
    refused("huge_100000.bmp")
    # libtiff's own words reach the user.
    data = open(path("tiff_tiled16_lzw.tif"), "rb").read()
    write("cut_tiff_tiles.tif", data[:len(data) * 2 // 3])
    refused("cut_tiff_tiles.tif", "the TIFF data is damaged (Failed to read directory")
    data = open(path("tiff_bigtiff16.tif"), "rb").read()
    write("cut_bigtiff.tif", data[:len(data) // 2])
    refused("cut_bigtiff.tif", "the TIFF data is damaged (")
    # Pixels cut short, the directory intact: ImageMagick writes its directory after the data.
    data = bytearray(open(path("tiff_strips16_lzw.tif"), "rb").read())
    data[16:400] = bytes(384)
    write("tiff_lzw_zeroed.tif", bytes(data))
    refused("tiff_lzw_zeroed.tif", "the TIFF data is damaged (")
    shutil.copy(path("tiff_tiled16_lzw.tif"), path("tiff_named.png"))
    valid("tiff_named.png", LOSSLESS, "magick", (70, 50))
    # One tile claimed 2^20 pixels square for a 20 x 20 picture: refused before its buffer.
    write("tiff_huge_tile.tif", tiled_tiff_header(20, 20, 1 << 20))
    refused("tiff_huge_tile.tif", "the TIFF data is damaged (")
    write("huge_100000.tif", tiff_header(100000, 100000))
    refused("huge_100000.tif")
    # An MNG whose header claims 100000 x 100000 pixels: its Qt reader allocated 40 GB.
    write("mng_huge.mng", b"\x8aMNG\r\n\x1a\n" + png_chunk(b"MHDR", struct.pack(
        ">IIIIIII", 100000, 100000, 1, 0, 0, 0, 1)) + png_with_size(100000, 100000)[8:])
    refused("mng_huge.mng", "MNG format, which this program does not read")
    # A 34-byte BMP whose information header claims 3276837 bytes: Qt's reader made an
    # 8192 x 18665 picture out of it (found by fuzzing).
    write("bmp_unknown_header.bmp", bytes.fromhex(
        "424d464a00d70000fff9360000002500320000201 7b70100180080003500006200 00".replace(" ", "")))
    refused("bmp_unknown_header.bmp", "the BMP header is damaged")
    # Size fields whose products overflow 32 bits.
    write("overflow_png.png", png_with_size(0x7FFFFFFF, 0x7FFFFFFF))
    refused("overflow_png.png")
    write("overflow_bmp.bmp", bmp_file(0x7FFFFFFF, 0x7FFFFFFF, 32, [b"\x10" * 64]))
    refused("overflow_bmp.bmp")
    write("overflow_bmp_height.bmp", bmp_file(16, -0x80000000, 32, [b"\x10" * 64]))
    refused("overflow_bmp_height.bmp")
    write("overflow_bmp_65536.bmp", bmp_file(65536, 65536, 32, [b"\x10" * 64]))
    refused("overflow_bmp_65536.bmp")
    bmp = bytearray(open(path("bmp_24bit.bmp"), "rb").read())
    struct.pack_into("<I", bmp, 10, 0xFFFFFFF0)  # pixel data far past the end
    write("overflow_bmp_offset.bmp", bytes(bmp))
    refused("overflow_bmp_offset.bmp")
    write("overflow_tiff.tif", tiff_header(0xFFFFFFFF, 0xFFFFFFFF))
    refused("overflow_tiff.tif")
    write("zero_size.png", png_with_size(0, 10))
    refused("zero_size.png")
    # Directories that loop: the first page itself is whole, so it may load; what matters
    # is that nothing walks the loop for ever.
    write("tiff_loop.tif", tiff_header(10, 10, next_ifd_self=True, strip_bytes=300))
    rows.append(("tiff_loop.tif", "either", 0, 0, 0, "-"))


def main():
    global out
    if len(sys.argv) != 2:
        sys.exit("usage: make_corpus.py OUTPUT_FOLDER")
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    make_jpegs()
    make_pngs()
    make_bmps()
    make_tiffs()
    make_others()
    make_sizes()
    make_hostile()
    with open(path("manifest.tsv"), "w") as f:
        for row in rows:
            f.write("\t".join(str(v) for v in row) + "\n")


if __name__ == "__main__":
    main()
