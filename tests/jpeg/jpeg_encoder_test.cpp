#include "output/jpeg/jpeg_encoder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/jpeg/encode_to_memory.h"
#include "tests/jpeg/jpeg_file_parsing.h"
#include "tests/jpeg/libjpeg_decoder.h"
#include "tests/jpeg/reference_encoder.h"
#include "tests/jpeg/test_pictures.h"

namespace k3v::jpeg {
namespace {

namespace fs = std::filesystem;
using testing::Content;
using testing::MakePicture;
using testing::Rgb;
using testing::TestPicture;

std::vector<uint8_t> Encode(const TestPicture& picture, int quality, int bitsPerPixel = 32,
                            uint8_t fourth = 0) {
    const std::vector<uint8_t> dib = picture.Dib(bitsPerPixel == 0 ? 32 : bitsPerPixel, fourth);
    std::vector<uint8_t> file;
    const Status status = testing::EncodeBitmap(dib.data(), picture.width, picture.height,
                                                bitsPerPixel, quality, file);
    EXPECT_TRUE(status.ok()) << status.message();
    return file;
}

double Psnr(const TestPicture& picture, const testing::DecodedPicture& decoded) {
    double squared = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const Rgb c = picture.at(x, y);
            const uint8_t* d =
                decoded.rgb.data() + 3 * (static_cast<size_t>(y) * decoded.width + x);
            const double dr = c.r - d[0], dg = c.g - d[1], db = c.b - d[2];
            squared += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = squared / (3.0 * picture.width * picture.height);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// ---- Decoding with libjpeg -----------------------------------------------------------------

struct DecodeCase {
    int width;
    int height;
    const char* content;
};

std::string CaseName(const ::testing::TestParamInfo<DecodeCase>& info) {
    return std::string(info.param.content) + "_" + std::to_string(info.param.width) + "x" +
           std::to_string(info.param.height);
}

class DecodedByLibjpeg : public ::testing::TestWithParam<DecodeCase> {};

// Quality 100 quantises by 1: the only losses are the rounding of coefficients and of the
// decoder's own colour conversion. Measured here: 55.6 to 58.9 dB for gradients, noise and
// edges. Measured here: 48.3 dB (flat 33 x 17, off by about one level everywhere) to 54.0 dB
// (edges); a wrong coefficient order, sign, table or colour equation falls far below 30 dB.
constexpr double kMinimumPsnrAtQuality100 = 45.0;

TEST_P(DecodedByLibjpeg, QualityHundredGivesBackThePicture) {
    const DecodeCase c = GetParam();
    const TestPicture picture =
        MakePicture(c.width, c.height, Content(c.content, c.width, c.height));
    const testing::DecodedPicture decoded = testing::DecodePixels(Encode(picture, 100));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.width, c.width);
    ASSERT_EQ(decoded.height, c.height);
    const double psnr = Psnr(picture, decoded);
    RecordProperty("psnr_q100", std::to_string(psnr));
    EXPECT_GE(psnr, kMinimumPsnrAtQuality100);
}

TEST_P(DecodedByLibjpeg, CoarserQualitiesLoseMore) {
    const DecodeCase c = GetParam();
    const TestPicture picture =
        MakePicture(c.width, c.height, Content(c.content, c.width, c.height));
    double psnr[3] = {};
    const int qualities[3] = {90, 75, 50};
    for (int i = 0; i < 3; ++i) {
        const testing::DecodedPicture decoded =
            testing::DecodePixels(Encode(picture, qualities[i]));
        ASSERT_TRUE(decoded.ok) << decoded.error;
        psnr[i] = Psnr(picture, decoded);
        EXPECT_GE(psnr[i], 10.0) << qualities[i];
    }
    // Measured: 3.4 dB (flat 33 x 17) to 13.8 dB (noise 7 x 9) between qualities 90 and 50.
    EXPECT_LE(psnr[1], psnr[0] + 0.5);
    EXPECT_LE(psnr[2], psnr[1] + 0.5);
    EXPECT_GE(psnr[0] - psnr[2], 3.0);
}

TEST_P(DecodedByLibjpeg, CoefficientsAreThoseOfTheTransform) {
    const DecodeCase c = GetParam();
    const TestPicture picture =
        MakePicture(c.width, c.height, Content(c.content, c.width, c.height));
    for (int quality : {100, 75}) {
        const std::vector<uint8_t> dib = picture.Dib(32);
        CoefficientPlanes planes;
        planes.blocksAcross = BlocksFor(static_cast<size_t>(c.width));
        planes.blocksDown = BlocksFor(static_cast<size_t>(c.height));
        planes.coefficients.resize(planes.BlockCount() * 3 * 64);
        const QuantTables tables = SetupQuantTables(quality);
        TransformPicture(
            DibPicture{dib.data(), static_cast<size_t>(c.width), static_cast<size_t>(c.height), 32},
            tables, planes);

        const testing::DecodedCoefficients decoded =
            testing::DecodeCoefficients(Encode(picture, quality));
        ASSERT_TRUE(decoded.ok) << decoded.error;
        ASSERT_EQ(decoded.components, 3);
        EXPECT_EQ(decoded.blocksAcross, planes.blocksAcross);
        EXPECT_EQ(decoded.blocksDown, planes.blocksDown);
        for (size_t comp = 0; comp < 3; ++comp) {
            EXPECT_EQ(decoded.componentIds[comp], static_cast<int>(comp) + 1);
            EXPECT_EQ(decoded.sampling[comp], 0x11);
            const QuantTable& quant = comp == 0 ? tables.luma : tables.chroma;
            ASSERT_EQ(decoded.blocks[comp].size(), planes.BlockCount());
            for (size_t i = 0; i < 64; ++i) {
                EXPECT_EQ(decoded.quant[comp][i], quant[kZigzagIndex[i]]);
            }
            for (size_t b = 0; b < planes.BlockCount(); ++b) {
                const int16_t* ours = planes.Block(b, static_cast<Component>(comp));
                for (size_t i = 0; i < 64; ++i) {
                    ASSERT_EQ(decoded.blocks[comp][b][i], ours[kZigzagIndex[i]])
                        << "component " << comp << " block " << b << " index " << i;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SizesAndContents, DecodedByLibjpeg,
                         ::testing::Values(DecodeCase{1, 1, "flat"}, DecodeCase{1, 1, "noise"},
                                           DecodeCase{7, 9, "gradient"}, DecodeCase{7, 9, "noise"},
                                           DecodeCase{7, 9, "edges"}, DecodeCase{33, 17, "flat"},
                                           DecodeCase{33, 17, "gradient"},
                                           DecodeCase{33, 17, "noise"}, DecodeCase{33, 17, "edges"},
                                           DecodeCase{1000, 250, "gradient"},
                                           DecodeCase{1000, 250, "noise"},
                                           DecodeCase{1000, 250, "edges"}),
                         CaseName);

// ---- Pixel formats -------------------------------------------------------------------------

TEST(PixelFormats, TwentyFourAndThirtyTwoBitsGiveTheSameFile) {
    const TestPicture picture = MakePicture(37, 21, Content("gradient", 37, 21));
    const std::vector<uint8_t> from32 = Encode(picture, 100, 32);
    EXPECT_EQ(Encode(picture, 100, 24), from32);
    EXPECT_EQ(Encode(picture, 100, 0), from32);         // 0 means 32
    EXPECT_EQ(Encode(picture, 100, 32, 0xFF), from32);  // the fourth byte has no effect
}

TEST(PixelFormats, SixteenBitsExpandFiveBitChannels) {
    // Colours that 5 bits hold exactly (v << 3 | v >> 2) encode as from 24 bits.
    auto expand = [](int v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); };
    const TestPicture picture = MakePicture(19, 11, [&](int x, int y) {
        return Rgb{expand((x + y) & 31), expand((3 * x) & 31), expand((31 - y) & 31)};
    });
    EXPECT_EQ(Encode(picture, 100, 16), Encode(picture, 100, 24));
}

TEST(PixelFormats, OtherDepthsAreRefused) {
    const std::vector<uint8_t> pixels(64, 0);
    for (int32_t bits : {1, 4, 8, 15, 48}) {
        std::vector<uint8_t> file = {1, 2, 3};
        const Status status = testing::EncodeBitmap(pixels.data(), 2, 2, bits, 100, file);
        EXPECT_FALSE(status.ok()) << bits;
        EXPECT_NE(status.message().find("bits per pixel"), std::string::npos);
        EXPECT_TRUE(file.empty());
    }
}

// ---- Padding, quality ----------------------------------------------------------------------

// Replaces the SOF0 size fields so that files of different sizes can be compared.
std::vector<uint8_t> WithoutSize(std::vector<uint8_t> file) {
    const std::vector<testing::Segment> segments = testing::ParseSegments(file, nullptr);
    for (const auto& s : segments) {
        if (s.marker == 0xC0) {
            std::fill(file.begin() + static_cast<std::ptrdiff_t>(s.offset + 5),
                      file.begin() + static_cast<std::ptrdiff_t>(s.offset + 9), 0);
        }
    }
    return file;
}

TEST(Padding, PartialBlocksAreFilledWithBlack) {
    // 7 x 9 coded as 8 x 16 blocks: the same file as an 8 x 16 picture that is black outside.
    const TestPicture small = MakePicture(7, 9, Content("noise", 7, 9));
    const TestPicture padded = MakePicture(8, 16, [&](int x, int y) {
        return x < 7 && y < 9 ? small.at(x, y) : Rgb{0, 0, 0};
    });
    EXPECT_EQ(WithoutSize(Encode(small, 90)), WithoutSize(Encode(padded, 90)));
}

TEST(Padding, OnePixelIsOneBlockPerComponent) {
    const TestPicture one = MakePicture(1, 1, [](int, int) { return Rgb{250, 10, 99}; });
    const testing::DecodedCoefficients decoded = testing::DecodeCoefficients(Encode(one, 100));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.blocks[0].size(), 1u);
    // 63 black pixels at Y = -128 and one brighter: DC is close to (63 * -128 + y) / 8.
    const double y = 0.299 * 250 + 0.587 * 10 + 0.114 * 99 - 128;
    EXPECT_NEAR(decoded.blocks[0][0][0], (63 * -128 + y) / 8, 1.0);
}

TEST(Quality, OutOfRangeQualityWritesTheFileOfSeventyFive) {
    const TestPicture picture = MakePicture(20, 20, Content("edges", 20, 20));
    const std::vector<uint8_t> at75 = Encode(picture, 75);
    EXPECT_EQ(Encode(picture, 30), at75);
    EXPECT_EQ(Encode(picture, 101), at75);
    EXPECT_NE(Encode(picture, 76), at75);
}

TEST(Quality, BlackPictureAtHundredHasDcMinus1024) {
    const TestPicture black = MakePicture(16, 16, [](int, int) { return Rgb{0, 0, 0}; });
    const testing::DecodedCoefficients decoded = testing::DecodeCoefficients(Encode(black, 100));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    for (const auto& block : decoded.blocks[0]) {
        EXPECT_EQ(block[0], -1024);
        for (int i = 1; i < 64; ++i)
            EXPECT_EQ(block[i], 0);
    }
    for (const auto& block : decoded.blocks[1])
        EXPECT_EQ(block[0], 0);
}

// ---- Sizes that cannot be encoded ----------------------------------------------------------

struct BadSize {
    int32_t width;
    int32_t height;
    const char* reason;
};

class RefusedSizes : public ::testing::TestWithParam<BadSize> {};

TEST_P(RefusedSizes, AreRefusedWithAMessageAndNoOutput) {
    const BadSize c = GetParam();
    const std::vector<uint8_t> pixels(16, 0);  // never read: the size is checked first
    std::vector<uint8_t> file = {0xAA};
    const Status status = testing::EncodeBitmap(pixels.data(), c.width, c.height, 32, 100, file);
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.message().find(c.reason), std::string::npos) << status.message();
    EXPECT_TRUE(file.empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, RefusedSizes,
                         ::testing::Values(BadSize{65536, 1, "65535"}, BadSize{1, 65536, "65535"},
                                           BadSize{100000, 100000, "65535"},
                                           BadSize{0, 10, "no pixels"}, BadSize{10, 0, "no pixels"},
                                           BadSize{-1, 5, "no pixels"},
                                           BadSize{5, -2147483647 - 1, "no pixels"}));

TEST(Sizes, WidestPictureIsEncoded) {
    const TestPicture wide = MakePicture(65535, 1, Content("gradient", 65535, 1));
    const std::vector<uint8_t> file = Encode(wide, 100, 24);
    const std::vector<testing::Segment> segments = testing::ParseSegments(file, nullptr);
    ASSERT_EQ(segments.size(), 10u);
    const testing::Segment& sof = segments[4];
    ASSERT_EQ(sof.marker, 0xC0);
    EXPECT_EQ(sof.body[1], 0x00);  // height 1
    EXPECT_EQ(sof.body[2], 0x01);
    EXPECT_EQ(sof.body[3], 0xFF);  // width 65535
    EXPECT_EQ(sof.body[4], 0xFF);
}

TEST(Sizes, VeryWidePictureDecodes) {
    // libjpeg itself stops at 65500 pixels.
    const TestPicture wide = MakePicture(65500, 3, Content("edges", 65500, 3));
    const testing::DecodedPicture decoded = testing::DecodePixels(Encode(wide, 100, 24));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, 65500);
    EXPECT_EQ(decoded.height, 3);
    EXPECT_GE(Psnr(wide, decoded), kMinimumPsnrAtQuality100);
}

TEST(Sizes, NullPixelsAreRefused) {
    std::vector<uint8_t> file;
    EXPECT_FALSE(testing::EncodeBitmap(nullptr, 4, 4, 32, 100, file).ok());
}

#if !defined(__SANITIZE_ADDRESS__)
// Limits the address space to what is in use plus `margin` bytes until destroyed.
class AddressSpaceLimit {
  public:
    explicit AddressSpaceLimit(size_t margin) {
        ok_ = getrlimit(RLIMIT_AS, &saved_) == 0;
        std::ifstream statm("/proc/self/statm");
        size_t pagesInUse = 0;
        statm >> pagesInUse;
        ok_ = ok_ && pagesInUse > 0;
        rlimit limited = saved_;
        limited.rlim_cur = pagesInUse * static_cast<size_t>(sysconf(_SC_PAGESIZE)) + margin;
        ok_ = ok_ && setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved_); }
    bool ok() const { return ok_; }

  private:
    rlimit saved_{};
    bool ok_ = false;
};

TEST(Memory, FailedAllocationIsReportedAndNothingIsProduced) {
    // The reference encoder keeps every coefficient: about 26 GB for the largest picture.
    // With the address space limited to 1 GB more than in use, that allocation must fail
    // before any pixel is read.
    const std::vector<uint8_t> pixels(16, 0);
    std::vector<uint8_t> file = {1, 2, 3};
    Status status = Status::Ok();
    {
        const AddressSpaceLimit limit(size_t{1} << 30);
        ASSERT_TRUE(limit.ok());
        status = EncodeJpegReference(pixels.data(), 65535, 65535, 32, 100, file);
    }
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.message().find("not enough memory"), std::string::npos) << status.message();
    EXPECT_TRUE(file.empty());
}

TEST(Memory, StreamingEncoderReportsFailedAllocation) {
    // The streaming encoder keeps every band's symbols until the tables are known: noise in
    // the largest picture needs gigabytes of them. With only 1 MB to spare beyond what is in
    // use, it must fail cleanly within the first pass, before anything is sent.
    JpegRows rows;
    rows.width = 65535;
    rows.height = 65535;
    rows.readRow = [](int32_t y, uint32_t* out) {
        uint32_t state = 2463534242u + static_cast<uint32_t>(y);
        for (int32_t x = 0; x < 65535; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            out[x] = state;
        }
    };
    std::vector<uint8_t> file = {1, 2, 3};
    Status status = Status::Ok();
    {
        const AddressSpaceLimit limit(size_t{1} << 20);
        ASSERT_TRUE(limit.ok());
        status = testing::EncodeRows(rows, 100, file);
    }
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.message().find("not enough memory"), std::string::npos) << status.message();
    EXPECT_TRUE(file.empty());
}
#endif

