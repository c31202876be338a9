#!/usr/bin/env bash
# The whole run as a user waits for it: the real k3v-convert process opening a file,
# converting it and saving the result, against a peer program doing the same job on the same
# file in the same run. Each side's figure is the median wall time of RUNS runs; the ratio
# ours / peer is what counts (below 1: ours is faster).
#
#   bench/whole_run.sh [BUILD_DIR] [RUNS] [ROW...]
#
# Rows (default: all):
#   bmp-jpeg     24 MP BMP to JPEG q100, start settings; peer cjpeg -quality 100 -sample 1x1 -optimize
#   bmp-heavy    24 MP BMP to BMP, every filter at its heaviest; peer ImageMagick's chain of
#                the same kinds of filter (sharpen, five 3x3 medians, brightness-contrast, a shift)
#   ppm-vips     the heaviest settings from a 24 MP PPM to JPEG; peer libvips doing the same
#                chain on 2 threads
#   jpeg-jpeg    100 MP JPEG to JPEG q100, start settings; peer djpeg | cjpeg -quality 100
#                -sample 1x1 -optimize
#   tiff-jpeg    24 MP 16-bit tiled (256 x 256) LZW TIFF to JPEG q100; peer ImageMagick's
#                convert IN -quality 100 -sampling-factor 1x1 OUT.jpg
#   align-pair   a 24 MP Standard Stereo pair (the second picture turned 1 degree, scaled
#                1.5 %, with a keystone and moved 12 px; bench/align_bench --write-pair)
#                aligned and converted to JPEG (--align --stereo-window auto); peer the same
#                k3v-convert converting the pair as it is. Target at most 2 x
#   window-load  the window loading a 100 MP JPEG until its preview is painted (the time
#                bench/window_load_bench prints, from the load to the painted preview); peer
#                djpeg decoding the same file
#
# Needs cjpeg/djpeg (libjpeg-turbo-progs), ImageMagick, libvips-tools (vips, not installed by
# tools/install-deps.sh: apt-get install libvips-tools) and GNU time;
# a row whose peer is missing is skipped with a note. BUILD_DIR needs -DK3V_BUILD_BENCH=ON
# (bench/jpeg_encoder_bench writes the synthetic picture).
set -euo pipefail

build_dir=${1:-build/release}
runs=${2:-5}
shift 2 || shift $#
rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=(bmp-jpeg bmp-heavy ppm-vips jpeg-jpeg tiff-jpeg align-pair window-load)

