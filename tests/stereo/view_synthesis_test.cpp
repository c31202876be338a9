#include "stereo/view_synthesis.h"

#include <gtest/gtest.h>

#include "stereo/conversion.h"
#include "tests/support/plane_builders.h"

namespace k3v {
namespace {

using testing::Bgr;
using testing::BlueOf;
using testing::FilledPlane;
using testing::GreenOf;
using testing::NoisePlane;
using testing::PlanesWith;
using testing::RedOf;

ConversionSettings K3vWithDepth(int32_t depth, int32_t layout = kSideBySideHorizontal) {
    ConversionSettings settings;
    settings.DepthOn = 1;
    settings.DepthValue = depth;
    settings.StereoLayout = layout;
    return settings;
}

// Runs the synthesis after copying the loaded picture into the working plane.
void Synthesize(const ConversionSettings& settings, StereoPlanes& planes) {
    planes.SourceImage1.copyFrom(planes.DecodedImage1);
    planes.SourceImage2.copyFrom(planes.DecodedImage2);
    SynthesizeViews(settings, planes);
}

// How far the first view reaches to the right at an output pixel of red `red`: every source
// pixel carries its own index in blue and green, so the copied pixel tells where it came from.
int FirstViewShift(int32_t depth, uint32_t red) {
    constexpr int32_t kW = 300;
    PixelPlane picture = FilledPlane(kW, 3, 0);
    for (uint32_t i = 0; i < picture.pixelCount(); ++i) {
        picture.data()[i] = Bgr(i & 0xFF, i >> 8, red);
    }
    StereoPlanes planes = PlanesWith(std::move(picture));
    Synthesize(K3vWithDepth(depth), planes);
    const uint32_t at = kW + 100;
    const uint32_t copied = planes.FirstView.data()[at];
    return int(BlueOf(copied) | GreenOf(copied) << 8) - int(at);
}

// Likewise for the second view, which reaches to the left by the green value.
int SecondViewShift(int32_t depth, uint32_t green) {
    constexpr int32_t kW = 300;
    PixelPlane picture = FilledPlane(kW, 3, 0);
    for (uint32_t i = 0; i < picture.pixelCount(); ++i) {
        picture.data()[i] = Bgr(i & 0xFF, green, i >> 8);
    }
    StereoPlanes planes = PlanesWith(std::move(picture));
    Synthesize(K3vWithDepth(depth), planes);
    const uint32_t at = kW + 100;
    const uint32_t copied = planes.SecondView.data()[at];
    return int(at) - int(BlueOf(copied) | RedOf(copied) << 8);
}

struct ShiftCase {
    int32_t depth;
    uint32_t value;
    int shift;
};

class DisplacementByColour : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(DisplacementByColour, RoundsTheSinglePrecisionProductWithTiesToEven) {
    const ShiftCase& c = GetParam();
    EXPECT_EQ(FirstViewShift(c.depth, c.value), c.shift) << "red " << c.value;
    EXPECT_EQ(SecondViewShift(c.depth, c.value), c.shift) << "green " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    DepthList, DisplacementByColour,
    ::testing::Values(ShiftCase{20, 10, 0}, ShiftCase{20, 11, 1}, ShiftCase{20, 30, 2},
                      ShiftCase{20, 50, 2}, ShiftCase{20, 255, 13}, ShiftCase{25, 12, 0},
                      ShiftCase{25, 13, 1}, ShiftCase{25, 255, 10}, ShiftCase{30, 15, 0},
                      ShiftCase{30, 16, 1}, ShiftCase{30, 135, 4}, ShiftCase{30, 255, 8},
                      ShiftCase{50, 25, 0}, ShiftCase{50, 26, 1}, ShiftCase{50, 75, 2},
                      ShiftCase{50, 125, 2}, ShiftCase{50, 255, 5}, ShiftCase{90, 45, 0},
                      ShiftCase{90, 46, 1}, ShiftCase{90, 135, 2}, ShiftCase{90, 255, 3},
                      ShiftCase{20, 0, 0}));

TEST(SynthesizeViews, WithoutDepthBothViewsArePlainCopies) {
    StereoPlanes planes = PlanesWith(NoisePlane(37, 23, 1));
    ConversionSettings settings;
    settings.StereoLayout = kSideBySideVertical;
    Synthesize(settings, planes);
    const uint32_t* source = planes.DecodedImage1.data();
    EXPECT_TRUE(std::equal(source, source + planes.PixelCount(), planes.FirstView.data()));
    EXPECT_TRUE(std::equal(source, source + planes.PixelCount(), planes.SecondView.data()));
}

TEST(SynthesizeViews, ZeroEffectAnaglyphWithoutDepthIsThePicture) {
    StereoPlanes planes = PlanesWith(NoisePlane(64, 5, 2));
    ConversionSettings settings;
    settings.StereoEffect = 0;
    Synthesize(settings, planes);
    const uint32_t* source = planes.DecodedImage1.data();
    EXPECT_TRUE(std::equal(source, source + planes.PixelCount(), planes.FirstView.data()));
}

TEST(SynthesizeViews, BottomRowKeepsThePlainCopyAndRedZeroKeepsTheOwnPixel) {
    PixelPlane picture = NoisePlane(50, 4, 3);
    for (size_t i = 0; i < picture.pixelCount(); ++i) {
        picture.data()[i] |= 0x00FF0000u;  // full red: the first view reaches 13 pixels on
    }
    picture.data()[120] &= 0x0000FFFFu;  // no red here: the first view keeps its own pixel
    StereoPlanes planes = PlanesWith(std::move(picture));
    Synthesize(K3vWithDepth(20), planes);
    const uint32_t* source = planes.DecodedImage1.data();
    EXPECT_TRUE(std::equal(source, source + 50, planes.FirstView.data()));
    EXPECT_EQ(planes.FirstView.data()[120], source[120]);
    EXPECT_EQ(planes.FirstView.data()[60], source[73]);
}

TEST(SynthesizeViews, SourcesOutsideThePictureReadAsBlack) {
    // First view near the top-right end reaches past the last pixel.
    PixelPlane picture = FilledPlane(10, 4, Bgr(1, 255, 255));
    StereoPlanes planes = PlanesWith(std::move(picture));
    Synthesize(K3vWithDepth(20), planes);
    EXPECT_EQ(planes.FirstView.data()[26], Bgr(1, 255, 255));  // 26 + 13 = 39, the last pixel
    EXPECT_EQ(planes.FirstView.data()[27], 0u);
    EXPECT_EQ(planes.FirstView.data()[39], 0u);
    // A one-pixel-wide picture: the second view reaches before the first pixel.
    StereoPlanes narrow = PlanesWith(FilledPlane(1, 20, Bgr(1, 255, 255)));
    Synthesize(K3vWithDepth(20), narrow);
    EXPECT_EQ(narrow.SecondView.data()[12], 0u);
    EXPECT_EQ(narrow.SecondView.data()[13], Bgr(1, 255, 255));
}

TEST(SynthesizeViews, DepthValueZeroMeansNoDisplacement) {
    StereoPlanes planes = PlanesWith(NoisePlane(20, 6, 9));
    Synthesize(K3vWithDepth(0), planes);
    const uint32_t* source = planes.DecodedImage1.data();
    EXPECT_TRUE(std::equal(source, source + planes.PixelCount(), planes.FirstView.data()));
}

class AnaglyphShift : public ::testing::TestWithParam<int16_t> {};

TEST_P(AnaglyphShift, RedComesFromSixPixelsPerStepAway) {
    const int16_t effect = GetParam();
    constexpr int32_t kW = 80;
    constexpr int32_t kH = 3;
    PixelPlane picture = NoisePlane(kW, kH, 4);
    for (size_t i = 0; i < picture.pixelCount(); ++i) {
        picture.data()[i] |= 0xCC000000u;  // the fourth byte travels with red
    }
    StereoPlanes planes = PlanesWith(std::move(picture));
    ConversionSettings settings;
    settings.StereoEffect = effect;
    Synthesize(settings, planes);
    const ptrdiff_t n = kW * kH;
    const ptrdiff_t s = 6 * effect;
    const uint32_t* source = planes.DecodedImage1.data();
    for (ptrdiff_t k = 0; k < n; ++k) {
        const uint32_t got = planes.FirstView.data()[k];
        uint32_t expected = source[k];
        if (k >= 63) {
            const uint32_t red = k + s < n ? source[k + s] & 0xFFFF0000u : 0u;
            expected = (source[k] & 0x0000FFFFu) | red;
        }
        ASSERT_EQ(got, expected) << "pixel " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Effects, AnaglyphShift, ::testing::Values(-10, -1, 0, 3, 10));

TEST(SynthesizeViews, EffectTenBlanksRedOfTheLastSixtyPixels) {
    StereoPlanes planes = PlanesWith(FilledPlane(100, 2, 0xFFFFFFFFu));
    ConversionSettings settings;
    settings.StereoEffect = 10;
    Synthesize(settings, planes);
    EXPECT_EQ(planes.FirstView.data()[139], 0xFFFFFFFFu);
    for (int k = 140; k < 200; ++k) {
        ASSERT_EQ(planes.FirstView.data()[k], 0x0000FFFFu) << k;
    }
}

TEST(SynthesizeViews, StandardStereoTakesRedFromTheSecondPictureWithoutDisplacement) {
    PixelPlane second = FilledPlane(70, 3, Bgr(1, 2, 200));
    StereoPlanes planes = PlanesWith(FilledPlane(70, 3, Bgr(100, 110, 120)), &second);
    ConversionSettings settings = K3vWithDepth(20, kAnaglyph);
    settings.TransformationMode = kStandardStereo;
    settings.StereoEffect = 0;
    Synthesize(settings, planes);
    EXPECT_EQ(planes.FirstView.data()[100], Bgr(100, 110, 200));
    EXPECT_EQ(planes.FirstView.data()[10], Bgr(100, 110, 120));  // the first 63 stay
    settings.StereoLayout = kSideBySideHorizontal;
    Synthesize(settings, planes);
    EXPECT_EQ(planes.FirstView.data()[100], Bgr(100, 110, 120));
    EXPECT_EQ(planes.SecondView.data()[100], Bgr(1, 2, 200));
}

// Anaglyph methods on one pixel pair: the left eye's picture is the second one (standard
// mode, no effect), the right eye's the first. Expected bytes worked out by hand.
struct MethodCase {
    const char* name;
    AnaglyphKind method;
    GlassesKind glasses;
    uint32_t left;
    uint32_t right;
    uint32_t expected;
};

class AnaglyphMethods : public ::testing::TestWithParam<MethodCase> {};

TEST_P(AnaglyphMethods, ComposeThePixelPairAsPublished) {
    const MethodCase c = GetParam();
    PixelPlane left = FilledPlane(4, 2, c.left | 0xAB000000u);
    StereoPlanes planes = PlanesWith(FilledPlane(4, 2, c.right | 0xCD000000u), &left);
    ConversionSettings settings;
    settings.TransformationMode = kStandardStereo;
    settings.StereoEffect = 0;
    settings.AnaglyphMethod = c.method;
    settings.Glasses = c.glasses;
    Synthesize(settings, planes);
    for (size_t k = 0; k < 8; ++k) {
        ASSERT_EQ(planes.FirstView.data()[k], c.expected) << c.name << " pixel " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Published, AnaglyphMethods,
    ::testing::Values(
        // Red/cyan Dubois: white on the left saturates red (268.25), and green and blue fall
        // below zero (-37.24 and -28.825) and clamp.
        MethodCase{"DuboisClampsBothWays", AnaglyphKind::Dubois, GlassesKind::RedCyan,
                   Bgr(255, 255, 255), 0, Bgr(0, 0, 255)},
        // Pure blue on the right: blue 1234 * 255 saturates, green (2295 + 500) div 1000 = 2,
        // red -1.285 clamps.
        MethodCase{"DuboisRoundsToNearest", AnaglyphKind::Dubois, GlassesKind::RedCyan, 0,
                   Bgr(255, 0, 0), Bgr(255, 2, 0)},
        // Amber/blue, mid grey both: red (1156 * 100 - 156 * 100 + 500) / 1000 = 100,
        // green (950 + 51) / 10 = 100.1, blue (-189 + 1190) / 10 = 100.1.
        MethodCase{"DuboisAmberBlueKeepsGrey", AnaglyphKind::Dubois, GlassesKind::AmberBlue,
                   Bgr(100, 100, 100), Bgr(100, 100, 100), Bgr(100, 100, 100)},
        // Y(red 2) = (598 + 500) div 1000 = 1, into the left eye's red; the right eye keeps
        // its own green and blue.
        MethodCase{"HalfColourRedCyan", AnaglyphKind::HalfColour, GlassesKind::RedCyan,
                   Bgr(0, 0, 2), Bgr(7, 8, 9), Bgr(7, 8, 1)},
        // Green/magenta: the left eye sees green; Y(pure green) = (149 685 + 500) div 1000.
        MethodCase{"GreyGreenMagenta", AnaglyphKind::Grey, GlassesKind::GreenMagenta,
                   Bgr(0, 255, 0), Bgr(255, 0, 0), Bgr(29, 150, 29)},
        MethodCase{"ColourAmberBlue", AnaglyphKind::Colour, GlassesKind::AmberBlue, Bgr(1, 2, 3),
                   Bgr(4, 5, 6), Bgr(4, 2, 3)}),
    [](const auto& row) { return std::string(row.param.name); });

// Every method but the classic one composes every pixel from the left-eye pixel s further on,
// reading a zero pixel past either end: no first 63 pixels kept.
TEST(AnaglyphMethods, TheShiftedReadIsBlackPastEitherEnd) {
    PixelPlane left = FilledPlane(70, 1, Bgr(0, 200, 0));
    StereoPlanes planes = PlanesWith(FilledPlane(70, 1, Bgr(10, 20, 30)), &left);
    ConversionSettings settings;
    settings.TransformationMode = kStandardStereo;
    settings.Glasses = GlassesKind::GreenMagenta;  // any but red/cyan with colour
    for (const int16_t effect : {int16_t(10), int16_t(-10)}) {
        settings.StereoEffect = effect;
        Synthesize(settings, planes);
        for (int k = 0; k < 70; ++k) {
            const bool inside = k + 6 * effect >= 0 && k + 6 * effect < 70;
            // Green/magenta colour: green from the left eye, red and blue from the right.
            EXPECT_EQ(planes.FirstView.data()[k], Bgr(10, inside ? 200 : 0, 30))
                << effect << " " << k;
        }
    }
}

// Pixels that carry their own column in blue and their row in green.
PixelPlane IndexedPlane(int32_t w, int32_t h) {
    PixelPlane picture = FilledPlane(w, h, 0);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            picture.row(y)[x] = Bgr(uint32_t(x), uint32_t(y), 0x80) | 0x5A000000u;
        }
    }
    return picture;
}

TEST(SynthesizeViews, WrappedDepthMapDisplacesAlongEachRowAsALoop) {
    StereoPlanes planes = PlanesWith(IndexedPlane(5, 2));
    ASSERT_TRUE(InstallDepthMap(planes, FilledPlane(5, 2, Bgr(255, 255, 255))).ok());
    ConversionSettings settings = K3vWithDepth(20);
    settings.WrapAround = true;
    Synthesize(settings, planes);  // m = 255: 13 pixels, 3 around a row of 5
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            EXPECT_EQ(BlueOf(planes.FirstView.row(y)[x]), uint32_t((x + 13) % 5)) << x;
            EXPECT_EQ(BlueOf(planes.SecondView.row(y)[x]), uint32_t((x + 2) % 5)) << x;
            EXPECT_EQ(GreenOf(planes.SecondView.row(y)[x]), uint32_t(y)) << x;
        }
    }
    // Inverted, 255 becomes 0: no displacement at all.
    settings.InvertDepthMap = true;
    Synthesize(settings, planes);
    EXPECT_EQ(testing::Pixels(planes.FirstView), testing::Pixels(planes.SourceImage1));
}

