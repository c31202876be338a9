// Lining up a 24-megapixel Standard Stereo pair against converting the same pair as the batch
// tool does (both JPEGs loaded, the conversion, the JPEG saved), timed in the same run. The
// x_convert counter is (align + convert) / convert, which should stay at most 2. The pair is
// made once: a textured picture, and the same texture turned by 1 degree, scaled by 1.5 %,
// with a keystone, moved 12 px up and given a depth, saved with cjpeg at quality 95.
//
//   build/release/bench/align_bench --benchmark_counters_tabular=true
//   build/release/bench/align_bench --write-pair FIRST.jpg SECOND.jpg
//       writes the 24 MP pair, for bench/whole_run.sh's align-pair row

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "align/pair_alignment.h"
#include "bench/work_folder.h"
#include "input/picture_decoder.h"
#include "job/stereo_job.h"
#include "output/output_target.h"
#include "output/safe_file_writer.h"
#include "tests/support/textured_pair.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const fs::path& WorkFolder() {
    return k3v::bench::WorkFolder("k3v-align-bench");
}

void RemoveWorkFolder() {
    k3v::bench::RemoveWorkFolder("k3v-align-bench");
}

// The plane as a JPEG file of quality 95, by way of a PPM (top row first) and cjpeg.
void WriteJpeg(const k3v::PixelPlane& plane, const fs::path& jpeg) {
    const std::string header =
        "P6\n" + std::to_string(plane.width()) + " " + std::to_string(plane.height()) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.reserve(bytes.size() + plane.pixelCount() * 3);
    for (int32_t y = plane.height() - 1; y >= 0; --y) {
        for (int32_t x = 0; x < plane.width(); ++x) {
            const uint32_t p = plane.row(y)[x];
            bytes.insert(bytes.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
        }
    }
    const fs::path ppm = fs::path(jpeg).replace_extension(".ppm");
    if (!k3v::WriteFileSafely(ppm.string(), bytes).ok()) {
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

struct PairFiles {
    fs::path first;
    fs::path second;
};

const PairFiles& PairOfSize(int32_t width, int32_t height) {
    static PairFiles files;
    if (files.first.empty()) {
        const k3v::testing::TexturedPair pair =
            k3v::testing::MakeTexturedPair(width, height, {1.0, 1.015, 2e-6, -1.5e-6, 12});
        files = {WorkFolder() / "first.jpg", WorkFolder() / "second.jpg"};
        WriteJpeg(pair.first, files.first);
        WriteJpeg(pair.second, files.second);
    }
    return files;
}

void AlignAndConvert(benchmark::State& state) {
    const PairFiles& files = PairOfSize(int32_t(state.range(0)), int32_t(state.range(1)));
    double convertSeconds = 0;
    double alignSeconds = 0;
    for (auto _ : state) {
        // The conversion alone, as the batch tool runs it for a pair.
        auto start = Clock::now();
        k3v::StereoJob job;
        job.settings.TransformationMode = k3v::kStandardStereo;
        const k3v::OutputTarget target((WorkFolder() / "out.jpg").string(), job.settings);
        k3v::Status status = job.loadFirst(files.first.string());
        if (status) {
            status = job.loadSecond(files.second.string());
        }
        if (status) {
            status = job.save(target);
        }
        convertSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (!status) {
            state.SkipWithError(status.message().c_str());
            return;
        }
        // The alignment of the loaded pair, which the job adds between loading and converting.
        k3v::PixelPlane first;
        k3v::PixelPlane second;
        if (!k3v::DecodePictureFile(files.first.string(), first).ok() ||
            !k3v::DecodePictureFile(files.second.string(), second).ok()) {
            state.SkipWithError("cannot load the pair");
            return;
        }
        start = Clock::now();
        const k3v::Result<k3v::AlignmentOutcome> aligned =
            k3v::AlignPair(first, second, {.align = true, .stereoWindow = true}, k3v::Progress());
        alignSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (!aligned) {
            state.SkipWithError(aligned.message().c_str());
            return;
        }
        state.SetLabel(aligned.value().describe());
    }
    const double runs = double(state.iterations());
    state.counters["convert_ms"] = benchmark::Counter(convertSeconds / runs * 1000);
    state.counters["align_ms"] = benchmark::Counter(alignSeconds / runs * 1000);
    state.counters["x_convert"] =
        benchmark::Counter((convertSeconds + alignSeconds) / convertSeconds);
}

BENCHMARK(AlignAndConvert)
    ->ArgNames({"w", "h"})
    ->Args({6000, 4000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--write-pair") {
        const k3v::testing::TexturedPair pair =
            k3v::testing::MakeTexturedPair(6000, 4000, {1.0, 1.015, 2e-6, -1.5e-6, 12});
        WriteJpeg(pair.first, argv[2]);
        WriteJpeg(pair.second, argv[3]);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveWorkFolder();
    return 0;
}
