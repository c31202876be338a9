#!/usr/bin/env bash
# Side by side: libjpeg-turbo's cjpeg and our encoder on the same picture, with the settings
# that match ours (quality 100, no chroma subsampling, optimised Huffman tables). Both are
# timed as whole processes reading the same PPM file and writing a JPEG file; the median of
# several runs counts for each (wall time; user + system CPU time and peak memory of that run
# are shown too). Our encoder may use both cores, cjpeg uses one.
#
#   bench/jpeg_vs_cjpeg.sh [BUILD_DIR] [RUNS] [MEGAPIXELS]
#
# BUILD_DIR is a build configured with -DK3V_BUILD_BENCH=ON (default: build); it must hold
# bench/jpeg_encoder_bench, which writes the picture and serves as our encoder's driver.
# MEGAPIXELS is 24 (6000 x 4000, the default) or 100 (12240 x 8170).
set -euo pipefail
status=0

build_dir=${1:-build}
runs=${2:-3}
megapixels=${3:-24}
bench="$build_dir/bench/jpeg_encoder_bench"
case "$megapixels" in
    24) width=6000 height=4000 ;;
    100) width=12240 height=8170 ;;
    *) echo "MEGAPIXELS must be 24 or 100" >&2; exit 1 ;;
esac

command -v cjpeg >/dev/null || { echo "cjpeg not found (libjpeg-turbo-progs)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time not found (package time)" >&2; exit 1; }
[ -x "$bench" ] || { echo "$bench not found: build the target jpeg_encoder_bench" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-ppm "$work/picture.ppm" "$width" "$height"

# Runs "$@" $runs times; prints "wall cpu peak_kib" of the run with the median wall time.
median_run() {
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>&1
        awk '{ printf "%.2f %.2f %d\n", $1, $2 + $3, $4 }' "$work/time"
    done | sort -n -k1,1 | sed -n "$(((runs + 1) / 2))p"
}

read -r cjpeg_wall cjpeg_cpu cjpeg_kib < <(median_run cjpeg -quality 100 -sample 1x1 -optimize \
    -outfile "$work/cjpeg.jpg" "$work/picture.ppm")
read -r ours_wall ours_cpu ours_kib < <(median_run "$bench" --encode-ppm "$work/picture.ppm" \
    "$work/ours.jpg" 100)

echo "picture:  ${width} x ${height} (${megapixels} MP), median of $runs runs, $(nproc) cores," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf "cjpeg -quality 100 -sample 1x1 -optimize: %6s s wall, %6s s CPU, %5d MiB peak, %d bytes\n" \
    "$cjpeg_wall" "$cjpeg_cpu" $((cjpeg_kib / 1024)) "$(stat -c %s "$work/cjpeg.jpg")"
printf "k3v encoder, quality 100:                 %6s s wall, %6s s CPU, %5d MiB peak, %d bytes\n" \
    "$ours_wall" "$ours_cpu" $((ours_kib / 1024)) "$(stat -c %s "$work/ours.jpg")"
echo "(both peaks include the PPM picture, $((width * height * 3 / 1048576)) MiB: cjpeg reads it, our driver maps it)"
"$bench" --encode-ppm "$work/picture.ppm" "$work/reference.jpg" 100 --reference
if cmp -s "$work/ours.jpg" "$work/reference.jpg"; then
    echo "our file is byte for byte the reference encoder's"
else
    echo "OUR FILE DIFFERS FROM THE REFERENCE ENCODER'S" >&2
    status=1
fi
awk -v o="$ours_wall" -v c="$cjpeg_wall" \
    'BEGIN { printf "ratio ours / cjpeg (wall): %.2f (below 1 means ours is faster)\n", o / c }'
exit "$status"
