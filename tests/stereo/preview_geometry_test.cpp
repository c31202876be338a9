#include "stereo/preview_geometry.h"

#include <gtest/gtest.h>

namespace k3v {
namespace {

struct PlacementCase {
    const char* name;
    int32_t width, height, layout;
    int32_t displayedWidth, leftOffset;
    PreviewRect first, second;
};

class PreviewPlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PreviewPlacementTest, PlacesEachViewAsTheLayoutSays) {
    const PlacementCase& c = GetParam();
    const PreviewPlacement p = ComputePreviewPlacement(c.width, c.height, c.layout);
    EXPECT_EQ(p.displayedWidth, c.displayedWidth);
    EXPECT_EQ(p.leftOffset, c.leftOffset);
    EXPECT_EQ(p.firstView, c.first);
    EXPECT_EQ(p.showsSecondView, c.layout != 0);
    if (c.layout != 0) {
        EXPECT_EQ(p.secondView, c.second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PreviewPlacementTest,
    ::testing::Values(
        // 10:3 lands on 1000 in single precision.
        PlacementCase{"ten_to_three", 1000, 300, 0, 1000, 0, {0, 0, 1000, 300}, {}},
        PlacementCase{"wide_panorama", 4000, 1000, 0, 1000, 0, {0, 0, 1000, 300}, {}},
        PlacementCase{"two_to_one", 2000, 1000, 0, 600, 200, {200, 0, 600, 300}, {}},
        PlacementCase{"tall", 300, 600, 0, 150, 425, {425, 0, 150, 300}, {}},
        PlacementCase{
            "vertical_full", 4000, 1000, 1, 1000, 0, {250, 0, 500, 150}, {250, 150, 500, 150}},
        PlacementCase{
            "horizontal_600", 2000, 1000, 2, 600, 200, {-100, 0, 600, 300}, {500, 0, 600, 300}},
        PlacementCase{
            "horizontal_full", 4000, 1000, 2, 1000, 0, {-500, 0, 1000, 300}, {500, 0, 1000, 300}},
        // DW 151: (1000 - 151) / 2 = 424.5, 151 / 4 = 37.75 and 151 / 2 = 75.5 round to even.
        PlacementCase{
            "ties_to_even", 151, 300, 1, 151, 424, {462, 0, 76, 150}, {462, 150, 76, 150}},
        PlacementCase{"one_pixel", 1, 1, 0, 300, 350, {350, 0, 300, 300}, {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PreviewPlacement, SeparateFilesShowAsTheHorizontalPair) {
    const PreviewPlacement separate = ComputePreviewPlacement(2000, 1000, kSeparateFiles);
    const PreviewPlacement horizontal = ComputePreviewPlacement(2000, 1000, kSideBySideHorizontal);
    EXPECT_EQ(separate.firstView, horizontal.firstView);
    EXPECT_EQ(separate.secondView, horizontal.secondView);
    EXPECT_TRUE(separate.showsSecondView);
}

TEST(PreviewPlacement, AHalfSizePairTakesOnePicturesPlace) {
    const PreviewPlacement across =
        ComputePreviewPlacement(2000, 1000, kSideBySideHorizontal, true);
    EXPECT_EQ(across.firstView, (PreviewRect{200, 0, 300, 300}));
    EXPECT_EQ(across.secondView, (PreviewRect{500, 0, 300, 300}));
    const PreviewPlacement stacked = ComputePreviewPlacement(2000, 1000, kSideBySideVertical, true);
    EXPECT_EQ(stacked.firstView, (PreviewRect{200, 0, 600, 150}));
    EXPECT_EQ(stacked.secondView, (PreviewRect{200, 150, 600, 150}));
    // The anaglyph has no pair to halve.
    EXPECT_EQ(ComputePreviewPlacement(2000, 1000, kAnaglyph, true).firstView,
              ComputePreviewPlacement(2000, 1000, kAnaglyph).firstView);
    // Nor have separate files: each file is one whole view, and the preview shows them so.
    const PreviewPlacement separate = ComputePreviewPlacement(2000, 1000, kSeparateFiles, true);
    const PreviewPlacement pair = ComputePreviewPlacement(2000, 1000, kSideBySideHorizontal);
    EXPECT_EQ(separate.firstView, pair.firstView);
    EXPECT_EQ(separate.secondView, pair.secondView);
}

}  // namespace
}  // namespace k3v
