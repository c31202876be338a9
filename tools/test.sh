#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: once in a Release build,
# once with AddressSanitizer and UndefinedBehaviorSanitizer; then the tests of the parts that
# run threads with ThreadSanitizer.
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

# ThreadSanitizer on the tests that run the threaded parts on threads: the engine's row
# pipeline, the streaming JPEG encoder's bands, the two JPEG readers and the page prefault
# helper, the TIFF tiles and the batch's workers (in k3v-convert, run by the batch tests).
# One vector level each, since the threads do not depend on it; a few minutes in all. Each
# process writes its race reports to build/tsan/race-report.PID (the batch tests keep the
# output of k3v-convert to themselves); they are printed when a test fails.
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DK3V_TSAN=ON -DK3V_BUILD_APP=OFF >/dev/null
cmake --build build/tsan -j "$jobs"
rm -f build/tsan/race-report.*
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:log_path=$PWD/build/tsan/race-report"
threaded='^(RunOnThreads\.|RowPipeline\.|InstructionSets/FastKernels\.(LargePicturesSplitOverThreads|FilteredK3vViews).*/Sse2'
threaded+='|Levels/SweepAtLevel\.(ManyBands|EachRowIsReadOnce).*/Sse2|Rows\.GiveTheBytes|Files\.WrittenFiles'
threaded+='|Layouts/SavedLayouts.*/(AnaglyphPanorama|HorizontalStill)'
threaded+='|JpegSaveProgress\.|Reports/JpegSaveCancel\.|StereoJobTest\.CancelAtAnyReport|ConvertPlanesProgress\.'
threaded+='|JpegTwoReaders\.|PagePrefault\.|DecodePictureFile\.ALargeTiledTiff|ConvertBatch\.|BandedConversionLarge\.'
threaded+='|BandedFileConversion\.|PictureRowReader\.ALargeTiledTiff)'
# (The one-thread batch test runs no second thread and takes the longest: left out.)
QT_QPA_PLATFORM=offscreen ctest --test-dir build/tsan --output-on-failure -j "$jobs" \
    --no-tests=error -R "$threaded" -E NoRoomForAThread || {
    cat build/tsan/race-report.* 2>/dev/null
    exit 1
}

# Every fuzz target for a short, bounded time (clang, ASan + UBSan), one after the other.
bash tools/fuzz.sh 30
