// What the window does after every slider release, at 24 and 100 megapixels: the conversion
// and the preview drawing (RunConversion), reported as a multiple of one plain copy of a plane
// measured in the same run (plane_copies), for the start settings in each layout.
//
//   build/release/bench/window_conversion_bench --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>

#include "app/preview_renderer.h"
#include "bench/bench_pictures.h"
#include "stereo/conversion.h"
#include "stereo/stereo_planes.h"

namespace {

using k3v::bench::PlaneCopySeconds;
using k3v::bench::PlanesOfSize;
using Clock = std::chrono::steady_clock;

void RunConversion(benchmark::State& state) {
    k3v::StereoPlanes& planes = PlanesOfSize(int32_t(state.range(0)), int32_t(state.range(1)));
    k3v::ConversionSettings settings;
    settings.StereoLayout = int32_t(state.range(2));
    const auto once = [&] {
        k3v::ConvertPlanes(settings, planes);
        const QImage preview = k3v::RenderPreview(settings, planes);
        benchmark::DoNotOptimize(preview.constBits());
    };
    once();  // touch every page once before timing
    const double copySeconds = PlaneCopySeconds(planes);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        once();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["plane_copies"] =
        benchmark::Counter(seconds / double(state.iterations()) / copySeconds);
}

BENCHMARK(RunConversion)
    ->ArgNames({"w", "h", "layout"})
    ->Args({6000, 4000, k3v::kAnaglyph})
    ->Args({20000, 5000, k3v::kAnaglyph})
    ->Args({20000, 5000, k3v::kSideBySideHorizontal})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    // Text is drawn into the preview, which needs a GUI application, but no screen.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
