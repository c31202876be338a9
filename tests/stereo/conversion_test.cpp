#include "stereo/conversion.h"

#include <gtest/gtest.h>

#include <vector>

#include "stereo/filters.h"
#include "stereo/view_synthesis.h"
#include "tests/support/plane_builders.h"

namespace k3v {
namespace {

using testing::NoisePlane;
using testing::Pixels;
using testing::PlanesWith;

ConversionSettings EveryFilter() {
    ConversionSettings s;
    s.SharpenOn = 1;
    s.SharpenLevel = 5;
    s.SharpenBlend = 1;
    s.NoiseOn = 1;
    s.NoisePasses = 5;
    s.BrightnessOn = 1;
    s.Brightness = 150;
    s.ContrastOn = 1;
    s.Contrast = 200;
    s.DepthOn = 1;
    s.DepthValue = 20;
    return s;
}

TEST(ConvertPlanes, EveryRunStartsAgainFromTheDecodedPicture) {
    StereoPlanes planes = PlanesWith(NoisePlane(41, 17, 1));
    const ConversionSettings plain;
    ConvertPlanes(plain, planes);
    const std::vector<uint32_t> before = Pixels(planes.FirstView);
    ConvertPlanes(EveryFilter(), planes);
    EXPECT_NE(Pixels(planes.FirstView), before);
    ConvertPlanes(plain, planes);
    EXPECT_EQ(Pixels(planes.FirstView), before);
    EXPECT_EQ(Pixels(planes.DecodedImage1),
              Pixels(PlanesWith(NoisePlane(41, 17, 1)).DecodedImage1));
}

TEST(ConvertPlanes, FiltersRunInOrderOnBothPicturesInStandardMode) {
    PixelPlane second = NoisePlane(33, 12, 3);
    StereoPlanes planes = PlanesWith(NoisePlane(33, 12, 2), &second);
    ConversionSettings settings = EveryFilter();
    settings.TransformationMode = kStandardStereo;
    ConvertPlanes(settings, planes);

    // The same steps by hand: sharpen, five mean passes, brightness and contrast.
    std::vector<PixelPlane> expected;
    for (uint32_t seed : {2u, 3u}) {
        PixelPlane picture = NoisePlane(33, 12, seed);
        PixelPlane scratch = NoisePlane(33, 12, 0);
        SharpenPicture(33, 12, picture.data(), scratch.data(), 5, 1);
        for (int pass = 0; pass < 5; ++pass) {
            SmoothNoise(33, 12, picture.data());
        }
        AdjustBrightnessContrast(33 * 12, picture.data(), settings);
        expected.push_back(std::move(picture));
    }
    EXPECT_EQ(Pixels(planes.SourceImage1), Pixels(expected[0]));
    EXPECT_EQ(Pixels(planes.SourceImage2), Pixels(expected[1]));
}

// The batch tool leaves the working copies unfilled: every conversion must still give the views
// that filled copies give, with and without filters, from one picture or two.
TEST(ConvertPlanes, UnfilledWorkingCopiesGiveTheSameViews) {
    for (const int mode : {kK3vStereo, kStandardStereo}) {
        for (const bool filters : {false, true}) {
            ConversionSettings settings = filters ? EveryFilter() : ConversionSettings{};
            settings.TransformationMode = mode;
            settings.StereoLayout = kSideBySideHorizontal;
            StereoPlanes views[2];
            for (const WorkingCopy copy : {WorkingCopy::Filled, WorkingCopy::LeftToConversion}) {
                StereoPlanes& planes = views[copy == WorkingCopy::Filled ? 0 : 1];
                ASSERT_TRUE(InstallFirstPicture(planes, NoisePlane(29, 11, 4), copy).ok());
                ASSERT_TRUE(InstallSecondPicture(planes, NoisePlane(29, 11, 5), copy).ok());
                ConvertPlanes(settings, planes);
            }
            EXPECT_EQ(Pixels(views[1].FirstView), Pixels(views[0].FirstView)) << mode << filters;
            EXPECT_EQ(Pixels(views[1].SecondView), Pixels(views[0].SecondView)) << mode << filters;
        }
    }
}

TEST(ConvertPlanes, PlaceholderConvertsToABlackPicture) {
    StereoPlanes planes;
    ASSERT_TRUE(MakePlaceholderPlanes(planes).ok());
    ConversionSettings settings = EveryFilter();
    settings.Brightness = 127;
    settings.Contrast = 128;
    ConvertPlanes(settings, planes);
    const std::vector<uint32_t> pixels = Pixels(planes.FirstView);
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p == 0; }));
}

TEST(ConvertPlanes, TinyPicturesConvertWithEveryFilter) {
    for (auto [w, h] : {std::pair{1, 1}, {5, 2}, {2, 5}, {1, 70}, {70, 1}}) {
        for (int layout = 0; layout < 3; ++layout) {
            StereoPlanes planes = PlanesWith(NoisePlane(w, h, 8));
            ConversionSettings settings = EveryFilter();
            settings.StereoLayout = layout;
            settings.StereoEffect = -10;
            ConvertPlanes(settings, planes);
            EXPECT_EQ(planes.FirstView.row(h)[0], 0u) << w << "x" << h << " spare row written";
        }
    }
}

}  // namespace
}  // namespace k3v
