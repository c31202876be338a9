#!/usr/bin/python3
"""The photo information that k3v-convert --keep-metadata keeps, read back by ExifTool and Pillow.

The input is a JPEG turned by its Exif orientation (6), with a thumbnail, a date, a camera, GPS
and an ICC profile larger than one JPEG segment. Every JPEG output (plain, separate views, each
MPO image, JPS) must carry the Exif with orientation 1, no thumbnail, the date, camera and GPS,
and the output's own size, and the profile byte for byte; Pillow must open it, and ExifTool
validate it without a warning. A TIFF's own layout tags stay out; an Exif block too large for
a JPEG is left out with a note while the profile is kept; unreadable Exif gives a note and the
picture still converts. Without the option no output carries either.

Usage: check_photo_metadata.py K3V_CONVERT
"""

import json
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

from checks import check, summary

def icc_profile(points):
    """A display profile whose three tone curves of `points` entries make it large."""
    def s15(v):
        return struct.pack(">i", round(v * 65536))

    def xyz(x, y, z):
        return b"XYZ \0\0\0\0" + s15(x) + s15(y) + s15(z)
    curve = b"curv\0\0\0\0" + struct.pack(">I", points) + b"".join(
        struct.pack(">H", round(65535 * (i / (points - 1)) ** 1.8)) for i in range(points))
    tags = [(b"desc", b"desc\0\0\0\0" + struct.pack(">I", 5) + b"Wide\0" + bytes(78)),
            (b"cprt", b"text\0\0\0\0None\0"), (b"wtpt", xyz(0.9642, 1.0, 0.8249)),
            (b"rXYZ", xyz(0.7977, 0.288, 0)), (b"gXYZ", xyz(0.1352, 0.7119, 0)),
            (b"bXYZ", xyz(0.0313, 0.0001, 0.8251)),
            (b"rTRC", curve), (b"gTRC", curve), (b"bTRC", curve)]
    table, data = struct.pack(">I", len(tags)), b""
    start = 128 + 4 + 12 * len(tags)
    for signature, body in tags:
        table += signature + struct.pack(">II", start + len(data), len(body))
        data += body + bytes(-len(body) % 4)
    header = (struct.pack(">I", start + len(data)) + bytes(4) + bytes([2, 0x10, 0, 0]) +
              b"mntrRGB XYZ " + struct.pack(">6H", 2024, 1, 2, 3, 4, 5) + b"acsp" + bytes(28) +
              s15(0.9642) + s15(1.0) + s15(0.8249) + bytes(48))
    return header + table + data


def run(*args):
    return subprocess.run(list(args), capture_output=True, text=True)


def tags(path):
    return json.loads(run("exiftool", "-j", "-n", "-ee", "-a", "-G3:1", path).stdout)[0]


def validated(path):
    return "Validate                        : OK" in run("exiftool", "-validate", "-warning",
                                                          "-a", path).stdout


def without_mpf(jpeg):
    at = jpeg.index(b"MPF\0") - 4
    return jpeg[:at] + jpeg[at + 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]):]


def check_kept(path, icc, frames=1):
    found = tags(path)
    with Image.open(path) as image:
        check(getattr(image, "n_frames", 1) == frames, path + ": Pillow opens it")
        for frame in range(frames):
            image.seek(frame)
            image.load()
            check(image.info.get("icc_profile") == icc,
                  "%s image %d: Pillow reads the profile byte for byte" % (path, frame + 1))
    for doc in ["", "Doc2:"][:frames]:
        what = "%s %s" % (path, doc)
        check(found.get(doc + "IFD0:Orientation") == 1, what + "orientation 1")
        check(not any(key.startswith(doc + "IFD1:") for key in found), what + "no thumbnail")
        check(found.get(doc + "ExifIFD:DateTimeOriginal") == "2021:06:07 08:09:10" and
              found.get(doc + "IFD0:Model") == "Cam 1" and
              found.get(doc + "GPS:GPSLatitude") == 48.5, what + "date, camera and GPS kept")
        check(found.get(doc + "ExifIFD:ExifImageWidth") == found.get(doc + "File:ImageWidth") and
              found.get(doc + "ExifIFD:ExifImageHeight") == found.get(doc + "File:ImageHeight"),
              what + "Exif states the output's size")
    check(subprocess.run(["exiftool", "-b", "-ICC_Profile", path], capture_output=True).stdout ==
          icc, path + ": ExifTool reads the profile byte for byte")
    check(validated(path), path + ": ExifTool validates it")


