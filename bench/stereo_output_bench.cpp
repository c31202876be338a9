// What the stereo output settings cost at 100 megapixels, each measured against its yardstick
// in the same run:
//   - every anaglyph method and glasses, as the plane copies a whole conversion takes beyond
//     the classic red/cyan anaglyph's (with and without depth);
//   - an MPO save, as a multiple of saving the two views as two JPEG files.
//
//   build/release/bench/stereo_output_bench --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench/bench_pictures.h"
#include "output/output_target.h"
#include "output/stereo_image_writer.h"
#include "stereo/conversion.h"
#include "stereo/stereo_planes.h"

namespace {

using k3v::bench::PlaneCopySeconds;
using k3v::bench::PlanesOfSize;
using k3v::bench::SecondsOf;

constexpr int32_t kWidth = 20000;
constexpr int32_t kHeight = 5000;

// state.range(0): method, range(1): glasses, range(2): depth on.
void AnaglyphMethod(benchmark::State& state) {
    k3v::StereoPlanes& planes = PlanesOfSize(kWidth, kHeight);
    k3v::ConversionSettings classic;
    classic.DepthOn = int32_t(state.range(2));
    k3v::ConversionSettings method = classic;
    method.AnaglyphMethod = k3v::AnaglyphKind(state.range(0));
    method.Glasses = k3v::GlassesKind(state.range(1));
    k3v::ConvertPlanes(method, planes);  // touch every page once before timing
    const double copySeconds = PlaneCopySeconds(planes);
    double extra = 0;
    for (auto _ : state) {
        const double classicSeconds = SecondsOf([&] { k3v::ConvertPlanes(classic, planes); });
        const double methodSeconds = SecondsOf([&] { k3v::ConvertPlanes(method, planes); });
        extra += methodSeconds - classicSeconds;
    }
    state.counters["extra_plane_copies"] =
        benchmark::Counter(extra / double(state.iterations()) / copySeconds);
}

void MpoSave(benchmark::State& state) {
    k3v::StereoPlanes& planes = PlanesOfSize(kWidth, kHeight);
    k3v::ConversionSettings settings;
    settings.DepthOn = 1;
    settings.StereoLayout = k3v::kSeparateFiles;
    k3v::ConvertPlanes(settings, planes);
    const std::string folder = "/tmp";
    double mpoSeconds = 0;
    double jpegSeconds = 0;
    for (auto _ : state) {
        jpegSeconds += SecondsOf([&] {
            if (!k3v::WriteStereoImage(
                    k3v::OutputTarget(folder + "/k3v_bench_view.jpg", settings, 100), planes)) {
                state.SkipWithError("the JPEG save failed");
            }
        });
        mpoSeconds += SecondsOf([&] {
            if (!k3v::WriteStereoImage(
                    k3v::OutputTarget(folder + "/k3v_bench_pair.mpo", settings, 100), planes)) {
                state.SkipWithError("the MPO save failed");
            }
        });
    }
    for (const char* name :
         {"k3v_bench_view_left.jpg", "k3v_bench_view_right.jpg", "k3v_bench_pair.mpo"}) {
        std::remove((folder + "/" + name).c_str());
    }
    state.counters["mpo_s"] = benchmark::Counter(mpoSeconds / double(state.iterations()));
    state.counters["two_jpegs_s"] = benchmark::Counter(jpegSeconds / double(state.iterations()));
    state.counters["mpo_vs_two_jpegs"] = benchmark::Counter(mpoSeconds / jpegSeconds);
}

BENCHMARK(AnaglyphMethod)
    ->ArgNames({"method", "glasses", "depth"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(MpoSave)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
