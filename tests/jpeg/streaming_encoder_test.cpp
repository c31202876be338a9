// The streaming encoder (bands on several threads, vector block transforms, rows read on
// demand, the file written as it is coded) against the whole-picture reference encoder: the
// files must be identical byte for byte, for every vector level the processor has.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/simd_level.h"
#include "base/thread_runner.h"
#include "output/jpeg/block_transform.h"
#include "output/jpeg/huffman.h"
#include "output/jpeg/jpeg_encoder.h"
#include "output/jpeg/kept_symbols.h"
#include "output/jpeg/streaming_encoder.h"
#include "output/output_picture.h"
#include "output/output_target.h"
#include "output/stereo_image_writer.h"
#include "tests/jpeg/encode_to_memory.h"
#include "tests/jpeg/reference_encoder.h"
#include "tests/jpeg/test_pictures.h"

namespace k3v::jpeg {
namespace {

namespace fs = std::filesystem;
using testing::Content;
using testing::MakePicture;
using testing::TestPicture;

const SimdLevel kLevels[] = {SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2};

std::string LevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Scalar:
            return "Scalar";
        case SimdLevel::Sse2:
            return "Sse2";
        default:
            return "Avx2";
    }
}

// Caps the vector level for one test and restores the widest afterwards. A level the processor
// lacks is skipped: capping at it would quietly test a narrower one again.
class AtLevel : public ::testing::TestWithParam<SimdLevel> {
  protected:
    void SetUp() override {
        LimitSimdLevel(GetParam());
        if (ActiveSimdLevel() != GetParam()) {
            GTEST_SKIP() << "the processor lacks " << LevelName(GetParam());
        }
    }
    void TearDown() override { LimitSimdLevel(SimdLevel::Avx2); }
};

std::vector<uint8_t> Reference(const std::vector<uint8_t>& dib, int width, int height,
                               int bitsPerPixel, int quality) {
    std::vector<uint8_t> file;
    const Status status =
        EncodeJpegReference(dib.data(), width, height, bitsPerPixel, quality, file);
    EXPECT_TRUE(status.ok()) << status.message();
    return file;
}

std::vector<uint8_t> Streamed(const std::vector<uint8_t>& dib, int width, int height,
                              int bitsPerPixel, int quality) {
    std::vector<uint8_t> file;
    const Status status =
        testing::EncodeBitmap(dib.data(), width, height, bitsPerPixel, quality, file);
    EXPECT_TRUE(status.ok()) << status.message();
    return file;
}

// Index of the first differing byte, or -1.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            return static_cast<long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long>(n);
}

JpegRows RowsOf(const std::vector<uint8_t>& dib32, int width, int height) {
    JpegRows rows;
    rows.width = width;
    rows.height = height;
    rows.readRow = [&dib32, width](int32_t y, uint32_t* out) {
        std::memcpy(out, dib32.data() + 4 * static_cast<size_t>(y) * width, 4 * size_t(width));
    };
    return rows;
}

// ---- One block ------------------------------------------------------------------------------

class BlockTransformAtLevel : public AtLevel {};