def main():
    tool = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as folder:
        os.chdir(folder)
        icc = icc_profile(12000)
        assert len(icc) > 65519
        pixels = Image.new("RGB", (64, 48))
        pixels.putdata([(x * 4, y * 5, 128) for y in range(48) for x in range(64)])
        pixels.save("photo.jpg", quality=95, icc_profile=icc)
        pixels.resize((16, 12)).save("thumb.jpg")
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-Orientation#=6",
                        "-Make=Maker", "-Model=Cam 1", "-DateTimeOriginal=2021:06:07 08:09:10",
                        "-GPSLatitude=48.5", "-GPSLatitudeRef=N", "-ThumbnailImage<=thumb.jpg",
                        "-ExifImageWidth=64", "-ExifImageHeight=48", "photo.jpg"], check=True)
        check(validated("photo.jpg") and tags("photo.jpg").get("IFD1:ThumbnailLength", 0) > 0,
              "the input validates and has a thumbnail")

        outputs = {"one.jpg": [], "pair.mpo": [], "pair.jps": ["--half"],
                   "view.jpg": ["--layout", "separate"], "view.bmp": ["--layout", "separate"]}
        for name, options in outputs.items():
            done = run(tool, "--keep-metadata", "--depth", "40", *options, "photo.jpg", "-o", name)
            check(done.returncode == 0 and done.stderr == "", name + " converts without a note")
        for name in ("one.jpg", "pair.jps", "view_left.jpg", "view_right.jpg"):
            check_kept(name, icc)
        check_kept("pair.mpo", icc, frames=2)
        mpo = open("pair.mpo", "rb").read()
        second = tags("pair.mpo").get("MPImage2:MPImageStart", 0)
        check(without_mpf(mpo[:second]) == open("view_left.jpg", "rb").read() and
              without_mpf(mpo[second:]) == open("view_right.jpg", "rb").read(),
              "each MPO image is its view's JPEG, photo information included, with MPF added")

        # A picture named "-" is a file like any other, never standard input.
        os.link("photo.jpg", "-")
        done = subprocess.run([tool, "--keep-metadata", "-o", "dash.jpg", "--", "-"],
                              input="not a picture", capture_output=True, text=True)
        check(done.returncode == 0 and done.stderr == "" and
              tags("dash.jpg").get("ExifIFD:DateTimeOriginal") == "2021:06:07 08:09:10",
              "a picture named - keeps its own information: " + done.stderr.strip())

        run(tool, "--depth", "40", "photo.jpg", "-o", "plain.jpg")
        run(tool, "--depth", "40", "photo.jpg", "-o", "plain.mpo")
        for name in ("plain.jpg", "plain.mpo"):
            groups = {key.split(":")[-2] for key in tags(name) if ":" in key}
            check(not groups & {"IFD0", "ExifIFD", "ICC_Profile"},
                  name + ": without --keep-metadata no Exif, no profile")

        # A TIFF's Exif describes its strips and holds its profile; a JPEG's must not.
        pixels.save("photo.tif")
        with open("profile.icc", "wb") as out:
            out.write(icc)
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-Model=Cam 1",
                        "-ICC_Profile<=profile.icc", "photo.tif"], check=True)
        done = run(tool, "--keep-metadata", "photo.tif", "-o", "tif.jpg")
        check(done.returncode == 0 and tags("tif.jpg").get("IFD0:Model") == "Cam 1" and
              Image.open("tif.jpg").info.get("icc_profile") == icc and validated("tif.jpg"),
              "a TIFF's Exif goes without its layout tags and profile, which has its segments")

        # An Exif block too large for a JPEG segment is left out, and said; the profile stays.
        exif = Image.Exif()
        for tag in (0x10E, 0x13B, 0x8298, 0x131):
            exif[tag] = "x" * 19000
        pixels.save("large.png", exif=exif, icc_profile=icc)
        done = run(tool, "--keep-metadata", "large.png", "-o", "large.jpg")
        found = tags("large.jpg")
        check(done.returncode == 0 and "The Exif data of \"large.png\" is not kept" in done.stderr,
              "an Exif block too large is left out with a note: " + done.stderr.strip())
        check(not any(k.startswith("IFD0:") for k in found) and validated("large.jpg") and
              Image.open("large.jpg").info.get("icc_profile") == icc,
              "large.jpg has the profile, no Exif, and validates")

        # Exif that cannot be read: the picture converts all the same.
        jpeg = open("thumb.jpg", "rb").read()
        at = 4 + (jpeg[4] << 8 | jpeg[5])
        with open("damaged.jpg", "wb") as out:
            out.write(jpeg[:at] + b"\xff\xe1\x00\x0cExif\0\0XX*\0" + jpeg[at:])
        done = run(tool, "--keep-metadata", "damaged.jpg", "-o", "damaged_out.jpg")
        check(done.returncode == 0 and "cannot be read" in done.stderr and
              Image.open("damaged_out.jpg").size == (16, 12),
              "unreadable Exif converts with a note: " + done.stderr.strip())
        os.chdir("/")

    return summary()


if __name__ == "__main__":
    sys.exit(main())
