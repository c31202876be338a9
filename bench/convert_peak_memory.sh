#!/usr/bin/env bash
# Peak memory of the whole batch process for the largest job: loading a 100-megapixel panorama
# (20000 x 5000 JPEG), converting it and saving the side-by-side horizontal layout as JPEG,
# with the start settings and with every filter at its heaviest. The peak (maximum resident
# set, from /usr/bin/time) is given in MiB and in planes of W x H x 4 bytes; the wall time
# of each run too. The median of RUNS runs counts.
#
#   bench/convert_peak_memory.sh [BUILD_DIR] [RUNS]
set -euo pipefail

build_dir=${1:-build/release}
runs=${2:-3}
width=20000
height=5000
convert="$build_dir/cli/k3v-convert"
bench="$build_dir/bench/jpeg_encoder_bench"

command -v cjpeg >/dev/null || { echo "cjpeg not found (libjpeg-turbo-progs)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time not found (package time)" >&2; exit 1; }
for tool in "$convert" "$bench"; do
    [ -x "$tool" ] || { echo "$tool not found: build with -DK3V_BUILD_BENCH=ON" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-ppm "$work/pano.ppm" "$width" "$height"
cjpeg -quality 95 -outfile "$work/pano.jpg" "$work/pano.ppm"
rm "$work/pano.ppm"

plane_kib=$((width * height * 4 / 1024))
echo "picture: ${width} x ${height} JPEG, horizontal layout saved as JPEG; one plane is" \
    "$((plane_kib / 1024)) MiB; median of $runs runs; load average $(cut -d' ' -f1-3 /proc/loadavg)"

measure() {
    local name=$1
    shift
    local peaks=() walls=()
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -f "%e %M" -o "$work/time" "$convert" "$@" --layout horizontal \
            "$work/pano.jpg" -o "$work/out.jpg" >/dev/null
        read -r wall kib <"$work/time"
        walls+=("$wall")
        peaks+=("$kib")
    done
    local wall kib
    wall=$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    kib=$(printf '%s\n' "${peaks[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    awk -v n="$name" -v k="$kib" -v p="$plane_kib" -v w="$wall" 'BEGIN {
        printf "%-22s peak %6d MiB = %.2f planes (target at most 10), %s s wall\n", n, k / 1024, k / p, w }'
}

measure "start settings:"
measure "every filter heaviest:" --sharpen 5 --sharpen-blend 3 --noise 5 --brightness 150 \
    --contrast 160 --depth 30
