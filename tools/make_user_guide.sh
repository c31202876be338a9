#!/bin/bash
# Builds the user guide resources/help/Quorvex_K3V.pdf from resources/help/user_guide.ms.
#
#   bash tools/make_user_guide.sh
#
# Needs (Debian packages): groff (the full package, for the ms macros; groff-base is
# not enough), ghostscript (ps2pdf) and python3-pil (/usr/bin/python3, to wrap the
# figures as EPS).  The figures themselves come from tools/make_resources.py, and
# alignment.jpg from tools/make_alignment_figure.py (with a built k3v-convert); run them
# first if the samples or bitmaps changed.  The build of the programs never runs this:
# the PDF is committed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
help="$root/resources/help"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Figures as EPS: JPEG files are embedded as they are (DCT), PNG files as Flate-compressed
# RGB.  Written here rather than with ImageMagick so that no conversion policy gets in the way.
/usr/bin/python3 - "$work" "$help/figures"/*.jpg "$help/figures"/*.png "$root/resources/bitmaps/title.png" <<'PY'
import base64, os, sys, zlib
from PIL import Image

def eps(path, out_dir):
    name = os.path.splitext(os.path.basename(path))[0] + ".eps"
    with Image.open(path) as im:
        w, h = im.size
        if im.format == "JPEG" and im.mode == "RGB":
            with open(path, "rb") as f:
                data = f.read()
            filt = "/DCTDecode filter"
        else:
            rgb = im.convert("RGBA")
            flat = Image.new("RGB", rgb.size, (255, 255, 255))
            flat.paste(rgb, mask=rgb.getchannel("A"))
            data = zlib.compress(flat.tobytes(), 9)
            filt = "/FlateDecode filter"
    a85 = base64.a85encode(data, adobe=True, wrapcol=76).decode("ascii")
    if a85.startswith("<~"):
        a85 = a85[2:]  # the filter needs only the closing ~>
    with open(os.path.join(out_dir, name), "w") as f:
        f.write("%!PS-Adobe-3.0 EPSF-3.0\n")
        f.write(f"%%BoundingBox: 0 0 {w} {h}\n%%LanguageLevel: 3\n%%EndComments\n")
        f.write("gsave\n/DeviceRGB setcolorspace\n")
        f.write(f"{w} {h} scale\n")
        f.write(f"<< /ImageType 1 /Width {w} /Height {h} /BitsPerComponent 8\n")
        f.write(f"   /Decode [0 1 0 1 0 1] /ImageMatrix [{w} 0 0 -{h} 0 {h}]\n")
        f.write(f"   /DataSource currentfile /ASCII85Decode filter {filt} >> image\n")
        f.write(a85 + "\n")
        f.write("grestore\n%%EOF\n")

out = sys.argv[1]
for p in sys.argv[2:]:
    eps(p, out)
PY

cp "$help/user_guide.ms" "$work/"
cd "$work"
# groff -t: tables; -mspdf: ms with PDF outline entries.  A4 paper.
groff -t -mspdf -Tps -dpaper=a4 -P-pa4 -ww user_guide.ms > guide.ps
# A fixed date keeps the PDF the same from run to run; /prepress embeds every font,
# the Symbol font of bullets and arrows included.
export SOURCE_DATE_EPOCH=1796601600
ps2pdf -sPAPERSIZE=a4 -dPDFSETTINGS=/prepress -dEPSCrop -dAutoRotatePages=/None -dPassThroughJPEGImages=true \
       -dDetectDuplicateImages=true guide.ps guide.pdf
mv guide.pdf "$help/Quorvex_K3V.pdf"
echo "resources/help/Quorvex_K3V.pdf: $(stat -c %s "$help/Quorvex_K3V.pdf") bytes"