// Strips of 8 rows, 3 block columns, pixels from every part of the colour cube: random,
// extremes, and single saturated channels (the largest coefficients).
TEST_P(BlockTransformAtLevel, GivesThePortableCoefficients) {
    const BlockTransform transform = ChooseBlockTransform();
    std::minstd_rand random(7);
    constexpr size_t kStride = 24;
    std::vector<uint32_t> strip(8 * kStride);
    for (int quality : {100, 99, 90, 75, 50, 0}) {
        const BlockTables tables = MakeBlockTables(SetupQuantTables(quality));
        for (int round = 0; round < 300; ++round) {
            for (size_t i = 0; i < strip.size(); ++i) {
                const auto r = static_cast<uint32_t>(random());
                switch (round % 5) {
                    case 0:
                        strip[i] = r;
                        break;
                    case 1:  // each channel 0 or 255
                        strip[i] = (r & 1 ? 0xFFu : 0) | (r & 2 ? 0xFF00u : 0) |
                                   (r & 4 ? 0xFF0000u : 0) | (r & 0xFF000000u);
                        break;
                    case 2:  // checkerboard of extremes
                        strip[i] = ((i / kStride + i % kStride) % 2) ? 0xFFFFFFFFu : 0;
                        break;
                    case 3:  // smooth with a little noise
                        strip[i] = 0x00808080u + (r & 0x00030303u) + static_cast<uint32_t>(i);
                        break;
                    default:  // one saturated channel
                        strip[i] = 0xFFu << (8 * (r % 3));
                        break;
                }
            }
            for (size_t column = 0; column < 3; ++column) {
                int16_t ours[192];
                int16_t expected[192];
                uint32_t ourWords[192];
                uint32_t expectedWords[192];
                std::memset(ours, 0x55, sizeof(ours));
                std::memset(ourWords, 0x55, sizeof(ourWords));
                transform(strip.data(), kStride, column, tables, ours, ourWords);
                TransformBlockPortable(strip.data(), kStride, column, tables, expected,
                                       expectedWords);
                for (size_t i = 0; i < 192; ++i) {
                    ASSERT_EQ(ours[i], expected[i]) << "quality " << quality << " round " << round
                                                    << " column " << column << " index " << i;
                    ASSERT_EQ(ourWords[i], expectedWords[i])
                        << "quality " << quality << " round " << round << " column " << column
                        << " index " << i;
                }
            }
        }
    }
}