TEST(Buffer, NoisyPictureAtHundredGrowsTheBufferAndDecodes) {
    // Noise at quality 100 is the largest output per pixel; the file has to come out whole.
    const TestPicture noise = MakePicture(301, 203, Content("noise", 301, 203));
    std::vector<uint8_t> file(5, 0x11);  // stale contents are replaced
    const std::vector<uint8_t> dib = noise.Dib(32);
    ASSERT_TRUE(testing::EncodeBitmap(dib.data(), 301, 203, 32, 100, file).ok());
    EXPECT_GT(file.size(), 301u * 203u * 2u);  // noise does not compress
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xD8);
    const testing::DecodedPicture decoded = testing::DecodePixels(file);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_GE(Psnr(noise, decoded), kMinimumPsnrAtQuality100);
}

// ---- Writing the file ----------------------------------------------------------------------

class WriteJpegFile : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("k3v_jpeg_test_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    static std::vector<uint8_t> ReadFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    size_t FilesInFolder() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {}));
    }

    fs::path folder_;
    TestPicture picture_ = MakePicture(45, 30, Content("gradient", 45, 30));
    std::vector<uint8_t> dib_ = picture_.Dib(32);
};

TEST_F(WriteJpegFile, WritesExactlyTheEncodedBytes) {
    const fs::path path = folder_ / "out.jpg";
    ASSERT_TRUE(testing::WriteBitmap(path.string(), dib_.data(), 45, 30, 32, 100).ok());
    std::vector<uint8_t> expected;
    ASSERT_TRUE(testing::EncodeBitmap(dib_.data(), 45, 30, 32, 100, expected).ok());
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(FilesInFolder(), 1u);  // no temporary file left behind
}

