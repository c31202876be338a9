// Speed of the JPEG encoder on a 24-megapixel picture, whole and stage by stage.
//
//   jpeg_encoder_bench [Google Benchmark options]      runs the benchmarks
//   jpeg_encoder_bench --write-ppm FILE WIDTH HEIGHT   writes the synthetic picture as PPM
//   jpeg_encoder_bench --encode-ppm IN OUT [QUALITY]   encodes a PPM file like a command-line
//                                                      encoder would (used by jpeg_vs_cjpeg.sh)

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "output/jpeg/entropy_coder.h"
#include "output/jpeg/huffman.h"
#include "output/jpeg/jpeg_encoder.h"
#include "output/jpeg/picture_transform.h"
#include "output/safe_file_writer.h"

namespace {

constexpr int kWidth = 6000;  // 24 megapixels
constexpr int kHeight = 4000;

// A photo-like test picture, top row first, red-green-blue: smooth shading, a few hard edges
// and fine texture, so that every coefficient category occurs.
std::vector<uint8_t> SyntheticRgb(int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    uint32_t noise = 2463534242u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const double shade = 0.5 + 0.5 * std::sin(x * 0.004) * std::cos(y * 0.003);
            const bool stripe = ((x / 97) + (y / 61)) % 5 == 0;
            const int texture = static_cast<int>(noise & 15) - 8;
            const int r = static_cast<int>(shade * 230) + texture + (stripe ? 40 : 0);
            const int g = static_cast<int>((1 - shade) * 200) + texture / 2;
            const int b = static_cast<int>(128 + 100 * std::sin((x + y) * 0.002)) + texture;
            uint8_t* p = rgb.data() + 3 * (static_cast<size_t>(y) * width + x);
            p[0] = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
            p[1] = static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
            p[2] = static_cast<uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
        }
    }
    return rgb;
}

// The encoder's input: 24 bits per pixel, rows bottom-up, padded to whole 32-bit words.
std::vector<uint8_t> ToDib(const std::vector<uint8_t>& rgb, int width, int height) {
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> dib(stride * height, 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = rgb.data() + static_cast<size_t>(y) * width * 3;
        uint8_t* out = dib.data() + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    return dib;
}

const std::vector<uint8_t>& Picture() {
    static const std::vector<uint8_t> dib = ToDib(SyntheticRgb(kWidth, kHeight), kWidth, kHeight);
    return dib;
}

void SetCounters(benchmark::State& state) {
    const auto pixels = static_cast<int64_t>(kWidth) * kHeight;
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 3);
}

