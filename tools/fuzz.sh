#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each in turn for a bounded
# time, seeded from the hardening corpus and the stored regression inputs.
#
#   bash tools/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     default: 30 s, every target
#
# A finding stops the run with the target's report and leaves the input in
# build/fuzz/findings/<target>/; copy it into tests/hardening/fuzz_regressions/<target>/ so
# that the replay tests keep it fixed. fuzz/README.md says how to run them longer.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(decode engine writers tiff png)
fi

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DK3V_BUILD_FUZZERS=ON -DK3V_BUILD_APP=OFF -DK3V_BUILD_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

corpus=build/fuzz/corpus-seeds
/usr/bin/python3 tools/make_corpus.py "$corpus" >/dev/null
# The seeds are the pictures themselves, not the reference pixels, and not the widest ones
# (a 65536-pixel row takes long to decode and teaches the fuzzer nothing new).
rm -f "$corpus"/*.rgb "$corpus"/manifest.tsv "$corpus"/wide_*

for target in "${targets[@]}"; do
    work=build/fuzz/work/$target
    findings=build/fuzz/findings/$target
    mkdir -p "$work" "$findings"
    seeds=(tests/hardening/fuzz_regressions/$target)
    mkdir -p "${seeds[0]}"  # a target without findings yet has no folder in the repository
    case "$target" in
        decode) seeds+=("$corpus") ;;
        # The format's own corpus files, the valid ones and the damaged ones.
        tiff | png)
            mkdir -p "$corpus-$target"
            cp "$corpus"/*."${target:0:3}" "$corpus-$target"/ 2>/dev/null || true
            seeds+=("$corpus-$target")
            ;;
    esac
    echo "fuzz_$target: ${seconds} s"
    # Findings must fail the run, so the exit status is kept; the log shows only the end.
    TMPDIR=${TMPDIR:-/tmp} build/fuzz/fuzz/fuzz_$target -max_total_time="$seconds" \
        -timeout=25 -rss_limit_mb=3072 -print_final_stats=1 -artifact_prefix="$findings/" \
        "$work" "${seeds[@]}" >"$findings.log" 2>&1 || {
        tail -n 60 "$findings.log"
        echo "fuzz_$target found a fault; the input is in $findings/"
        exit 1
    }
    grep -E "stat::number_of_executed_units|stat::new_units_added" "$findings.log" | tr '\n' ' '
    echo
done