ours="$build_dir/cli/k3v-convert"
bench="$build_dir/bench/jpeg_encoder_bench"
magick=/usr/bin/convert  # ImageMagick itself, whatever else is first on PATH
for tool in "$ours" "$bench"; do
    [ -x "$tool" ] || { echo "$tool not found: build with -DK3V_BUILD_BENCH=ON" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time not found (package time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
heaviest=(--sharpen 5 --sharpen-blend 3 --noise 5 --brightness 150 --contrast 160 --depth 30)

# Median wall time in seconds of $runs runs of "$@" (run through sh -c when given one string).
median() {
    local times=()
    for ((i = 0; i < runs; i++)); do
        if [ $# -eq 1 ]; then
            /usr/bin/time -f "%e" -o "$work/time" sh -c "$1" >/dev/null 2>&1
        else
            /usr/bin/time -f "%e" -o "$work/time" "$@" >/dev/null 2>&1
        fi
        times+=("$(cat "$work/time")")
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

# Median of $runs figures that "$@" prints itself.
median_printed() {
    for ((i = 0; i < runs; i++)); do
        "$@" 2>/dev/null
    done | sort -n | sed -n "$(((runs + 1) / 2))p"
}

# The 100 MP synthetic picture as a JPEG (quality 95), made once.
picture100() {
    if [ ! -e "$work/p100.jpg" ]; then
        "$bench" --write-ppm "$work/p100.ppm" 12240 8170
        cjpeg -quality 95 -outfile "$work/p100.jpg" "$work/p100.ppm"
        rm "$work/p100.ppm"
    fi
}

# The 24 MP synthetic picture as PPM and BMP, made once.
picture24() {
    if [ ! -e "$work/p24.ppm" ]; then
        "$bench" --write-ppm "$work/p24.ppm" 6000 4000
        "$magick" "$work/p24.ppm" -type TrueColor BMP3:"$work/p24.bmp"
    fi
}

report() {  # NAME OURS PEER TARGET
    awk -v n="$1" -v o="$2" -v p="$3" -v t="$4" 'BEGIN {
        printf "%-10s ours %6.2f s  peer %6.2f s  ratio %.2f x  (target at most %s x)\n",
               n, o, p, o / p, t }'
}

have() {
    command -v "$1" >/dev/null || { echo "$2: skipped, $1 not found"; return 1; }
}

echo "median of $runs runs, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
for row in "${rows[@]}"; do
    case "$row" in
        bmp-jpeg)
            have cjpeg "$row" || continue
            picture24
            o=$(median "$ours" "$work/p24.bmp" -o "$work/out.jpg")
            p=$(median cjpeg -quality 100 -sample 1x1 -optimize -outfile "$work/peer.jpg" \
                "$work/p24.bmp")
            report "$row" "$o" "$p" 0.45
            ;;
        bmp-heavy)
            [ -x "$magick" ] || { echo "$row: skipped, ImageMagick not found"; continue; }
            picture24
            o=$(median "$ours" "${heaviest[@]}" "$work/p24.bmp" -o "$work/out.bmp")
            p=$(median "$magick" "$work/p24.bmp" -sharpen 0x1 -median 3 -median 3 -median 3 \
                -median 3 -median 3 -brightness-contrast 10x20 -roll +3+0 \
                BMP3:"$work/peer.bmp")
            report "$row" "$o" "$p" 0.07
            ;;
        ppm-vips)
            have vips "$row" || continue
            picture24
            o=$(median "$ours" "${heaviest[@]}" "$work/p24.ppm" -o "$work/out.jpg")
            # sharpen, five 3x3 medians (rank 4 of 9), a linear brightness-contrast, a shift,
            # JPEG q100 4:4:4; each step through a .v file, as the command line chains them
            chain="cd '$work' && export VIPS_CONCURRENCY=2 &&
                vips sharpen p24.ppm v1.v && vips rank v1.v v2.v 3 3 4 && vips rank v2.v v3.v 3 3 4 &&
                vips rank v3.v v4.v 3 3 4 && vips rank v4.v v5.v 3 3 4 && vips rank v5.v v6.v 3 3 4 &&
                vips linear v6.v v7.v 1.2 10 && vips wrap v7.v v8.v --x 3 &&
                vips jpegsave v8.v peer.jpg --Q 100 --optimize-coding --subsample-mode off"
            p=$(median "$chain")
            report "$row" "$o" "$p" 0.3
            ;;
        jpeg-jpeg)
            have cjpeg "$row" || continue
            picture100
            o=$(median "$ours" "$work/p100.jpg" -o "$work/out.jpg")
            p=$(median "djpeg '$work/p100.jpg' | cjpeg -quality 100 -sample 1x1 -optimize \
                -outfile '$work/peer.jpg'")
            report "$row" "$o" "$p" 0.6
            ;;
        window-load)
            have djpeg "$row" || continue
            [ -x "$build_dir/bench/window_load_bench" ] || {
                echo "$row: skipped, window_load_bench not built"
                continue
            }
            picture100
            o=$(QT_QPA_PLATFORM=offscreen median_printed "$build_dir/bench/window_load_bench" \
                "$work/p100.jpg")
            p=$(median djpeg -outfile /dev/null "$work/p100.jpg")
            report "$row" "$o" "$p" 1.1
            ;;
        tiff-jpeg)
            [ -x "$magick" ] || { echo "$row: skipped, ImageMagick not found"; continue; }
            picture24
            "$magick" "$work/p24.ppm" -depth 16 -compress LZW \
                -define tiff:tile-geometry=256x256 "$work/p24.tif"
            o=$(median "$ours" "$work/p24.tif" -o "$work/out.jpg")
            p=$(median "$magick" "$work/p24.tif" -quality 100 -sampling-factor 1x1 \
                "$work/peer.jpg")
            report "$row" "$o" "$p" 0.4
            ;;
        align-pair)
            if [ ! -e "$work/right.jpg" ]; then
                "$build_dir/bench/align_bench" --write-pair "$work/right.jpg" "$work/left.jpg"
            fi
            pair=(--mode standard "$work/right.jpg" "$work/left.jpg" -o "$work/out.jpg")
            o=$(median "$ours" --align --stereo-window auto "${pair[@]}")
            p=$(median "$ours" "${pair[@]}")
            report "$row" "$o" "$p" 2
            ;;
        *)
            echo "unknown row $row" >&2
            exit 2
            ;;
    esac
done