TEST(SynthesizeViews, WrappedAnaglyphReadsTheLeftEyeAroundTheRowForEveryPixel) {
    StereoPlanes planes = PlanesWith(IndexedPlane(7, 3));
    ConversionSettings settings;
    settings.StereoEffect = -10;  // -60 columns: 3 to the right in a row of 7
    settings.WrapAround = true;
    Synthesize(settings, planes);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 7; ++x) {
            const uint32_t left = planes.SourceImage1.row(y)[(x + 3) % 7];
            const uint32_t right = planes.SourceImage1.row(y)[x];
            EXPECT_EQ(planes.FirstView.row(y)[x], (right & 0xFFFFu) | (left & 0xFFFF0000u)) << x;
        }
    }
}

// Every row turned t columns to the right.
PixelPlane Rotated(const PixelPlane& plane, int32_t t) {
    PixelPlane out = FilledPlane(plane.width(), plane.height(), 0);
    for (int32_t y = 0; y < plane.height(); ++y) {
        for (int32_t x = 0; x < plane.width(); ++x) {
            out.row(y)[(x + t) % plane.width()] = plane.row(y)[x];
        }
    }
    return out;
}

// A 360-degree panorama has no seam: turning the input turns every output view the same way.
TEST(SynthesizeViews, WrappedOutputTurnsWithTheInput) {
    constexpr int32_t kW = 23;
    constexpr int32_t kH = 4;
    for (int32_t layout = 0; layout <= 3; ++layout) {
        for (int32_t method = 0; method <= 3; ++method) {
            for (const int32_t depth : {0, 20, 90}) {
                for (const int16_t effect : {int16_t(-10), int16_t(0), int16_t(7)}) {
                    for (const int32_t t : {1, 17}) {
                        ConversionSettings s = K3vWithDepth(depth, layout);
                        s.DepthOn = depth != 0;
                        s.AnaglyphMethod = AnaglyphKind(method);
                        s.Glasses = GlassesKind((method + layout) % 3);
                        s.SwapEyes = t == 17;
                        s.StereoEffect = effect;
                        s.WrapAround = true;
                        s.TransformationMode = int32_t(depth == 0 && effect == 7);
                        const bool mapped = depth == 90;
                        PixelPlane map = NoisePlane(kW, kH, 5);
                        PixelPlane second = NoisePlane(kW, kH, 6);
                        PixelPlane secondTurned = Rotated(second, t);
                        StereoPlanes plain = PlanesWith(NoisePlane(kW, kH, 4), &second);
                        StereoPlanes turned =
                            PlanesWith(Rotated(NoisePlane(kW, kH, 4), t), &secondTurned);
                        if (mapped) {
                            ASSERT_TRUE(InstallDepthMap(plain, map).ok());
                            ASSERT_TRUE(InstallDepthMap(turned, Rotated(map, t)).ok());
                        }
                        ConvertPlanes(s, plain);
                        ConvertPlanes(s, turned);
                        const std::string where =
                            "layout " + std::to_string(layout) + " method " +
                            std::to_string(method) + " depth " + std::to_string(depth) +
                            " effect " + std::to_string(effect) + " t " + std::to_string(t);
                        EXPECT_EQ(testing::Pixels(turned.FirstView),
                                  testing::Pixels(Rotated(plain.FirstView, t)))
                            << where;
                        if (layout != kAnaglyph) {
                            EXPECT_EQ(testing::Pixels(turned.SecondView),
                                      testing::Pixels(Rotated(plain.SecondView, t)))
                                << where;
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace k3v
