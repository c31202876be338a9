#include "output/output_picture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "output/output_target.h"
#include "output/stereo_image_writer.h"
#include "tests/support/plane_builders.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::NoisePlane;
using testing::PlanesWith;

// Planes whose views are told apart: FirstView pixel i is i, SecondView pixel i is 1000000 + i.
StereoPlanes NumberedViews(int32_t width, int32_t height) {
    StereoPlanes planes = PlanesWith(NoisePlane(width, height, 1));
    for (uint32_t i = 0; i < planes.PixelCount(); ++i) {
        planes.FirstView.data()[i] = i;
        planes.SecondView.data()[i] = 1000000 + i;
    }
    return planes;
}

std::vector<uint32_t> RowPixels(const OutputPicture& picture, int32_t y) {
    const OutputPicture::Row row = picture.row(y);
    std::vector<uint32_t> pixels(row.left.begin(), row.left.end());
    pixels.insert(pixels.end(), row.right.begin(), row.right.end());
    return pixels;
}

struct CutCase {
    int32_t width;
    int16_t effect;
    int32_t savedWidth;
    uint32_t firstColumn;
};

class StillPhotoCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(StillPhotoCut, DropsTheStripeWithoutValidRed) {
    const CutCase& c = GetParam();
    const StereoPlanes planes = NumberedViews(c.width, 4);
    ConversionSettings settings;
    settings.SourceKind = kStillPhoto;
    settings.StereoEffect = c.effect;
    const OutputPicture picture(settings, planes);
    EXPECT_EQ(picture.width(), c.savedWidth);
    EXPECT_EQ(picture.height(), 4);
    const std::vector<uint32_t> top = RowPixels(picture, 3);
    ASSERT_EQ(top.size(), size_t(c.savedWidth));
    EXPECT_EQ(top.front(), uint32_t(3 * c.width) + c.firstColumn);
    EXPECT_EQ(top.back(), uint32_t(3 * c.width) + c.firstColumn + uint32_t(c.savedWidth) - 1);
}

INSTANTIATE_TEST_SUITE_P(Effects, StillPhotoCut,
                         ::testing::Values(CutCase{1000, 3, 982, 0}, CutCase{1000, 0, 1000, 0},
                                           CutCase{1000, 10, 940, 0},
                                           CutCase{1000, -3, 982, 18},  // valid red on the right
                                           CutCase{50, -10, 50, 0},     // narrower than the stripe
                                           CutCase{60, 10, 60, 0}, CutCase{61, 10, 1, 0}));

TEST(OutputPicture, PanoramaAnaglyphIsTheWholeCompositeWhateverTheEffect) {
    const StereoPlanes planes = NumberedViews(30, 5);
    ConversionSettings settings;
    settings.StereoEffect = -7;
    const OutputPicture picture(settings, planes);
    EXPECT_EQ(picture.width(), 30);
    EXPECT_EQ(picture.height(), 5);
    std::vector<uint32_t> storage;
    EXPECT_EQ(picture.contiguous(storage).value(), planes.FirstView.data());
    EXPECT_TRUE(storage.empty());
}

TEST(OutputPicture, VerticalStacksTheSecondViewAboveTheFirst) {
    const StereoPlanes planes = NumberedViews(7, 3);
    ConversionSettings settings;
    settings.StereoLayout = kSideBySideVertical;
    settings.SourceKind = kStillPhoto;  // no cut outside the anaglyph
    const OutputPicture picture(settings, planes);
    EXPECT_EQ(picture.width(), 7);
    EXPECT_EQ(picture.height(), 6);
    EXPECT_EQ(RowPixels(picture, 0).front(), 0u);
    EXPECT_EQ(RowPixels(picture, 2).back(), 20u);
    EXPECT_EQ(RowPixels(picture, 3).front(), 1000000u);
    std::vector<uint32_t> storage;
    const uint32_t* all = picture.contiguous(storage).value();
    EXPECT_EQ(all[20], 20u);
    EXPECT_EQ(all[21], 1000000u);
    EXPECT_EQ(all[41], 1000020u);
}

TEST(OutputPicture, HorizontalPutsTheFirstViewOnTheLeftOfEachRow) {
    const StereoPlanes planes = NumberedViews(4, 2);
    ConversionSettings settings;
    settings.StereoLayout = kSideBySideHorizontal;
    const OutputPicture picture(settings, planes);
    EXPECT_EQ(picture.width(), 8);
    EXPECT_EQ(picture.height(), 2);
    EXPECT_EQ(RowPixels(picture, 1),
              (std::vector<uint32_t>{4, 5, 6, 7, 1000004, 1000005, 1000006, 1000007}));
    std::vector<uint32_t> storage;
    const uint32_t* all = picture.contiguous(storage).value();
    EXPECT_EQ(std::vector<uint32_t>(all, all + 16),
              (std::vector<uint32_t>{0, 1, 2, 3, 1000000, 1000001, 1000002, 1000003, 4, 5, 6, 7,
                                     1000004, 1000005, 1000006, 1000007}));
}