// Every 16-bit value, in every position of a block.
TEST_P(BlockTransformAtLevel, CoefficientWordsHoldCategoryAndAdditionalBits) {
    const CoefficientWords words = ChooseCoefficientWords();
    int16_t block[64];
    uint32_t ours[64];
    for (int start = -32768; start < 32768; start += 64) {
        for (int i = 0; i < 64; ++i) {
            block[i] = static_cast<int16_t>(start + ((i * 37) % 64));
        }
        words(block, ours);
        for (int i = 0; i < 64; ++i) {
            const int v = block[i];
            const unsigned category = Category(v);
            const uint32_t expected = (ExtraBits(v, category) << 10) | category;
            ASSERT_EQ(ours[i], expected) << "value " << v << " at " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, BlockTransformAtLevel, ::testing::ValuesIn(kLevels),
                         [](const ::testing::TestParamInfo<SimdLevel>& level) {
                             return LevelName(level.param);
                         });

// ---- Whole files ----------------------------------------------------------------------------

class SweepAtLevel : public AtLevel {};

// Widths and heights from 1 pixel, around multiples of 8 (the block) and of the vector width,
// every pixel depth, the qualities at both ends and the default.
TEST_P(SweepAtLevel, SmallPicturesGiveTheReferenceBytes) {
    const int sizes[] = {1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 23, 24, 25, 31, 32, 33, 63, 64, 65};
    const int heights[] = {1, 7, 8, 9, 17};
    int cases = 0;
    for (int width : sizes) {
        for (int height : heights) {
            const TestPicture picture = MakePicture(
                width, height, Content((width + height) % 2 ? "noise" : "gradient", width, height));
            for (int bitsPerPixel : {32, 24, 16}) {
                const std::vector<uint8_t> dib = picture.Dib(bitsPerPixel, 0x9C);
                for (int quality : {100, 75, 50}) {
                    if ((width + height + bitsPerPixel + quality) % 3 != 0 && quality != 100) {
                        continue;  // every size at 100, a third of them at the others
                    }
                    const std::vector<uint8_t> expected =
                        Reference(dib, width, height, bitsPerPixel, quality);
                    const std::vector<uint8_t> ours =
                        Streamed(dib, width, height, bitsPerPixel, quality);
                    ASSERT_EQ(FirstDifference(ours, expected), -1)
                        << width << " x " << height << ", " << bitsPerPixel << " bpp, quality "
                        << quality << ": " << ours.size() << " bytes against " << expected.size();
                    ++cases;
                }
            }
        }
    }
    EXPECT_GT(cases, 300);
}

// Pictures of several bands, coded on two threads and on one: the bands' bit strings join
// at every bit position, and the DC differences across band edges are counted and coded
// against the band above.
TEST_P(SweepAtLevel, ManyBandsGiveTheReferenceBytes) {
    const std::tuple<int, int, const char*> cases[] = {
        {4001, 301, "noise"}, {4000, 333, "gradient"}, {2049, 1029, "edges"}, {700, 900, "noise"}};
    for (const auto& [width, height, content] : cases) {
        const TestPicture picture = MakePicture(width, height, Content(content, width, height));
        for (int bitsPerPixel : {32, 24}) {
            const std::vector<uint8_t> dib = picture.Dib(bitsPerPixel);
            const int quality = bitsPerPixel == 32 ? 100 : 80;
            const std::vector<uint8_t> expected =
                Reference(dib, width, height, bitsPerPixel, quality);
            for (int threads : {2, 1}) {
                LimitThreads(threads);
                const std::vector<uint8_t> ours =
                    Streamed(dib, width, height, bitsPerPixel, quality);
                LimitThreads(0);
                ASSERT_EQ(FirstDifference(ours, expected), -1)
                    << width << " x " << height << " " << content << ", " << bitsPerPixel
                    << " bpp, " << threads << " thread(s)";
            }
        }
    }
}

// Each row is read exactly once, and each thread reads its rows from the top down (bands are
// taken in order, each read top to bottom); the file is the reference's whether the symbols
// are kept plain, coded with the fixed tables, or some each way, also when the last band and
// the last block row end part way, and with the largest coefficients (black and white blocks
// side by side, one-pixel checkerboards).
TEST_P(SweepAtLevel, EachRowIsReadOnceAndKeptSymbolsGiveTheReferenceBytes) {
    const testing::PixelSource extremes = [](int x, int y) {
        const bool white = (x / 8 + y / 8) % 2 == 0;
        const bool checker = (x / 8) % 3 == 0 && (x + y) % 2 == 0;
        const uint8_t v = white != checker ? 255 : 0;
        return testing::Rgb{v, v, static_cast<uint8_t>(255 - v)};
    };
    const std::tuple<int, int, testing::PixelSource> cases[] = {
        {3001, 403, Content("noise", 3001, 403)}, {1500, 701, extremes}};
    for (const auto& [width, height, content] : cases) {
        const std::vector<uint8_t> dib = MakePicture(width, height, content).Dib(32);
        const std::vector<uint8_t> expected = Reference(dib, width, height, 32, 100);
        for (const size_t plain : {size_t{0}, size_t{3} << 20, kPlainSymbolBytes}) {
            for (int threads : {2, 1}) {
                std::mutex mutex;
                std::vector<int> reads(static_cast<size_t>(height), 0);
                std::map<std::thread::id, int32_t> lastRow;  // of each thread
                JpegRows rows = RowsOf(dib, width, height);
                const auto read = rows.readRow;
                rows.readRow = [&](int32_t y, uint32_t* out) {
                    {
                        const std::lock_guard<std::mutex> lock(mutex);
                        ++reads[static_cast<size_t>(y)];
                        const auto [last, first] = lastRow.emplace(std::this_thread::get_id(), y);
                        EXPECT_TRUE(first || y < last->second)
                            << "row " << y << " after " << last->second;
                        last->second = y;
                    }
                    read(y, out);
                };
                std::vector<uint8_t> ours;
                LimitThreads(threads);
                const bool done = EncodeStreaming(
                    rows, 100,
                    [&ours](const uint8_t* b, size_t n) { ours.insert(ours.end(), b, b + n); },
                    plain);
                LimitThreads(0);
                EXPECT_TRUE(done);
                EXPECT_EQ(std::count(reads.begin(), reads.end(), 1), height)
                    << width << " x " << height << ", " << threads << " thread(s), " << plain;
                EXPECT_EQ(FirstDifference(ours, expected), -1)
                    << width << " x " << height << ", " << threads << " thread(s), " << plain;
            }
        }
    }
}

// Every symbol a baseline scan can send has a code in the kept symbols' fixed tables, and the
// codes leave room for no more (the all-ones code of the longest length stays unused).
TEST(KeptSymbols, FixedTablesCodeEverySymbol) {
    const EntropyTables& tables = KeptSymbolTables();
    for (size_t t = 0; t < 2; ++t) {
        double kraft = 0;
        for (unsigned category = 0; category <= 11; ++category) {
            ASSERT_GT(tables.dc[t].length[category], 0) << "DC table " << t << ", " << category;
            kraft += std::ldexp(1.0, -tables.dc[t].length[category]);
        }
        EXPECT_EQ(kraft, 1.0 - std::ldexp(1.0, -tables.dc[t].length[11])) << "DC table " << t;
        kraft = 0;
        for (unsigned symbol = 0; symbol < 256; ++symbol) {
            const bool valid = symbol == kEob || symbol == kZrl || (symbol & 15) - 1u < 10u;
            ASSERT_EQ(tables.ac[t].length[symbol] > 0, valid) << "AC table " << t << ", " << symbol;
            kraft += valid ? std::ldexp(1.0, -tables.ac[t].length[symbol]) : 0.0;
        }
        EXPECT_EQ(kraft, 1.0 - std::ldexp(1.0, -16)) << "AC table " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, SweepAtLevel, ::testing::ValuesIn(kLevels),
                         [](const ::testing::TestParamInfo<SimdLevel>& level) {
                             return LevelName(level.param);
                         });

// ---- Rows on demand and files ---------------------------------------------------------------

TEST(Rows, GiveTheBytesOfTheSameBitmap) {
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{13, 6}, std::pair{640, 480}}) {
        const TestPicture picture = MakePicture(width, height, Content("edges", width, height));
        const std::vector<uint8_t> dib = picture.Dib(32, 0x17);
        std::vector<uint8_t> ours;
        ASSERT_TRUE(testing::EncodeRows(RowsOf(dib, width, height), 92, ours).ok());
        EXPECT_EQ(FirstDifference(ours, Reference(dib, width, height, 32, 92)), -1)
            << width << " x " << height;
    }
}

TEST(Rows, EmptyOrOversizedPicturesAreRefused) {
    JpegRows rows;
    rows.readRow = [](int32_t, uint32_t*) { ADD_FAILURE() << "no row may be read"; };
    std::vector<uint8_t> file = {1};
    rows.width = 0;
    rows.height = 5;
    EXPECT_FALSE(testing::EncodeRows(rows, 100, file).ok());
    EXPECT_TRUE(file.empty());
    rows.width = 65536;
    rows.height = 1;
    const Status status = testing::EncodeRows(rows, 100, file);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find("65535"), std::string::npos) << status.message();
}

