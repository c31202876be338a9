#!/usr/bin/env bash
# Gigapixel panoramas through the real k3v-convert process, which converts in bands: peak
# memory of the whole process (maximum resident set, from GNU time) and wall time, against a
# peer doing the same job on the same file in the same run.
#
#   bench/gigapixel.sh [BUILD_DIR] [ROW...]
#
# Rows (default: all):
#   jpeg     0.8 GP (40000 x 20000) JPEG to an anaglyph JPEG q100, depth 30; peer
#            djpeg | cjpeg -quality 100 -sample 1x1 -optimize. Targets: peak at most 512 MiB
#            plus the output file's size; time at most 1.0 x the peer.
#   tiff     the same picture, every filter at its heaviest, horizontal pair (80000 x 20000)
#            to a Deflate TIFF; peer libvips running the same filters from its command line
#            (as bench/whole_run.sh's ppm-vips row). Targets: peak at most 1 GiB; time at most
#            0.5 x the peer.
#   tall     the tiff row's job on twice the height (40000 x 40000). Target: peak at most
#            1.1 x the tiff row's.
#   jpeg100  100 MP JPEG to JPEG q100, start settings, five runs each side in turn; peer
#            djpeg | cjpeg. Target: at most 0.6 x in every one of the five.
#
# Needs cjpeg/djpeg (libjpeg-turbo-progs), libvips-tools for the tiff row, GNU time and about
# 30 GB of free disk in $TMPDIR (the pictures, the peers' files and the turned-round rows).
# BUILD_DIR needs -DK3V_BUILD_BENCH=ON (bench/jpeg_encoder_bench writes the synthetic picture).
set -euo pipefail

build_dir=${1:-build/release}
shift || true
rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=(jpeg tiff tall jpeg100)

ours=$(realpath "$build_dir/cli/k3v-convert")
bench=$(realpath "$build_dir/bench/jpeg_encoder_bench")
for tool in "$ours" "$bench"; do
    [ -x "$tool" ] || { echo "$tool not found: build with -DK3V_BUILD_BENCH=ON" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time not found (package time)" >&2; exit 1; }
command -v cjpeg >/dev/null || { echo "cjpeg not found (libjpeg-turbo-progs)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
heaviest=(--sharpen 5 --sharpen-blend 3 --noise 5 --brightness 150 --contrast 160 --depth 30)

# The synthetic picture W x H as a JPEG (quality 95), made once: NAME W H.
picture() {
    if [ ! -e "$work/$1.jpg" ]; then
        "$bench" --write-ppm "$work/$1.ppm" "$2" "$3"
        cjpeg -quality 95 -outfile "$work/$1.jpg" "$work/$1.ppm"
        rm "$work/$1.ppm"
    fi
}

# Runs "$@" (through sh -c when given one string); sets wall (s) and peak (KiB).
timed() {
    if [ $# -eq 1 ]; then
        /usr/bin/time -f "%e %M" -o "$work/time" sh -c "$1" >/dev/null 2>&1
    else
        /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1
    fi
    read -r wall peak <"$work/time"
}

mib() { echo $(($1 / 1024)); }

# The same filters in libvips, each step through a .v file as its command line chains them,
# then the pair side by side and a tiled Deflate TIFF: IN OUT.
vips_chain() {
    echo "cd '$work' && export VIPS_CONCURRENCY=$(nproc) &&
        vips sharpen '$1' v1.v && vips rank v1.v v2.v 3 3 4 && rm v1.v &&
        vips rank v2.v v3.v 3 3 4 && rm v2.v && vips rank v3.v v4.v 3 3 4 && rm v3.v &&
        vips rank v4.v v5.v 3 3 4 && rm v4.v && vips rank v5.v v6.v 3 3 4 && rm v5.v &&
        vips linear v6.v v7.v 1.2 10 --uchar && rm v6.v && vips wrap v7.v v8.v --x 3 &&
        vips join v7.v v8.v v9.v horizontal && rm v7.v v8.v &&
        vips tiffsave v9.v '$2' --compression deflate --tile --tile-width 256 \
            --tile-height 256 --predictor horizontal && rm v9.v"
}

echo "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
tiff_peak=0
for row in "${rows[@]}"; do
    case "$row" in
        jpeg)
            picture p08 40000 20000
            timed "$ours" --depth 30 "$work/p08.jpg" -o "$work/out.jpg"
            o=$wall op=$peak
            size=$(stat -c %s "$work/out.jpg")
            rm "$work/out.jpg"
            timed "djpeg '$work/p08.jpg' | cjpeg -quality 100 -sample 1x1 -optimize \
                -outfile '$work/peer.jpg'"
            rm "$work/peer.jpg"
            awk -v o="$o" -v p="$wall" -v m="$(mib "$op")" -v s="$((size / 1048576))" -v pm="$(mib "$peak")" 'BEGIN {
                printf "jpeg     ours %6.1f s %5d MiB (output %d MiB: target %d MiB)  peer %6.1f s %5d MiB  time %.2f x (target 1.0 x)\n",
                       o, m, s, 512 + s, p, pm, o / p }'
            ;;
        tiff | tall)
            if [ "$row" = tiff ]; then picture p08 40000 20000; in=p08; else picture p16 40000 40000; in=p16; fi
            timed "$ours" "${heaviest[@]}" --layout horizontal "$work/$in.jpg" -o "$work/out.tif"
            o=$wall op=$peak
            rm "$work/out.tif"
            if [ "$row" = tiff ]; then
                tiff_peak=$op
                if command -v vips >/dev/null; then
                    timed "$(vips_chain "$work/$in.jpg" "$work/peer.tif")"
                    rm -f "$work/peer.tif"
                    awk -v o="$o" -v p="$wall" -v m="$(mib "$op")" 'BEGIN {
                        printf "tiff     ours %6.1f s %5d MiB (target 1024 MiB)  libvips %6.1f s  time %.2f x (target 0.5 x)\n",
                               o, m, p, o / p }'
                else
                    echo "tiff     ours $o s $(mib "$op") MiB (target 1024 MiB); libvips skipped, vips not found"
                fi
            else
                awk -v o="$o" -v m="$(mib "$op")" -v t="$(mib "$tiff_peak")" 'BEGIN {
                    printf "tall     ours %6.1f s %5d MiB", o, m
                    if (t > 0) printf "  %.2f x the tiff row'"'"'s %d MiB (target 1.1 x)", m / t, t
                    printf "\n" }'
            fi
            ;;
        jpeg100)
            picture p100 12240 8170
            ratios=()
            for i in 1 2 3 4 5; do
                timed "$ours" "$work/p100.jpg" -o "$work/out.jpg"
                o=$wall
                timed "djpeg '$work/p100.jpg' | cjpeg -quality 100 -sample 1x1 -optimize \
                    -outfile '$work/peer.jpg'"
                ratios+=("$(awk -v o="$o" -v p="$wall" 'BEGIN { printf "%.2f", o / p }')")
            done
            rm -f "$work/out.jpg" "$work/peer.jpg"
            echo "jpeg100  ratios ${ratios[*]}  (target at most 0.6 x in each)"
            ;;
        *)
            echo "unknown row $row" >&2
            exit 2
            ;;
    esac
done
