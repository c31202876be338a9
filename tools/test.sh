#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: once in a Release build,
# once with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
jobs=$(nproc)

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DK3V_BUILD_BENCH=ON >/dev/null
cmake --build build/release -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build/release --output-on-failure -j "$jobs"

cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DK3V_SANITIZE=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
QT_QPA_PLATFORM=offscreen ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

# Every fuzz target for a short, bounded time (clang, ASan + UBSan), one after the other.
bash tools/fuzz.sh 30