class TempFolder {
  public:
    TempFolder()
        : path_(fs::temp_directory_path() / ("k3v_streaming_test_" + std::to_string(::getpid()) +
                                             "_" + std::to_string(counter_++))) {
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    static inline int counter_ = 0;
    fs::path path_;
};

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Files, WrittenFilesHoldTheReferenceBytes) {
    const TempFolder folder;
    const int width = 1500;
    const int height = 700;  // two threads, several bands
    const TestPicture picture = MakePicture(width, height, Content("noise", width, height));
    const std::vector<uint8_t> dib = picture.Dib(32);
    const std::vector<uint8_t> expected = Reference(dib, width, height, 32, 100);
    ASSERT_TRUE(
        testing::WriteBitmap(folder.File("bitmap.jpg"), dib.data(), width, height, 32, 100).ok());
    ASSERT_TRUE(JPEGMAIN(folder.File("rows.jpg"), RowsOf(dib, width, height), 100).ok());
    EXPECT_EQ(FirstDifference(ReadAll(folder.File("bitmap.jpg")), expected), -1);
    EXPECT_EQ(FirstDifference(ReadAll(folder.File("rows.jpg")), expected), -1);
}

TEST(Files, AMissingFolderIsReportedAndNothingIsWritten) {
    const TempFolder folder;
    const std::vector<uint8_t> dib(4 * 8 * 8, 0x40);
    const std::string path = folder.File("missing/picture.jpg");
    const Status status = testing::WriteBitmap(path, dib.data(), 8, 8, 32, 100);
    EXPECT_FALSE(status.ok());
    EXPECT_FALSE(fs::exists(path));
}

