#!/usr/bin/env bash
# Side by side: libjpeg-turbo's cjpeg and our encoder on the same 24-megapixel picture, with
# the settings that match ours (quality 100, no chroma subsampling, optimised Huffman tables).
# Both are timed as whole processes reading the same PPM file and writing a JPEG file; the best
# of several runs counts for each.
#
#   bench/jpeg_vs_cjpeg.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a build configured with -DK3V_BUILD_BENCH=ON (default: build); it must hold
# bench/jpeg_encoder_bench, which writes the picture and serves as our encoder's driver.
set -euo pipefail

build_dir=${1:-build}
runs=${2:-3}
bench="$build_dir/bench/jpeg_encoder_bench"
width=6000
height=4000

command -v cjpeg >/dev/null || { echo "cjpeg not found (libjpeg-turbo-progs)" >&2; exit 1; }
[ -x "$bench" ] || { echo "$bench not found: build the target jpeg_encoder_bench" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-ppm "$work/picture.ppm" "$width" "$height"

# Prints the best wall time in seconds of running "$@" $runs times.
best_time() {
    local best="" start end elapsed
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
        if [ -z "$best" ] || awk -v e="$elapsed" -v b="$best" 'BEGIN { exit !(e < b) }'; then
            best=$elapsed
        fi
    done
    echo "$best"
}

cjpeg_time=$(best_time cjpeg -quality 100 -sample 1x1 -optimize -outfile "$work/cjpeg.jpg" \
    "$work/picture.ppm")
ours_time=$(best_time "$bench" --encode-ppm "$work/picture.ppm" "$work/ours.jpg" 100)

echo "picture:  ${width} x ${height} ($((width * height / 1000000)) MP), best of $runs runs"
echo "cjpeg -quality 100 -sample 1x1 -optimize: ${cjpeg_time} s, $(stat -c %s "$work/cjpeg.jpg") bytes"
echo "k3v encoder, quality 100:                 ${ours_time} s, $(stat -c %s "$work/ours.jpg") bytes"
awk -v o="$ours_time" -v c="$cjpeg_time" \
    'BEGIN { printf "ratio ours / cjpeg: %.2f (below 1 means ours is faster)\n", o / c }'
