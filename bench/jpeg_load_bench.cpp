// Loading a JPEG into a plane against libjpeg-turbo's djpeg decoding the same file to PPM, timed
// in the same run: the x_djpeg counter is our time over djpeg's (best of three whole djpeg
// processes). The files are made once with cjpeg at quality 95 from a photo-like picture.
//
//   build/release/bench/jpeg_load_bench --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_pictures.h"
#include "bench/work_folder.h"
#include "input/picture_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const fs::path& WorkFolder() {
    return k3v::bench::WorkFolder("k3v-load-bench");
}

void RemoveWorkFolder() {
    k3v::bench::RemoveWorkFolder("k3v-load-bench");
}

fs::path JpegOfSize(int width, int height, uint32_t texture) {
    const std::string stem =
        std::to_string(width) + "x" + std::to_string(height) + "t" + std::to_string(texture);
    const fs::path jpeg = WorkFolder() / (stem + ".jpg");
    if (!fs::exists(jpeg)) {
        const fs::path ppm = WorkFolder() / (stem + ".ppm");
        if (!k3v::bench::WriteSyntheticPpm(ppm.string(), width, height, texture).ok()) {
            std::exit(1);
        }
        const std::string command =
            "cjpeg -quality 95 -outfile '" + jpeg.string() + "' '" + ppm.string() + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cjpeg failed (package libjpeg-turbo-progs)\n");
            std::exit(1);
        }
        fs::remove(ppm);
    }
    return jpeg;
}

double DjpegSeconds(const fs::path& jpeg) {
    const fs::path ppm = WorkFolder() / "djpeg.ppm";
    const std::string command = "djpeg -outfile '" + ppm.string() + "' '" + jpeg.string() + "'";
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "djpeg failed\n");
            std::exit(1);
        }
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
        fs::remove(ppm);
    }
    return best;
}

// Every iteration loads into a new plane, as the program does for each picture it opens.
void LoadJpeg(benchmark::State& state) {
    const fs::path jpeg =
        JpegOfSize(int(state.range(0)), int(state.range(1)), uint32_t(state.range(2)));
    const double djpeg = DjpegSeconds(jpeg);
    double seconds = 0;
    for (auto _ : state) {
        k3v::PixelPlane plane;
        const auto start = Clock::now();
        if (const k3v::Status loaded = k3v::DecodePictureFile(jpeg.string(), plane); !loaded) {
            state.SkipWithError(loaded.message().c_str());
            return;
        }
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        benchmark::DoNotOptimize(plane.data());
    }
    const double perLoad = seconds / double(state.iterations());
    state.counters["MP/s"] =
        benchmark::Counter(double(state.range(0) * state.range(1)) / 1e6 / perLoad);
    state.counters["djpeg_ms"] = benchmark::Counter(djpeg * 1000);
    state.counters["x_djpeg"] = benchmark::Counter(perLoad / djpeg);
}

// The texture mask 15 gives a photo's fine grain; 1 a smoother picture, which decodes faster,
// so the work around the decoder weighs more.
BENCHMARK(LoadJpeg)
    ->ArgNames({"w", "h", "texture"})
    ->Args({6000, 4000, 15})
    ->Args({20000, 5000, 15})
    ->Args({20000, 5000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveWorkFolder();
    return 0;
}