TEST_F(WriteJpegFile, ReplacesALongerFileCompletely) {
    const fs::path path = folder_ / "out.jpg";
    WriteBytes(path, std::vector<uint8_t>(1 << 20, 0x5A));
    ASSERT_TRUE(testing::WriteBitmap(path.string(), dib_.data(), 45, 30, 32, 100).ok());
    const std::vector<uint8_t> written = ReadFile(path);
    ASSERT_LT(written.size(), 1u << 20);
    EXPECT_EQ(written[written.size() - 2], 0xFF);
    EXPECT_EQ(written[written.size() - 1], 0xD9);
}

TEST_F(WriteJpegFile, MissingFolderIsReportedAndNothingIsWritten) {
    const fs::path path = folder_ / "missing" / "out.jpg";
    const Status status = testing::WriteBitmap(path.string(), dib_.data(), 45, 30, 32, 100);
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.message().find(path.string()), std::string::npos) << status.message();
    EXPECT_NE(status.message().find("does not exist"), std::string::npos) << status.message();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(FilesInFolder(), 0u);
}

TEST_F(WriteJpegFile, FailedWriteLeavesTheExistingFileUntouched) {
    const fs::path path = folder_ / "out.jpg";
    std::vector<uint8_t> old(3000);
    for (size_t i = 0; i < old.size(); ++i)
        old[i] = static_cast<uint8_t>(i * 7);
    WriteBytes(path, old);

    // Limit the size of files this process may write, so that writing the temporary file
    // fails half-way with EFBIG instead of a signal.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 500;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const Status status = testing::WriteBitmap(path.string(), dib_.data(), 45, 30, 32, 100);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);

    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.message().find(path.string()), std::string::npos) << status.message();
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(FilesInFolder(), 1u);  // the temporary file is gone
}

TEST_F(WriteJpegFile, RefusedPictureLeavesTheExistingFileUntouched) {
    const fs::path path = folder_ / "out.jpg";
    const std::vector<uint8_t> old = {1, 2, 3, 4, 5};
    WriteBytes(path, old);
    const Status status = testing::WriteBitmap(path.string(), dib_.data(), 70000, 30, 32, 100);
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.message().find("65535"), std::string::npos) << status.message();
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(WriteJpegFile, FolderInPlaceOfTheFileIsReported) {
    const fs::path path = folder_ / "taken.jpg";
    fs::create_directory(path);
    const Status status = testing::WriteBitmap(path.string(), dib_.data(), 45, 30, 32, 100);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(fs::is_directory(path));
}

}  // namespace
}  // namespace k3v::jpeg
