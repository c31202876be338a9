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

#include "input/picture_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const fs::path& WorkFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "k3v-load-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        return fs::path(pattern);
    }();
    return folder;
}

void RemoveWorkFolder() {
    std::error_code ignored;
    fs::remove_all(WorkFolder(), ignored);
}

// Smooth shading with edges and fine texture, like a photo's content; `texture` (1 or 15) is
// the strength of the fine texture. Smoother pictures decode faster, which makes the work
// around the decoder weigh more.
void WritePhotoLikePpm(const fs::path& path, int width, int height, uint32_t texture) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::exit(1);
    }
    std::fprintf(file, "P6\n%d %d\n255\n", width, height);
    std::string row(size_t(width) * 3, '\0');
    uint32_t noise = 2463534242u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int edge = (x / 97 + y / 61) % 2 == 0 ? 40 : 0;
            const int fine = int(noise & texture);
            row[size_t(x) * 3] = char((x * 255 / width + edge + fine) & 255);
            row[size_t(x) * 3 + 1] = char((y * 255 / height + fine) & 255);
            row[size_t(x) * 3 + 2] = char(((x + y) / 40 + edge) & 255);
        }
        std::fwrite(row.data(), 1, row.size(), file);
    }
    std::fclose(file);
}

fs::path JpegOfSize(int width, int height, uint32_t texture) {
    const std::string stem =
        std::to_string(width) + "x" + std::to_string(height) + "t" + std::to_string(texture);
    const fs::path jpeg = WorkFolder() / (stem + ".jpg");
    if (!fs::exists(jpeg)) {
        const fs::path ppm = WorkFolder() / (stem + ".ppm");
        WritePhotoLikePpm(ppm, width, height, texture);
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
