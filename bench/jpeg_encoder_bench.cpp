// Speed of the JPEG encoder on a 24-megapixel picture: the whole encode, and the stages of the
// whole-picture reference encoder of the tests (EncodeJpegReference) one by one.
//
//   jpeg_encoder_bench [Google Benchmark options]      runs the benchmarks
//   jpeg_encoder_bench [--threads N] MODE ...          N caps the encoder's threads
//   jpeg_encoder_bench --write-ppm FILE WIDTH HEIGHT   writes the synthetic picture as PPM
//   jpeg_encoder_bench --encode-ppm IN OUT [QUALITY] [--reference]
//       encodes a PPM file like a command-line encoder would (used by jpeg_vs_cjpeg.sh); with
//       --reference, by the whole-picture reference encoder (to compare the bytes)
//   jpeg_encoder_bench --save-horizontal W H OUT [QUALITY] [--contiguous]
//       saves two synthetic W x H views side by side (2W x H) as the program does, and reports
//       the peak memory the save adds to the views; --contiguous measures the former way
//       (assembled 2W x H copy, every coefficient kept, the file built in memory)

#include <benchmark/benchmark.h>
#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/thread_runner.h"
#include "bench/bench_pictures.h"
#include "output/jpeg/jpeg_encoder.h"
#include "output/output_picture.h"
#include "output/output_target.h"
#include "output/safe_file_writer.h"
#include "output/stereo_image_writer.h"
#include "stereo/stereo_planes.h"
#include "tests/jpeg/reference_encoder.h"
#include "tests/support/jpeg_test_encoding.h"

namespace {

constexpr int kWidth = 6000;  // 24 megapixels
constexpr int kHeight = 4000;

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
    static const std::vector<uint8_t> dib =
        ToDib(k3v::bench::SyntheticRgb(kWidth, kHeight), kWidth, kHeight);
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
    k3v::JpegRows rows;
    if (const k3v::Status status = k3v::testing::BitmapRows(dib.data(), kWidth, kHeight, 24, rows);
        !status.ok()) {
        state.SkipWithError(status.message().c_str());
        return;
    }
    const k3v::JpegSink sink = [&file](const uint8_t* bytes, size_t count) {
        file.insert(file.end(), bytes, bytes + count);
    };
    for (auto _ : state) {
        file.clear();
        const k3v::Status status = k3v::testing::EncodeJpeg(rows, quality, sink);
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
    const k3v::jpeg::PictureTables tables = k3v::jpeg::BuildHuffmanTables(planes);
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
    const k3v::Status status = k3v::bench::WriteSyntheticPpm(path, width, height);
    if (!status.ok()) {
        std::fprintf(stderr, "%s\n", status.message().c_str());
        return 1;
    }
    return 0;
}

// A binary PPM with maxval 255 (no comments), as the synthetic pictures are written, mapped
// into memory: the encoder reads its rows from the file's pages as it goes, the way a
// command-line encoder streams its input, with no copy of the whole picture.
class MappedPpm {
  public:
    explicit MappedPpm(const char* path) {
        const int fd = open(path, O_RDONLY);
        if (fd < 0) {
            return;
        }
        struct stat info {};
        if (fstat(fd, &info) == 0 && info.st_size > 0) {
            size_ = static_cast<size_t>(info.st_size);
            void* map = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
            if (map != MAP_FAILED) {
                bytes_ = static_cast<const uint8_t*>(map);
            }
        }
        close(fd);
        if (bytes_ != nullptr) {
            ParseHeader();
        }
    }
    ~MappedPpm() {
        if (bytes_ != nullptr) {
            munmap(const_cast<uint8_t*>(bytes_), size_);
        }
    }
    MappedPpm(const MappedPpm&) = delete;
    MappedPpm& operator=(const MappedPpm&) = delete;

