#!/bin/bash
# Converts every picture of a folder with k3v-convert, one process per picture, spread by GNU
# parallel over the machines of an --sshloginfile (or the cores of this one). Each process
# skips a picture whose output exists, so running the same command again resumes a run that
# was stopped. The machines must see INPUT_DIR and OUTPUT_DIR at the same paths (shared
# storage) and have k3v-convert on their PATH.
#
#   tools/convert_parallel.sh [--sshloginfile FILE] [--convert PROGRAM] INPUT_DIR OUTPUT_DIR
#                             [k3v-convert options ...]
#
# OUTPUT_DIR receives <name>_Unwrapped.<ext> for each picture and report.jsonl, one JSON line
# per picture (k3v-convert --report), gathered from the per-slot reports in OUTPUT_DIR/reports.
# Exit status: 0 when every picture converted (or was already done), 1 when one failed, 2 on
# a usage error.
set -euo pipefail

usage() {
    sed -n '8,9p' "$0" | sed 's/^# *//' >&2
    exit 2
}
logins=()
convert=k3v-convert
while [ $# -gt 0 ]; do
    case $1 in
    --sshloginfile) [ $# -ge 2 ] || usage; logins=(--sshloginfile "$2"); shift 2 ;;
    --convert) [ $# -ge 2 ] || usage; convert=$2; shift 2 ;;
    -h | --help) usage ;;
    *) break ;;
    esac
done
[ $# -ge 2 ] || usage
input=$(realpath -e -- "$1") || { echo "convert_parallel: no folder \"$1\"" >&2; exit 1; }
mkdir -p -- "$2/reports"
output=$(realpath -e -- "$2")
shift 2

mapfile -d '' pictures < <(find "$input" -maxdepth 1 -type f -regextype posix-extended \
    -iregex '.*\.(jpe?g|png|bmp|tiff?|mpo|gif|webp)' -print0 | sort -z)
[ ${#pictures[@]} -gt 0 ] || { echo "convert_parallel: no pictures in \"$input\"" >&2; exit 1; }
report_lines() { cat "$output"/reports/slot-*.jsonl 2>/dev/null | wc -l || true; }
lines_before=$(report_lines)

# -q quotes the command for the shell on each machine, so names with blanks arrive whole;
# {%} is the job slot, so no two processes at a time share a report file.
status=0
printf '%s\0' "${pictures[@]}" |
    parallel --will-cite -0 -q "${logins[@]}" \
        "$convert" --skip-existing --jobs 1 --report "$output/reports/slot-{%}.jsonl" "$@" \
        {} --output-dir "$output" || status=$?
cat "$output"/reports/slot-*.jsonl >"$output/report.jsonl" 2>/dev/null || true
[ "$status" -eq 0 ] || { echo "convert_parallel: $status picture(s) failed; see $output/report.jsonl" >&2; exit 1; }

# Every k3v-convert that ran adds a line, whatever became of its picture: one missing means a
# machine never ran it (not on its PATH, or a login without SHELL), which parallel may not tell.
unreported=$((${#pictures[@]} - ($(report_lines) - lines_before)))
if [ "$unreported" -ne 0 ]; then
    echo "convert_parallel: $unreported picture(s) were not converted: k3v-convert did not run" \
        "for them on some machine (is it on its PATH there, and is SHELL set?)" >&2
    exit 1
fi