void BM_EncodeJpeg(benchmark::State& state) {
    const std::vector<uint8_t>& dib = Picture();
    const auto quality = static_cast<int32_t>(state.range(0));
    std::vector<uint8_t> file;
    for (auto _ : state) {
        const k3v::Status status = k3v::EncodeJpeg(dib.data(), kWidth, kHeight, 24, quality, file);
        if (!status.ok()) {
            state.SkipWithError(status.message().c_str());
            break;
        }
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["file_bytes"] = static_cast<double>(file.size());
    SetCounters(state);
}
BENCHMARK(BM_EncodeJpeg)->Arg(100)->Arg(75)->Unit(benchmark::kMillisecond)->UseRealTime();

k3v::jpeg::CoefficientPlanes TransformedPicture(int32_t quality) {
    k3v::jpeg::CoefficientPlanes planes;
    planes.blocksAcross = k3v::jpeg::BlocksFor(kWidth);
    planes.blocksDown = k3v::jpeg::BlocksFor(kHeight);
    planes.coefficients.resize(planes.BlockCount() * 3 * 64);
    k3v::jpeg::TransformPicture(k3v::jpeg::DibPicture{Picture().data(), kWidth, kHeight, 24},
                                k3v::jpeg::SetupQuantTables(quality), planes);
    return planes;
}

// Colour conversion, DCT and quantisation.
void BM_TransformPicture(benchmark::State& state) {
    k3v::jpeg::CoefficientPlanes planes;
    planes.blocksAcross = k3v::jpeg::BlocksFor(kWidth);
    planes.blocksDown = k3v::jpeg::BlocksFor(kHeight);
    planes.coefficients.resize(planes.BlockCount() * 3 * 64);
    const k3v::jpeg::QuantTables tables = k3v::jpeg::SetupQuantTables(100);
    const k3v::jpeg::DibPicture picture{Picture().data(), kWidth, kHeight, 24};
    for (auto _ : state) {
        k3v::jpeg::TransformPicture(picture, tables, planes);
        benchmark::DoNotOptimize(planes.coefficients.data());
    }
    SetCounters(state);
}
BENCHMARK(BM_TransformPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

// Symbol statistics and the four optimised tables.
void BM_BuildHuffmanTables(benchmark::State& state) {
    const k3v::jpeg::CoefficientPlanes planes = TransformedPicture(100);
    for (auto _ : state) {
        benchmark::DoNotOptimize(k3v::jpeg::BuildHuffmanTables(planes));
    }
    SetCounters(state);
}
BENCHMARK(BM_BuildHuffmanTables)->Unit(benchmark::kMillisecond)->UseRealTime();

// Huffman coding of all blocks.
void BM_EncodeScan(benchmark::State& state) {
    const k3v::jpeg::CoefficientPlanes planes = TransformedPicture(100);
    const k3v::jpeg::EntropyTables tables = k3v::jpeg::BuildHuffmanTables(planes);
    std::vector<uint8_t> out;
    for (auto _ : state) {
        out.clear();
        k3v::jpeg::EncodeScan(planes, tables, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetCounters(state);
}
BENCHMARK(BM_EncodeScan)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- Command-line modes for the side-by-side script ----------------------------------------

int WritePpm(const char* path, int width, int height) {
    const std::vector<uint8_t> rgb = SyntheticRgb(width, height);
    const std::string header =
        "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), rgb.begin(), rgb.end());
    const k3v::Status status = k3v::WriteFileSafely(path, bytes);
    if (!status.ok()) {
        std::fprintf(stderr, "%s\n", status.message().c_str());
        return 1;
    }
    return 0;
}

// Reads a binary PPM with maxval 255 (no comments), as the synthetic pictures are written.
bool ReadPpm(const char* path, int& width, int& height, std::vector<uint8_t>& rgb) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> width >> height >> maxval) || magic != "P6" || maxval != 255) {
        return false;
    }
    in.get();  // the one whitespace byte after maxval
    rgb.resize(static_cast<size_t>(width) * height * 3);
    in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return static_cast<bool>(in);
}

int EncodePpm(const char* inPath, const char* outPath, int32_t quality) {
    const auto start = std::chrono::steady_clock::now();
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    if (!ReadPpm(inPath, width, height, rgb)) {
        std::fprintf(stderr, "Cannot read \"%s\": not a binary PPM with maxval 255\n", inPath);
        return 1;
    }
    const std::vector<uint8_t> dib = ToDib(rgb, width, height);
    const auto encodeStart = std::chrono::steady_clock::now();
    const k3v::Status status = k3v::JPEGMAIN(outPath, dib.data(), width, height, 24, quality);
    const auto end = std::chrono::steady_clock::now();
    if (!status.ok()) {
        std::fprintf(stderr, "%s\n", status.message().c_str());
        return 1;
    }
    std::fprintf(stderr, "encode+write %.3f s, total %.3f s\n",
                 std::chrono::duration<double>(end - encodeStart).count(),
                 std::chrono::duration<double>(end - start).count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "--write-ppm") == 0) {
        return WritePpm(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    }
    if (argc >= 4 && std::strcmp(argv[1], "--encode-ppm") == 0) {
        return EncodePpm(argv[2], argv[3], argc >= 5 ? std::atoi(argv[4]) : 100);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
