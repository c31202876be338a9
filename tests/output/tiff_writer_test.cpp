// TIFF files written through the one save route, read back by the program's own TIFF decoder
// and by libtiff, against the BMP of the same picture.

#include "output/tiff_writer.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <memory>

#include "input/tiff_file_decoder.h"
#include "output/stereo_image_writer.h"
#include "tests/support/plane_builders.h"
#include "tests/support/progress_recorder.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::NoisePlane;
using testing::PlanesWith;
using testing::ProgressRecorder;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

StereoPlanes NoiseViews(int32_t width, int32_t height) {
    StereoPlanes planes = PlanesWith(NoisePlane(width, height, 1));
    planes.FirstView = NoisePlane(width, height, 2);
    planes.SecondView = NoisePlane(width, height, 3);
    return planes;
}

// The pixels of a 32-bit BMP as a plane's rows would hold them, bottom row first, without the
// fourth byte.
std::vector<uint32_t> BmpPixels(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    std::vector<uint32_t> pixels((bytes.size() - 54) / 4);
    std::memcpy(pixels.data(), bytes.data() + 54, pixels.size() * 4);
    for (uint32_t& pixel : pixels) {
        pixel &= 0xFFFFFF;
    }
    return pixels;
}

std::vector<uint32_t> PlanePixels(const PixelPlane& plane) {
    std::vector<uint32_t> pixels(plane.data(), plane.data() + plane.pixelCount());
    for (uint32_t& pixel : pixels) {
        pixel &= 0xFFFFFF;
    }
    return pixels;
}

struct RoundTripCase {
    const char* name;
    TiffCompression compression;
    int32_t layout;
    uint16_t tag;  // TIFFTAG_COMPRESSION expected in the file
};

void PrintTo(const RoundTripCase& c, std::ostream* out) {
    *out << c.name;
}

class TiffRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// 150 x 290 views: every layout's picture has partial tiles at its right and bottom edges.
TEST_P(TiffRoundTrip, GivesTheBmpsPixelsInTiles) {
    const RoundTripCase& c = GetParam();
    const TempFolder folder;
    ConversionSettings settings;
    settings.StereoLayout = c.layout;
    const StereoPlanes planes = NoiseViews(150, 290);
    const OutputTarget tiff(folder.file("pair.TIF"), settings, 100, false, c.compression);
    const OutputTarget bmp(folder.file("pair.bmp"), settings);
    ASSERT_TRUE(WriteStereoImage(tiff, planes).ok());
    ASSERT_TRUE(WriteStereoImage(bmp, planes).ok());
    ASSERT_EQ(tiff.files().size(), bmp.files().size());
    for (size_t i = 0; i < tiff.files().size(); ++i) {
        const std::string& file = tiff.files()[i];
        PixelPlane decoded;
        const Status read = DecodeTiffFile(file, decoded);
        ASSERT_TRUE(read.ok()) << file << ": " << read.message();
        EXPECT_EQ(PlanePixels(decoded), BmpPixels(bmp.files()[i])) << file;

        const std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(file.c_str(), "r"), TIFFClose);
        ASSERT_TRUE(tif);
        uint16_t compression = 0, photometric = 0, samples = 0, bits = 0, planar = 0;
        uint32_t tileWidth = 0, tileHeight = 0;
        TIFFGetField(tif.get(), TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetField(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetField(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetField(tif.get(), TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tif.get(), TIFFTAG_TILELENGTH, &tileHeight);
        EXPECT_EQ(compression, c.tag);
        EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
        EXPECT_EQ(samples, 3);
        EXPECT_EQ(bits, 8);
        EXPECT_EQ(planar, PLANARCONFIG_CONTIG);
        EXPECT_EQ(tileWidth, kTiffTileSize);
        EXPECT_EQ(tileHeight, kTiffTileSize);
        EXPECT_FALSE(TIFFIsBigTIFF(tif.get()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachCompression, TiffRoundTrip,
    ::testing::Values(
        RoundTripCase{"None", TiffCompression::None, kSideBySideHorizontal, COMPRESSION_NONE},
        RoundTripCase{"LzwSeparateFiles", TiffCompression::Lzw, kSeparateFiles, COMPRESSION_LZW},
        RoundTripCase{"DeflateVertical", TiffCompression::Deflate, kSideBySideVertical,
                      COMPRESSION_ADOBE_DEFLATE}),
    [](const ::testing::TestParamInfo<RoundTripCase>& row) { return std::string(row.param.name); });

TEST(TiffFile, KeepsTheColourProfileWhenAsked) {
    const TempFolder folder;
    PhotoMetadata metadata;
    metadata.icc.assign(1000, 0);
    for (size_t i = 0; i < metadata.icc.size(); ++i) {
        metadata.icc[i] = uint8_t(i * 7);
    }
    const OutputTarget target(folder.file("p.tiff"), ConversionSettings{}, 100, true);
    ASSERT_TRUE(WriteStereoImage(target, NoiseViews(40, 30), metadata).ok());
    const std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(target.path().c_str(), "r"),
                                                     TIFFClose);
    ASSERT_TRUE(tif);
    uint32_t size = 0;
    const uint8_t* profile = nullptr;
    ASSERT_TRUE(TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &size, &profile));
    EXPECT_EQ(std::vector<uint8_t>(profile, profile + size), metadata.icc);
}

// 65536 pixels wide is 256 tiles across; each row of tiles then holds 256 x 192 kB of pixels,
// and 85 rows of them, 4 278 190 080 bytes, leave 16.7 MB below 4 GB.
TEST(TiffFile, BigTiffIsChosenWhenTheWorstCaseCouldPassFourGigabytes) {
    constexpr int64_t kWide = 65536;
    constexpr int64_t kBelow = 85 * 256;
    EXPECT_FALSE(NeedsBigTiff(kWide, kBelow, TiffCompression::None));
    EXPECT_FALSE(NeedsBigTiff(kWide, kBelow, TiffCompression::Deflate));
    EXPECT_FALSE(NeedsBigTiff(kWide / 2, kBelow * 2 - 256, TiffCompression::Deflate));
    // Incompressible pixels grow under LZW by up to half.
    EXPECT_TRUE(NeedsBigTiff(kWide, kBelow, TiffCompression::Lzw));
    EXPECT_FALSE(NeedsBigTiff(kWide, kBelow / 2, TiffCompression::Lzw));
    // One more row of pixels is a whole row of tiles more.
    EXPECT_TRUE(NeedsBigTiff(kWide, kBelow + 1, TiffCompression::None));
    // A large colour profile takes the rest.
    EXPECT_TRUE(NeedsBigTiff(kWide, kBelow, TiffCompression::None, 16 << 20));
    EXPECT_FALSE(NeedsBigTiff(1, 1, TiffCompression::Lzw));
}

TEST(TiffFile, ReportsEachRowOfTilesAndACancelLeavesTheOldFile) {
    const TempFolder folder;
    const StereoPlanes planes = NoiseViews(300, 600);  // three rows of tiles
    const OutputTarget target(folder.file("p.tif"), ConversionSettings{});
    const ProgressRecorder whole;
    ASSERT_TRUE(WriteStereoImage(target, planes, {}, whole.progress()).ok());
    size_t below = 0;
    for (const double fraction : whole.fractions()) {
        below += fraction > 0.0 && fraction < 0.95 ? 1 : 0;
    }
    EXPECT_GE(below, 2u);  // the first two rows of tiles, before the encoding's end

    WriteBytes(target.path(), {'o', 'l', 'd'});
    const ProgressRecorder cancelling(0.1);
    const Status cancelled = WriteStereoImage(target, planes, {}, cancelling.progress());
    EXPECT_TRUE(cancelled.cancelled()) << cancelled.message();
    EXPECT_EQ(ReadBytes(target.path()), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"p.tif"});
}

}  // namespace
}  // namespace k3v
