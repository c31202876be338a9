#!/usr/bin/python3
"""The stereo files k3v-convert writes, read back by independent readers.

Pillow must open an MPO as two frames equal to the two views saved as separate JPEG files,
and each frame's bytes must be that JPEG with only its MPF segment added. ExifTool must list
the MP tags of the MPO and the stereo tags of a JPS without a warning, and the panorama tags
of a 360-degree (wrapped) 2:1 JPEG of one view or the anaglyph; other JPEGs, side-by-side
pairs included, carry no XMP.

Usage: check_stereo_files.py K3V_CONVERT PICTURE
"""

import os
import subprocess
import sys
import tempfile

from PIL import Image

from checks import check, summary

def convert(tool, picture, *args):
    subprocess.run([tool, "--depth", "40", "--effect", "-2", picture, *args], check=True,
                   stdout=subprocess.DEVNULL)


def exiftool(*args):
    done = subprocess.run(["exiftool", "-a", "-s", "-G1", "-warning", *args], check=True,
                          capture_output=True, text=True)
    return done.stdout


def without_app2_after_app0(jpeg):
    at = 4 + (jpeg[4] << 8 | jpeg[5])
    assert jpeg[at:at + 2] == b"\xff\xe2", "no APP2 after APP0"
    return jpeg[:at] + jpeg[at + 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]):]


def main():
    tool, picture = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as folder:
        mpo = os.path.join(folder, "pair.MPO")  # the ending decides in any letter case
        convert(tool, picture, "--swap-eyes", "-o", mpo)
        convert(tool, picture, "--swap-eyes", "--layout", "separate", "-o",
                os.path.join(folder, "view.jpg"))
        left = open(os.path.join(folder, "view_left.jpg"), "rb").read()
        right = open(os.path.join(folder, "view_right.jpg"), "rb").read()

        with Image.open(mpo) as image:
            check(image.format == "MPO" and image.n_frames == 2, "Pillow reads two MPO frames")
            frames = []
            for frame in range(image.n_frames):
                image.seek(frame)
                frames.append(image.convert("RGB").tobytes())
        for name, jpeg, frame in (("left", left, 0), ("right", right, 1)):
            with Image.open(os.path.join(folder, "view_" + name + ".jpg")) as view:
                check(frames[frame] == view.convert("RGB").tobytes(),
                      "MPO frame %d is the %s eye's JPEG" % (frame, name))
        data = open(mpo, "rb").read()
        first = data.index(b"\xff\xd8\xff\xe0", len(left))
        check(without_app2_after_app0(data[:first]) == left and
              without_app2_after_app0(data[first:]) == right,
              "each MPO image is its view's JPEG with the MPF segment added")

        tags = exiftool("-MPF:all", "-MPImage1:all", "-MPImage2:all", mpo)
        for expected in ("MPFVersion                      : 0100",
                         "NumberOfImages                  : 2",
                         "MPImageFlags                    : Representative image",
                         "MPImageType                     : Multi-frame Disparity",
                         "MPIndividualNum                 : 1",
                         "BaseViewpointNum                : 1",
                         "MPImageLength                   : %d" % first,
                         "MPImageLength                   : %d" % (len(data) - first)):
            check(expected in tags, "ExifTool lists " + expected)

        jps = os.path.join(folder, "pair.jps")
        convert(tool, picture, "--half", "-o", jps)
        tags = exiftool("-JPS:all", "-ImageSize", jps)
        for expected in ("JPSLayout                       : Side By Side",
                         "JPSType                         : Stereo",
                         "JPSFlags                        : Half width"):
            check(expected in tags, "ExifTool lists " + expected)
        with Image.open(picture) as source, Image.open(jps) as pair:
            check(pair.size == source.size, "a half-size JPS pair keeps the picture's size")

        report = subprocess.run(["exiftool", "-validate", "-warning", "-a", mpo, jps],
                                capture_output=True, text=True).stdout
        check(report.count("Validate                        : OK") == 2,
              "ExifTool validates both files without a warning")

        sphere = os.path.join(folder, "sphere.png")
        with Image.open(picture) as source:
            source.convert("RGB").resize((240, 120)).save(sphere)
        wrapped = os.path.join(folder, "sphere.jpg")
        convert(tool, sphere, "--wrap", "-o", wrapped)
        tags = exiftool("-XMP-GPano:all", "-validate", wrapped)
        for expected in ("ProjectionType                  : equirectangular",
                         "FullPanoWidthPixels             : 240",
                         "FullPanoHeightPixels            : 120",
                         "CroppedAreaImageWidthPixels     : 240",
                         "CroppedAreaImageHeightPixels    : 120",
                         "CroppedAreaLeftPixels           : 0",
                         "CroppedAreaTopPixels            : 0",
                         "Validate                        : OK"):
            check(expected in tags, "ExifTool lists " + expected + " for a wrapped 2:1 JPEG")
        convert(tool, sphere, "--wrap", "--layout", "separate", "-o",
                os.path.join(folder, "eye.jpg"))
        for name in ("eye_left.jpg", "eye_right.jpg"):
            check("FullPanoWidthPixels             : 240" in
                  exiftool("-XMP-GPano:all", os.path.join(folder, name)),
                  "ExifTool lists the panorama tags of " + name)
        flat = os.path.join(folder, "flat.jpg")
        convert(tool, sphere, "-o", flat)
        convert(tool, picture, "--wrap", "-o", os.path.join(folder, "narrow.jpg"))
        # A 2:1 pair would be wrapped around the sphere as one picture.
        convert(tool, sphere, "--wrap", "--layout", "horizontal", "--half", "-o",
                os.path.join(folder, "pair.jpg"))
        for name in (flat, os.path.join(folder, "narrow.jpg"), os.path.join(folder, "pair.jpg")):
            check(exiftool("-XMP:all", name).strip() == "",
                  os.path.basename(name) + " (not one wrapped 2:1 view) has no XMP")

    return summary()


if __name__ == "__main__":
    sys.exit(main())