std::vector<uint32_t> ReadRow(const OutputPicture& picture, int32_t y) {
    std::vector<uint32_t> pixels(size_t(picture.width()));
    picture.readRow(y, pixels.data());
    return pixels;
}

// Halving averages byte by byte, rounding half up (1 and 2 give 2, 0xFF and 0 give 0x80), the
// fourth byte too; an odd length keeps its last pixel.
TEST(OutputPicture, AHalfSizeHorizontalPairHalvesEachRow) {
    StereoPlanes planes = PlanesWith(NoisePlane(3, 1, 1));
    const uint32_t first[3] = {0x01FF0001u, 0x02000002u, 0x12345678u};
    std::copy(first, first + 3, planes.FirstView.data());
    std::fill_n(planes.SecondView.data(), 3, 0x00000010u);
    ConversionSettings settings;
    settings.StereoLayout = kSideBySideHorizontal;
    settings.HalfSize = true;
    const OutputPicture picture(settings, planes);
    EXPECT_EQ(picture.width(), 4);
    EXPECT_EQ(ReadRow(picture, 0),
              (std::vector<uint32_t>{0x02800002u, 0x12345678u, 0x00000010u, 0x00000010u}));
}

// Rows pair from the picture's top (the last stored row): of three rows, the top two are
// averaged and the bottom one kept; the first view stays below the second.
TEST(OutputPicture, AHalfSizeVerticalPairHalvesEachColumnFromTheTop) {
    const StereoPlanes planes = NumberedViews(2, 3);  // stored rows 0 (bottom) to 2 (top)
    ConversionSettings settings;
    settings.StereoLayout = kSideBySideVertical;
    settings.HalfSize = true;
    const OutputPicture picture(settings, planes);
    EXPECT_EQ(picture.height(), 4);
    EXPECT_EQ(ReadRow(picture, 0), (std::vector<uint32_t>{0, 1}));  // the bottom row alone
    EXPECT_EQ(ReadRow(picture, 1),
              (std::vector<uint32_t>{3, 4}));  // (2 + 4 + 1) / 2, (3 + 5 + 1) / 2
    EXPECT_EQ(ReadRow(picture, 3), (std::vector<uint32_t>{1000003, 1000004}));
}

TEST(OutputPicture, EachEyeAloneIsItsWholeView) {
    const StereoPlanes planes = NumberedViews(2, 2);
    ConversionSettings settings;
    settings.StereoLayout = kSeparateFiles;
    settings.HalfSize = true;  // only pairs are halved
    const OutputPicture left(settings, planes, OutputPart::LeftEye);
    const OutputPicture right(settings, planes, OutputPart::RightEye);
    EXPECT_EQ(left.width(), 2);
    EXPECT_EQ(left.height(), 2);
    EXPECT_EQ(ReadRow(left, 1), (std::vector<uint32_t>{1000002, 1000003}));
    EXPECT_EQ(ReadRow(right, 1), (std::vector<uint32_t>{2, 3}));
}

// Views over 2^30 pixels across make a pair over 2^31: its size is told right, and both
// formats refuse it by that size. (Only the sizes are read before the refusal, so the views
// hold a single pixel.)
TEST(OutputPicture, APairOfViewsOverTwoToTheThirtyIsToldAndRefusedByItsSize) {
    StereoPlanes wide = PlanesWith(NoisePlane(1, 1, 1));
    wide.SourceWidth = (1 << 30) + 1;
    wide.SourceHeight = 3;
    StereoPlanes high = PlanesWith(NoisePlane(1, 1, 1));
    high.SourceWidth = 3;
    high.SourceHeight = (1 << 30) + 1;
    ConversionSettings horizontal;
    horizontal.StereoLayout = kSideBySideHorizontal;
    ConversionSettings vertical;
    vertical.StereoLayout = kSideBySideVertical;
    EXPECT_EQ(OutputPicture(horizontal, wide).width(), 2147483650);
    EXPECT_EQ(OutputPicture(vertical, high).height(), 2147483650);

    const testing::TempFolder folder;
    const Status bmp = WriteStereoImage(OutputTarget(folder.file("x.bmp"), horizontal, 100), wide);
    EXPECT_NE(bmp.message().find("2147483650 x 3 pixels is larger"), std::string::npos)
        << bmp.message();
    const Status jpg = WriteStereoImage(OutputTarget(folder.file("x.jpg"), vertical, 100), high);
    EXPECT_NE(jpg.message().find("3 x 2147483650 pixels; a JPEG"), std::string::npos)
        << jpg.message();
    EXPECT_TRUE(folder.entries().empty());
}

}  // namespace
}  // namespace k3v
