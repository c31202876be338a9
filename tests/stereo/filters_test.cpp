#include "stereo/filters.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/plane_builders.h"

namespace k3v {
namespace {

using testing::Bgr;
using testing::FilledPlane;
using testing::Grey;
using testing::NoisePlane;

constexpr int32_t kW = 9;
constexpr int32_t kH = 7;

size_t At(int32_t x, int32_t y) {
    return size_t(y) * kW + size_t(x);
}

void Sharpen(PixelPlane& picture, int32_t level, int32_t blend) {
    PixelPlane scratch;
    ASSERT_TRUE(scratch.allocate(picture.width(), picture.height()).ok());
    SharpenPicture(picture.width(), picture.height(), picture.data(), scratch.data(), level, blend);
}

class SharpenLevels : public ::testing::TestWithParam<int> {};

TEST_P(SharpenLevels, FlatAreaKeepsItsValueAtEveryBlend) {
    for (int blend = 0; blend <= 3; ++blend) {
        PixelPlane picture = FilledPlane(kW, kH, Bgr(10, 128, 250));
        Sharpen(picture, GetParam(), blend);
        for (size_t i = 0; i < picture.pixelCount(); ++i) {
            ASSERT_EQ(picture.data()[i], Bgr(10, 128, 250)) << "blend " << blend << " at " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllLevels, SharpenLevels, ::testing::Values(1, 2, 3, 4, 5, 9));

TEST(SharpenPicture, LevelZeroChangesNothingWhateverTheBlend) {
    for (int blend = 0; blend <= 3; ++blend) {
        PixelPlane picture = NoisePlane(kW, kH, 3);
        const PixelPlane original = NoisePlane(kW, kH, 3);
        Sharpen(picture, 0, blend);
        EXPECT_EQ(std::vector<uint32_t>(picture.data(), picture.data() + picture.storedCount()),
                  std::vector<uint32_t>(original.data(), original.data() + original.storedCount()));
    }
}

TEST(SharpenPicture, BrightDotOnBlackStaysAndNeighboursClampToZero) {
    for (int blend : {0, 3}) {
        PixelPlane picture = FilledPlane(kW, kH, 0);
        picture.data()[At(4, 3)] = Grey(255);
        Sharpen(picture, 1, blend);
        EXPECT_EQ(picture.data()[At(4, 3)], Grey(255)) << "blend " << blend;
        for (size_t n : {At(3, 3), At(5, 3), At(4, 2), At(4, 4)}) {
            EXPECT_EQ(picture.data()[n], 0u) << "blend " << blend;
        }
    }
}

TEST(SharpenPicture, DarkDotAtLevelFiveClampsToZeroAndBlendsTruncate) {
    // 21 * 80 - 5 * 400 = -320 -> 0; then blends with o = 80: 0, 40, 60, 70.
    const uint32_t expected[] = {0, 40, 60, 70};
    for (int blend = 0; blend <= 3; ++blend) {
        PixelPlane picture = FilledPlane(kW, kH, Grey(100));
        picture.data()[At(4, 3)] = Grey(80);
        Sharpen(picture, 5, blend);
        EXPECT_EQ(picture.data()[At(4, 3)], Grey(expected[blend])) << "blend " << blend;
    }
}

TEST(SharpenPicture, NeighboursFollowTheFlatIndexAcrossRowEnds) {
    // The first pixel of row 2 has the last pixel of row 1 as its left neighbour.
    PixelPlane picture = FilledPlane(kW, kH, Grey(100));
    picture.data()[At(kW - 1, 2)] = Grey(200);
    Sharpen(picture, 1, 0);
    // 5 * 100 - (100 + 100 + 200 + 100) = 0
    EXPECT_EQ(picture.data()[At(0, 3)], Grey(0));
}

TEST(SharpenPicture, BottomAndTopRowsAreNeverChangedAndChannelsStaySeparate) {
    PixelPlane picture = NoisePlane(kW, kH, 11);
    const PixelPlane original = NoisePlane(kW, kH, 11);
    Sharpen(picture, 3, 0);
    for (int32_t x = 0; x < kW; ++x) {
        EXPECT_EQ(picture.data()[At(x, 0)], original.data()[At(x, 0)]);
        EXPECT_EQ(picture.data()[At(x, kH - 1)], original.data()[At(x, kH - 1)]);
    }
    // One channel only: a blue dot does not leak into green or red (level 2: c 9, n 2).
    PixelPlane blue = FilledPlane(kW, kH, Bgr(0, 30, 30));
    blue.data()[At(4, 3)] = Bgr(20, 30, 30);
    Sharpen(blue, 2, 0);
    EXPECT_EQ(blue.data()[At(4, 3)], Bgr(180, 30, 30));
    EXPECT_EQ(blue.data()[At(5, 3)], Bgr(0, 30, 30));
}

TEST(SharpenPicture, PicturesWithFewerThanThreeRowsAreUnchanged) {
    PixelPlane picture = NoisePlane(5, 2, 4);
    const PixelPlane original = NoisePlane(5, 2, 4);
    Sharpen(picture, 5, 0);
    EXPECT_TRUE(
        std::equal(picture.data(), picture.data() + picture.storedCount(), original.data()));
}

TEST(SmoothNoise, BrightDotSpreadsInScanOrder) {
    PixelPlane picture = FilledPlane(kW, kH, 0);
    picture.data()[At(4, 3)] = Grey(255);
    SmoothNoise(kW, kH, picture.data());
    // The pixels processed before the dot take part of its value; it then averages with
    // their new values; the pixel above sees the dot's new value only.
    EXPECT_EQ(picture.data()[At(4, 3)], Grey(45));
    EXPECT_EQ(picture.data()[At(3, 3)], Grey(40));
    EXPECT_EQ(picture.data()[At(4, 2)], Grey(35));
    EXPECT_EQ(picture.data()[At(4, 4)], Grey(8));
}

TEST(SmoothNoise, FlatAreaUnchangedExceptWhereTheSpareRowIsRead) {
    PixelPlane picture = FilledPlane(kW, kH, Grey(90));
    SmoothNoise(kW, kH, picture.data());
    for (int32_t y = 0; y < kH; ++y) {
        for (int32_t x = 0; x < kW; ++x) {
            const bool last = x == kW - 1 && y == kH - 2;
            ASSERT_EQ(picture.data()[At(x, y)], Grey(last ? 78 : 90)) << x << "," << y;
        }
    }
}

TEST(SmoothNoise, LastProcessedPixelReadsTheZeroSpareRow) {
    // Index N - W - 1 (last pixel of row H-2) has its upper right at index N: the spare row.
    PixelPlane picture = FilledPlane(kW, 3, Grey(80));
    SmoothNoise(kW, 3, picture.data());
    EXPECT_EQ(picture.data()[At(kW - 1, 1)], Grey(70));  // (7 * 80 + 0) / 8
}

TEST(SmoothNoise, PassesCompound) {
    PixelPlane once = NoisePlane(kW, kH, 5);
    PixelPlane twice = NoisePlane(kW, kH, 5);
    SmoothNoise(kW, kH, once.data());
    SmoothNoise(kW, kH, twice.data());
    SmoothNoise(kW, kH, twice.data());
    EXPECT_FALSE(std::equal(once.data(), once.data() + once.pixelCount(), twice.data()));
}

struct ToneCase {
    const char* name;
    int32_t brightnessOn, brightness, contrastOn, contrast;
    std::vector<std::pair<int, int>> inOut;
};

class BrightnessContrast : public ::testing::TestWithParam<ToneCase> {};

TEST_P(BrightnessContrast, MapsEveryByteAsTheSlidersSay) {
    const ToneCase& c = GetParam();
    ConversionSettings settings;
    settings.BrightnessOn = c.brightnessOn;
    settings.Brightness = c.brightness;
    settings.ContrastOn = c.contrastOn;
    settings.Contrast = c.contrast;
    for (const auto& [in, out] : c.inOut) {
        uint32_t pixel = Bgr(uint32_t(in), uint32_t(in), uint32_t(in));
        AdjustBrightnessContrast(1, &pixel, settings);
        EXPECT_EQ(pixel, Grey(uint32_t(out))) << c.name << ": " << in;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sliders, BrightnessContrast,
    ::testing::Values(
        ToneCase{"both off", 0, 255, 0, 0, {{0, 0}, {77, 77}, {255, 255}}},
        ToneCase{"brightest", 1, 255, 0, 127, {{0, 128}, {126, 254}, {127, 255}, {200, 255}}},
        ToneCase{"darkest", 1, 1, 0, 127, {{0, 0}, {126, 0}, {127, 1}, {255, 129}}},
        ToneCase{"contrast zero", 0, 127, 1, 0, {{0, 128}, {255, 128}, {17, 128}}},
        ToneCase{"contrast start", 0, 127, 1, 127, {{0, 1}, {255, 254}, {128, 128}}},
        ToneCase{"contrast unity", 0, 127, 1, 128, {{0, 0}, {99, 99}, {255, 255}}},
        ToneCase{"contrast 64 rounds down", 0, 127, 1, 64, {{0, 64}, {127, 127}, {129, 128}}},
        ToneCase{"contrast 193 normal", 0, 127, 1, 193, {{100, 85}, {150, 161}}},
        ToneCase{"contrast 194 steep", 0, 127, 1, 194, {{100, 72}, {150, 172}}},
        ToneCase{"contrast max",
                 0,
                 127,
                 1,
                 255,
                 {{126, 0}, {127, 64}, {128, 128}, {129, 192}, {130, 255}}},
        ToneCase{"brightness then contrast", 1, 137, 1, 255, {{117, 64}, {118, 128}}}),
    [](const auto& row) {
        std::string name = row.param.name;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

TEST(AdjustBrightnessContrast, KeepsChannelsApartAndTheFourthByteZero) {
    ConversionSettings settings;
    settings.BrightnessOn = 1;
    settings.Brightness = 137;  // +10
    uint32_t pixel = 0xAB000000u | Bgr(1, 2, 3);
    AdjustBrightnessContrast(1, &pixel, settings);
    EXPECT_EQ(pixel, Bgr(11, 12, 13));
}

}  // namespace
}  // namespace k3v