    bool ok() const { return pixels_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    const uint8_t* pixels() const { return pixels_; }  // top row first, red-green-blue

  private:
    void ParseHeader() {
        const std::string head(reinterpret_cast<const char*>(bytes_), std::min<size_t>(size_, 64));
        char magic[3] = {};
        int maxval = 0;
        int consumed = 0;
        if (std::sscanf(head.c_str(), "%2s %d %d %d%n", magic, &width_, &height_, &maxval,
                        &consumed) != 4 ||
            std::strcmp(magic, "P6") != 0 || maxval != 255 || width_ < 1 || height_ < 1) {
            return;
        }
        const size_t offset = static_cast<size_t>(consumed) + 1;  // one whitespace byte
        if (offset + static_cast<size_t>(width_) * height_ * 3 <= size_) {
            pixels_ = bytes_ + offset;
        }
    }

    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    const uint8_t* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// A PPM row (red, green, blue bytes) as the encoder's pixel words (blue in the low byte).
void RgbToWordsPortable(const uint8_t* in, int width, uint32_t* out) {
    for (int x = 0; x < width; ++x) {
        out[x] = (uint32_t{in[3 * x]} << 16) | (uint32_t{in[3 * x + 1]} << 8) | in[3 * x + 2];
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels per byte shuffle; the last pixels, whose 16-byte load would pass the row's end,
// go the portable way.
__attribute__((target("ssse3"))) void RgbToWordsSsse3(const uint8_t* in, int width, uint32_t* out) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    int x = 0;
    for (; x + 6 <= width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_shuffle_epi8(pixels, order));
    }
    RgbToWordsPortable(in + 3 * x, width - x, out + x);
}
#endif

void RgbToWords(const uint8_t* in, int width, uint32_t* out) {
#if defined(__x86_64__) || defined(__i386__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        RgbToWordsSsse3(in, width, out);
        return;
    }
#endif
    RgbToWordsPortable(in, width, out);
}

// The whole-picture reference encoder on the same pixels, for checking that the fast one
// gives the same bytes on large pictures.
int EncodePpmReference(const uint8_t* rgb, int width, int height, const char* outPath,
                       int32_t quality) {
    std::vector<uint32_t> dib(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        RgbToWords(rgb + static_cast<size_t>(height - 1 - y) * width * 3, width,
                   dib.data() + static_cast<size_t>(y) * width);
    }
    std::vector<uint8_t> file;
    k3v::Status status = k3v::EncodeJpegReference(reinterpret_cast<const uint8_t*>(dib.data()),
                                                  width, height, 32, quality, file);
    if (status.ok()) {
        status = k3v::WriteFileSafely(outPath, file);
    }
    if (!status.ok()) {
        std::fprintf(stderr, "%s\n", status.message().c_str());
        return 1;
    }
    return 0;
}

int EncodePpm(const char* inPath, const char* outPath, int32_t quality, bool reference) {
    const auto start = std::chrono::steady_clock::now();
    const MappedPpm ppm(inPath);
    if (!ppm.ok()) {
        std::fprintf(stderr, "Cannot read \"%s\": not a binary PPM with maxval 255\n", inPath);
        return 1;
    }
    const int width = ppm.width();
    const int height = ppm.height();
    const uint8_t* rgb = ppm.pixels();
    if (reference) {
        return EncodePpmReference(rgb, width, height, outPath, quality);
    }
    // The encoder reads the rows from the PPM's pixels as it goes (twice, on both cores), as
    // a save reads them from the view planes: no converted copy of the picture.
    k3v::JpegRows rows;
    rows.width = width;
    rows.height = height;
    rows.readRow = [rgb, width, height](int32_t y, uint32_t* out) {
        RgbToWords(rgb + static_cast<size_t>(height - 1 - y) * width * 3, width, out);
    };
    const auto encodeStart = std::chrono::steady_clock::now();
    const k3v::Status status = k3v::JPEGMAIN(outPath, rows, quality);
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

// Peak resident memory of the process so far, in MiB.
double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

int SaveHorizontal(int width, int height, const char* outPath, int32_t quality, bool contiguous) {
    k3v::StereoPlanes planes;
    if (const k3v::Status status = planes.allocate(width, height); !status.ok()) {
        std::fprintf(stderr, "%s\n", status.message().c_str());
        return 1;
    }
    // Views with shading and fine texture, as the conversion leaves them; the other four
    // planes stay untouched here (the program holds them too).
    uint32_t noise = 2463534242u;
    for (int y = 0; y < height; ++y) {
        uint32_t* first = planes.FirstView.row(y);
        uint32_t* second = planes.SecondView.row(y);
        for (int x = 0; x < width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const auto shade = static_cast<uint32_t>(((x >> 4) + (y >> 3)) & 0xFF);
            first[x] = (shade * 0x010101u) ^ (noise & 0x070707u);
            second[x] = ((255 - shade) << 16) + (shade << 8) + (noise & 0x0F);
        }
    }
    k3v::ConversionSettings settings;
    settings.StereoLayout = k3v::kSideBySideHorizontal;
    const double before = PeakMiB();
    const auto start = std::chrono::steady_clock::now();
    k3v::Status status = k3v::Status::Ok();
    if (contiguous) {
        const k3v::OutputPicture picture(settings, planes);
        std::vector<uint32_t> storage;
        const uint32_t* pixels = picture.contiguous(storage).value();
        std::vector<uint8_t> file;
        status = k3v::EncodeJpegReference(reinterpret_cast<const uint8_t*>(pixels),
                                          int32_t(picture.width()), int32_t(picture.height()), 32,
                                          quality, file);
        if (status.ok()) {
            status = k3v::WriteFileSafely(outPath, file);
        }
    } else {
        status = k3v::WriteStereoImage(k3v::OutputTarget(outPath, settings, quality), planes);
    }
    const auto end = std::chrono::steady_clock::now();
    if (!status.ok()) {
        std::fprintf(stderr, "%s\n", status.message().c_str());
        return 1;
    }
    const double plane = 4.0 * width * height / (1024.0 * 1024.0);
    const double added = PeakMiB() - before;
    std::printf("%s save of %d x %d (two %d x %d views): %.3f s\n",
                contiguous ? "contiguous" : "streamed", 2 * width, height, width, height,
                std::chrono::duration<double>(end - start).count());
    std::printf(
        "peak before the save %.0f MiB, added by the save %.0f MiB = %.2f planes of %.0f MiB\n",
        before, added, added / plane, plane);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // --threads N first: caps the threads of the encoder (to compare one core with two).
    if (argc >= 3 && std::strcmp(argv[1], "--threads") == 0) {
        k3v::LimitThreads(std::atoi(argv[2]));
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }
    if (argc >= 5 && std::strcmp(argv[1], "--write-ppm") == 0) {
        return WritePpm(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    }
    if (argc >= 4 && std::strcmp(argv[1], "--encode-ppm") == 0) {
        const bool reference = std::strcmp(argv[argc - 1], "--reference") == 0;
        const int quality =
            argc >= 5 && std::strcmp(argv[4], "--reference") != 0 ? std::atoi(argv[4]) : 100;
        return EncodePpm(argv[2], argv[3], quality, reference);
    }
    if (argc >= 5 && std::strcmp(argv[1], "--save-horizontal") == 0) {
        const bool contiguous = std::strcmp(argv[argc - 1], "--contiguous") == 0;
        const int quality =
            argc >= 6 && std::strcmp(argv[5], "--contiguous") != 0 ? std::atoi(argv[5]) : 100;
        return SaveHorizontal(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], quality, contiguous);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
