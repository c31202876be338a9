// One full conversion of a 24- and a 100-megapixel picture, with the start settings and with
// every filter at its heaviest, reported as megapixels per second and as a multiple of one
// plain copy of the same plane measured in the same run. The heaviest settings run once more
// with a progress listener and a cancel flag that is never set: what telling the progress costs.
//
//   build/release/bench/conversion_bench --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>

#include "bench/bench_pictures.h"
#include "stereo/conversion.h"
#include "stereo/stereo_planes.h"

namespace {

using k3v::bench::HeaviestSettings;
using k3v::bench::PlaneCopySeconds;
using k3v::bench::PlanesOfSize;
using Clock = std::chrono::steady_clock;

// With `reports`, each run tells its progress to a listener of its own (a Progress passes on
// nothing below what it has told, so a second run could not tell it anything), which counts
// the reports.
void Convert(benchmark::State& state, const k3v::ConversionSettings& settings,
             uint64_t* reports = nullptr) {
    const auto width = int32_t(state.range(0));
    const auto height = int32_t(state.range(1));
    k3v::StereoPlanes& planes = PlanesOfSize(width, height);
    k3v::ConvertPlanes(settings, planes);  // touch every page once before timing
    const double copySeconds = PlaneCopySeconds(planes);
    double convertSeconds = 0;
    for (auto _ : state) {
        std::atomic<bool> cancel{false};
        const k3v::Progress progress([reports](const char*, double) { ++*reports; }, &cancel);
        const auto start = Clock::now();
        if (reports != nullptr) {
            if (!k3v::ConvertPlanes(settings, planes, progress).ok()) {
                state.SkipWithError("the conversion was cancelled");
                break;
            }
        } else {
            k3v::ConvertPlanes(settings, planes);
        }
        benchmark::ClobberMemory();
        convertSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    const double pixels = double(planes.PixelCount());
    state.counters["MP/s"] =
        benchmark::Counter(pixels / 1e6 * double(state.iterations()) / convertSeconds);
    state.counters["plane_copies"] =
        benchmark::Counter(convertSeconds / double(state.iterations()) / copySeconds);
}

void DefaultSettings(benchmark::State& state) {
    Convert(state, k3v::ConversionSettings{});
}
void EveryFilter(benchmark::State& state) {
    Convert(state, HeaviestSettings());
}
void EveryFilterReported(benchmark::State& state) {
    uint64_t reports = 0;
    Convert(state, HeaviestSettings(), &reports);
    state.counters["reports"] = benchmark::Counter(double(reports) / double(state.iterations()));
}

BENCHMARK(DefaultSettings)
    ->Args({6000, 4000})
    ->Args({20000, 5000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(EveryFilter)
    ->Args({6000, 4000})
    ->Args({20000, 5000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(EveryFilterReported)
    ->Args({6000, 4000})
    ->Args({20000, 5000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
