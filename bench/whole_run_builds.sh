#!/usr/bin/env bash
# The k3v-convert rows of bench/whole_run.sh, run by two builds in turn on the same files:
# whether a change made any whole run slower. Prints each row's median wall time for both
# and the ratio new / old (above 1: the new build is slower).
#
#   bench/whole_run_builds.sh OLD_BUILD_DIR NEW_BUILD_DIR [RUNS] [ROW...]
#
# Rows (default: all): bmp-jpeg bmp-heavy ppm-vips jpeg-jpeg tiff-jpeg, as in whole_run.sh.
#
# Both build directories need -DK3V_BUILD_BENCH=ON; the pictures come from the new one's
# bench/jpeg_encoder_bench, as in whole_run.sh. Needs cjpeg, ImageMagick and GNU time.
set -euo pipefail

old=$(realpath "$1")
new=$(realpath "$2")
runs=${3:-5}
shift 3 || shift $#
wanted=" ${*:-bmp-jpeg bmp-heavy ppm-vips jpeg-jpeg tiff-jpeg} "
bench="$new/bench/jpeg_encoder_bench"
magick=/usr/bin/convert
for tool in "$old/cli/k3v-convert" "$new/cli/k3v-convert" "$bench"; do
    [ -x "$tool" ] || { echo "$tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
heaviest=(--sharpen 5 --sharpen-blend 3 --noise 5 --brightness 150 --contrast 160 --depth 30)

"$bench" --write-ppm "$work/p24.ppm" 6000 4000
"$magick" "$work/p24.ppm" -type TrueColor BMP3:"$work/p24.bmp"
"$magick" "$work/p24.ppm" -depth 16 -compress LZW -define tiff:tile-geometry=256x256 \
    "$work/p24.tif"
"$bench" --write-ppm "$work/p100.ppm" 12240 8170
cjpeg -quality 95 -outfile "$work/p100.jpg" "$work/p100.ppm"
rm "$work/p100.ppm"

# Median wall times of RUNS runs of ROW's arguments, old and new in turn: NAME ARGS...
row() {
    local name=$1
    shift
    [[ $wanted == *" $name "* ]] || return 0
    local olds=() news=()
    for ((i = 0; i < runs; i++)); do
        for side in old new; do
            local dir=$old
            [ $side = new ] && dir=$new
            /usr/bin/time -f "%e" -o "$work/time" "$dir/cli/k3v-convert" "$@" >/dev/null 2>&1
            if [ $side = old ]; then olds+=("$(cat "$work/time")"); else news+=("$(cat "$work/time")"); fi
        done
    done
    local o n
    o=$(printf '%s\n' "${olds[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    n=$(printf '%s\n' "${news[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    awk -v r="$name" -v o="$o" -v n="$n" 'BEGIN {
        printf "%-10s old %6.2f s  new %6.2f s  new/old %.2f\n", r, o, n, n / o }'
}

echo "median of $runs runs, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
row bmp-jpeg "$work/p24.bmp" -o "$work/out.jpg"
row bmp-heavy "${heaviest[@]}" "$work/p24.bmp" -o "$work/out.bmp"
row ppm-vips "${heaviest[@]}" "$work/p24.ppm" -o "$work/out.jpg"
row jpeg-jpeg "$work/p100.jpg" -o "$work/out.jpg"
row tiff-jpeg "$work/p24.tif" -o "$work/out.jpg"
