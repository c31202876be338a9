#include "stereo/stereo_planes.h"

#include <gtest/gtest.h>

#include "tests/support/plane_builders.h"

namespace k3v {
namespace {

using testing::FilledPlane;
using testing::NoisePlane;

bool AllZero(const PixelPlane& plane) {
    return std::all_of(plane.data(), plane.data() + plane.storedCount(),
                       [](uint32_t p) { return p == 0; });
}

TEST(StereoPlanes, PlaceholderIsABlack1000By250Picture) {
    StereoPlanes planes;
    ASSERT_TRUE(MakePlaceholderPlanes(planes).ok());
    EXPECT_EQ(planes.SourceWidth, 1000);
    EXPECT_EQ(planes.SourceHeight, 250);
    EXPECT_EQ(planes.PixelCount(), 250000u);
    for (const PixelPlane* plane :
         {&planes.SourceImage1, &planes.SourceImage2, &planes.FirstView, &planes.SecondView,
          &planes.DecodedImage1, &planes.DecodedImage2}) {
        EXPECT_EQ(plane->storedCount(), 1000u * 251u);
        EXPECT_TRUE(AllZero(*plane));
    }
}

TEST(StereoPlanes, FirstPictureResizesEveryPlaneAndDropsTheSecond) {
    StereoPlanes planes;
    ASSERT_TRUE(MakePlaceholderPlanes(planes).ok());
    ASSERT_TRUE(InstallSecondPicture(planes, FilledPlane(1000, 250, 7)).ok());
    ASSERT_TRUE(InstallFirstPicture(planes, FilledPlane(37, 23, 9)).ok());
    EXPECT_EQ(planes.SourceWidth, 37);
    EXPECT_EQ(planes.SourceHeight, 23);
    EXPECT_EQ(planes.DecodedImage1.data()[0], 9u);
    EXPECT_EQ(planes.SourceImage1.data()[37 * 23 - 1], 9u);
    EXPECT_EQ(planes.SourceImage1.row(23)[0], 0u);  // the spare row
    EXPECT_TRUE(AllZero(planes.DecodedImage2));
    EXPECT_TRUE(AllZero(planes.SourceImage2));
    EXPECT_EQ(planes.FirstView.storedCount(), 37u * 24u);
}

TEST(StereoPlanes, SecondPictureOfTheSameSizeReplacesTheOldOne) {
    StereoPlanes planes;
    ASSERT_TRUE(InstallFirstPicture(planes, FilledPlane(5, 2, 1)).ok());
    ASSERT_TRUE(InstallSecondPicture(planes, FilledPlane(5, 2, 2)).ok());
    ASSERT_TRUE(InstallSecondPicture(planes, FilledPlane(5, 2, 3)).ok());
    EXPECT_EQ(planes.DecodedImage2.data()[9], 3u);
    EXPECT_EQ(planes.SourceImage2.data()[0], 3u);
}

TEST(StereoPlanes, SecondPictureOfAnotherSizeIsRefusedWithBothSizes) {
    StereoPlanes planes;
    ASSERT_TRUE(MakePlaceholderPlanes(planes).ok());
    ASSERT_TRUE(InstallSecondPicture(planes, FilledPlane(1000, 250, 4)).ok());
    const Status refused = InstallSecondPicture(planes, FilledPlane(40, 30, 5));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.message(),
              "You need to use both panoramas with the same size!\r\n"
              "Panorama.1: 1000x250\r\n"
              "Panorama.2: 40x30");
    EXPECT_EQ(planes.DecodedImage2.data()[0], 4u);
    EXPECT_EQ(planes.SourceWidth, 1000);
}

TEST(StereoPlanes, SecondPictureWithoutAFirstIsRefused) {
    StereoPlanes planes;  // no size at all
    const Status refused = InstallSecondPicture(planes, FilledPlane(4, 4, 1));
    EXPECT_EQ(refused.message(), "You must load first panorama, then load second panorama");
}

TEST(StereoPlanes, AnEmptyPictureIsRefusedAndNothingChanges) {
    StereoPlanes planes;
    ASSERT_TRUE(InstallFirstPicture(planes, NoisePlane(6, 6, 1)).ok());
    EXPECT_FALSE(InstallFirstPicture(planes, PixelPlane()).ok());
    EXPECT_EQ(planes.SourceWidth, 6);
    PixelPlane bad;
    EXPECT_FALSE(bad.allocate(0, 10).ok());
    EXPECT_FALSE(bad.allocate(10, -1).ok());
    EXPECT_TRUE(bad.empty());
}

TEST(StereoPlanes, DepthMapIsTheLumaOfAMapOfThePictureSizeAndLeavesWithThatSize) {
    StereoPlanes planes;
    ASSERT_TRUE(InstallFirstPicture(planes, NoisePlane(4, 3, 1)).ok());
    ASSERT_TRUE(InstallDepthMap(planes, FilledPlane(4, 3, testing::Bgr(10, 20, 30))).ok());
    // (299 * 30 + 587 * 20 + 114 * 10 + 500) div 1000
    EXPECT_EQ(planes.DepthMap, std::vector<uint8_t>(12, 22));
    const Status refused = InstallDepthMap(planes, FilledPlane(5, 3, 0));
    EXPECT_EQ(refused.message(), "the depth map has 5 x 3 pixels, the picture 4 x 3");
    EXPECT_EQ(planes.DepthMap, std::vector<uint8_t>(12, 22));
    ASSERT_TRUE(InstallFirstPicture(planes, NoisePlane(4, 3, 2)).ok());
    EXPECT_EQ(planes.DepthMap.size(), 12u);
    ASSERT_TRUE(InstallFirstPicture(planes, NoisePlane(3, 4, 2)).ok());
    EXPECT_TRUE(planes.DepthMap.empty());
}

TEST(PixelPlane, CropToKeepsTheRectangleInPlaceAndZeroesTheSpareRow) {
    PixelPlane plane = NoisePlane(37, 23, 5);
    const PixelPlane original = NoisePlane(37, 23, 5);
    const uint32_t* memory = plane.data();
    plane.cropTo(3, 4, 30, 17);
    ASSERT_EQ(plane.width(), 30);
    ASSERT_EQ(plane.height(), 17);
    EXPECT_EQ(plane.data(), memory);
    for (int32_t y = 0; y < 17; ++y) {
        for (int32_t x = 0; x < 30; ++x) {
            ASSERT_EQ(plane.row(y)[x], original.row(y + 4)[x + 3]) << x << ", " << y;
        }
    }
    for (int32_t x = 0; x < 30; ++x) {
        EXPECT_EQ(plane.row(17)[x], 0u);
    }
}

}  // namespace
}  // namespace k3v