// ---- Saving the stereo image: streamed from the view planes ---------------------------------

struct LayoutCase {
    int32_t layout;
    int32_t kind;
    int16_t effect;
    const char* name;
};

class SavedLayouts : public ::testing::TestWithParam<LayoutCase> {};

// The save reads rows straight from the view planes; the file must be the one the reference
// encoder makes from the assembled contiguous picture.
TEST_P(SavedLayouts, GiveTheBytesOfTheContiguousPicture) {
    const LayoutCase c = GetParam();
    for (const auto& [width, height] : {std::pair{67, 45}, std::pair{1203, 517}}) {
        StereoPlanes planes;
        ASSERT_TRUE(planes.allocate(width, height).ok());
        std::minstd_rand random(static_cast<unsigned>(width + c.layout));
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                const auto smooth = static_cast<uint32_t>((x * 3 + y) & 0xFF);
                planes.FirstView.row(y)[x] =
                    (static_cast<uint32_t>(random()) & 0x0F0F0F0Fu) + smooth * 0x010101u / 2;
                planes.SecondView.row(y)[x] =
                    (static_cast<uint32_t>(random()) & 0xFF000F0Fu) + (smooth << 16);
            }
        }
        ConversionSettings settings;
        settings.StereoLayout = c.layout;
        settings.SourceKind = c.kind;
        settings.StereoEffect = c.effect;
        const OutputPicture picture(settings, planes);
        std::vector<uint32_t> storage;
        const uint32_t* pixels = picture.contiguous(storage).value();
        std::vector<uint8_t> expected;
        ASSERT_TRUE(EncodeJpegReference(reinterpret_cast<const uint8_t*>(pixels),
                                        int32_t(picture.width()), int32_t(picture.height()), 32, 95,
                                        expected)
                        .ok());

        const TempFolder folder;
        const std::string path = folder.File("stereo.jpg");
        const Status status = WriteStereoImage(OutputTarget(path, settings, 95), planes);
        ASSERT_TRUE(status.ok()) << status.message();
        EXPECT_EQ(FirstDifference(ReadAll(path), expected), -1) << width << " x " << height;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SavedLayouts,
    ::testing::Values(LayoutCase{kAnaglyph, kPanorama, 3, "AnaglyphPanorama"},
                      LayoutCase{kAnaglyph, kStillPhoto, 4, "AnaglyphStillRightCut"},
                      LayoutCase{kAnaglyph, kStillPhoto, -2, "AnaglyphStillLeftCut"},
                      LayoutCase{kSideBySideVertical, kPanorama, 3, "Vertical"},
                      LayoutCase{kSideBySideHorizontal, kPanorama, 3, "Horizontal"},
                      LayoutCase{kSideBySideHorizontal, kStillPhoto, 5, "HorizontalStill"}),
    [](const ::testing::TestParamInfo<LayoutCase>& layout) {
        return std::string(layout.param.name);
    });

}  // namespace
}  // namespace k3v::jpeg
