#!/bin/bash
# tools/convert_parallel.sh on a folder of 20 pictures over two machines (this one, ":", and a
# second reached through a local ssh stand-in): every output exists once and equals a
# single-process run, the report has a line per picture, and a run killed midway resumes.
#
#   check_parallel_batch.sh SOURCE_DIR K3V_CONVERT
set -euo pipefail
source_dir=$1 convert=$2
command -v parallel >/dev/null || { echo "GNU parallel is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

/usr/bin/python3 - "$work/in" <<'PY'
import os, sys
from PIL import Image
os.makedirs(sys.argv[1])
for i in range(20):
    im = Image.new("RGB", (96 + i, 48))
    im.putdata([((x * 7 + i * 13) % 256, (y * 11 + x) % 256, (x * y + i) % 256)
                for y in range(48) for x in range(96 + i)])
    im.save(os.path.join(sys.argv[1], f"pano {i:02}.png"))
PY
options=(--depth 30 --format jpg)
mkdir "$work/single"
"$convert" "${options[@]}" "$work"/in/*.png --output-dir "$work/single" >/dev/null

printf '2/:\n2/%s second\n' "$source_dir/tests/cli/local_ssh.sh" >"$work/logins"
export K3V_SSH_LOG=$work/ssh.log
script=$source_dir/tools/convert_parallel.sh

same_as_single() {
    local out=$1
    [ "$(ls "$out"/*_Unwrapped.jpg | wc -l)" -eq 20 ] || fail "$out: not 20 outputs"
    for file in "$work"/single/*.jpg; do
        cmp -s "$file" "$out/$(basename "$file")" || fail "$out: $(basename "$file") differs"
    done
}
count() { grep -c "\"status\":\"$2\"" "$1" || true; }

bash "$script" --sshloginfile "$work/logins" --convert "$convert" "$work/in" "$work/out" \
    "${options[@]}"
same_as_single "$work/out"
[ "$(count "$work/out/report.jsonl" ok)" -eq 20 ] || fail "report: $(cat "$work/out/report.jsonl")"
[ -s "$K3V_SSH_LOG" ] || fail "the second machine did no work"

# Killed midway: a slowed converter gives the kill time to land among the 20.
printf '#!/bin/bash\nsleep 0.2\nexec %q "$@"\n' "$convert" >"$work/slow_convert"
chmod +x "$work/slow_convert"
setsid bash "$script" --sshloginfile "$work/logins" --convert "$work/slow_convert" \
    "$work/in" "$work/resumed" "${options[@]}" >/dev/null 2>&1 &
runner=$!
for _ in $(seq 100); do
    [ "$(ls "$work"/resumed/*_Unwrapped.jpg 2>/dev/null | wc -l)" -ge 4 ] && break
    sleep 0.1
done
kill -TERM -- "-$runner"
wait "$runner" 2>/dev/null || true
sleep 0.5
done_before=$(ls "$work"/resumed/*_Unwrapped.jpg | wc -l)
[ "$done_before" -ge 4 ] && [ "$done_before" -lt 20 ] || fail "the kill came at $done_before of 20"

bash "$script" --sshloginfile "$work/logins" --convert "$convert" "$work/in" "$work/resumed" \
    "${options[@]}"
same_as_single "$work/resumed"
report=$work/resumed/report.jsonl
[ "$(count "$report" skipped)" -eq "$done_before" ] || fail "skipped $(count "$report" skipped), not $done_before"
# A machine that runs nothing and says all went well is caught, not taken for success.
printf '1/:\n1/true second\n' >"$work/idle_logins"
if bash "$script" --sshloginfile "$work/idle_logins" --convert "$convert" "$work/in" \
    "$work/idle" "${options[@]}" >/dev/null 2>"$work/idle.err"; then
    fail "a run with an idle machine reported success"
fi
grep -q "were not converted" "$work/idle.err" || fail "idle machine: $(cat "$work/idle.err")"

echo "20 pictures on two machines; killed at $done_before, resumed: all equal to one process"
