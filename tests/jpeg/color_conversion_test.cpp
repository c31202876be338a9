#include "output/jpeg/color_conversion.h"

#include "tests/jpeg/reference_encoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/jpeg/test_pictures.h"

namespace k3v::jpeg {
namespace {

using testing::MakePicture;
using testing::Rgb;
using testing::TestPicture;

// ---- Reading the bottom-up pixel array into padded strips ---------------------------------

struct StripCase {
    int width;
    int height;
    int bitsPerPixel;
};

class ReadStripTest : public ::testing::TestWithParam<StripCase> {};

TEST_P(ReadStripTest, DeliversRowsTopDownAndPadsWithBlack) {
    const StripCase c = GetParam();
    // Colours that survive 5-bit storage exactly: multiples of 8 plus their top 3 bits.
    auto expand = [](int v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); };
    const TestPicture picture = MakePicture(c.width, c.height, [&](int x, int y) {
        return Rgb{expand((x * 7 + y) & 31), expand((y * 3) & 31), expand((x + 2 * y + 1) & 31)};
    });
    const std::vector<uint8_t> dib = picture.Dib(c.bitsPerPixel, 0x5A);
    const DibPicture input{dib.data(), static_cast<size_t>(c.width), static_cast<size_t>(c.height),
                           c.bitsPerPixel};
    const size_t paddedWidth = (static_cast<size_t>(c.width) + 7) / 8 * 8;
    const size_t blockRows = (static_cast<size_t>(c.height) + 7) / 8;
    std::vector<uint8_t> strip(8 * 3 * paddedWidth, 0x77);
    for (size_t blockRow = 0; blockRow < blockRows; ++blockRow) {
        ReadStrip(input, blockRow, paddedWidth, strip.data());
        for (size_t r = 0; r < 8; ++r) {
            const int y = static_cast<int>(8 * blockRow + r);
            for (size_t x = 0; x < paddedWidth; ++x) {
                const uint8_t* p = strip.data() + 3 * (r * paddedWidth + x);
                Rgb expected{};
                if (y < c.height && static_cast<int>(x) < c.width) {
                    expected = picture.at(static_cast<int>(x), y);
                }
                ASSERT_EQ(p[0], expected.b) << "x=" << x << " y=" << y;
                ASSERT_EQ(p[1], expected.g) << "x=" << x << " y=" << y;
                ASSERT_EQ(p[2], expected.r) << "x=" << x << " y=" << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SizesAndDepths, ReadStripTest,
                         ::testing::Values(StripCase{1, 1, 32}, StripCase{1, 1, 24},
                                           StripCase{1, 1, 16}, StripCase{7, 9, 32},
                                           StripCase{7, 9, 24}, StripCase{7, 9, 16},
                                           StripCase{33, 17, 24}, StripCase{33, 17, 16},
                                           StripCase{16, 16, 32}, StripCase{3, 2, 24}));

TEST(ReadStrip, ExpandsFiveBitChannelsByReplicatingTheirTopBits) {
    // One 16-bit pixel 0RRRRRGGGGGBBBBB: red 31, green 16, blue 1.
    const unsigned word = 31u << 10 | 16u << 5 | 1u;
    const std::vector<uint8_t> dib = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                                      0, 0};
    const DibPicture input{dib.data(), 1, 1, 16};
    std::vector<uint8_t> strip(8 * 3 * 8);
    ReadStrip(input, 0, 8, strip.data());
    EXPECT_EQ(strip[2], 255);  // 11111 -> 11111111
    EXPECT_EQ(strip[1], 132);  // 10000 -> 10000100
    EXPECT_EQ(strip[0], 8);    // 00001 -> 00001000
}

TEST(DibPicture, RowsArePaddedToWholeWords) {
    EXPECT_EQ((DibPicture{nullptr, 1, 1, 24}.Stride()), 4u);
    EXPECT_EQ((DibPicture{nullptr, 5, 1, 24}.Stride()), 16u);
    EXPECT_EQ((DibPicture{nullptr, 3, 1, 16}.Stride()), 8u);
    EXPECT_EQ((DibPicture{nullptr, 3, 1, 32}.Stride()), 12u);
    EXPECT_EQ((DibPicture{nullptr, 65535, 1, 32}.Stride()), 262140u);
}

// ---- Colour conversion --------------------------------------------------------------------

// The sum formed in extended precision in the stated order, then stored in single precision.
float ReferenceComponent(int component, uint8_t r, uint8_t g, uint8_t b) {
    const float k[3][3] = {
        {0.299f, 0.587f, 0.114f}, {-0.16874f, -0.33126f, 0.5f}, {0.5f, -0.41869f, -0.08131f}};
    const long double offset = component == 0 ? -128.0L : 0.0L;
    const long double sum = static_cast<long double>(r) * k[component][0] +
                            static_cast<long double>(g) * k[component][1] +
                            static_cast<long double>(b) * k[component][2] + offset;
    return static_cast<float>(sum);
}

TEST(ConvertBlock, EqualsTheExtendedPrecisionSumForManyColours) {
    testing::Random rng(3);
    int checked = 0;
    for (int n = 0; n < 400; ++n) {
        std::vector<uint8_t> strip(8 * 3 * 16);
        for (auto& v : strip)
            v = static_cast<uint8_t>(rng());
        float y[64], cb[64], cr[64];
        ConvertBlock(strip.data(), 16, 1, y, cb, cr);
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 8; ++c) {
                const uint8_t* p = strip.data() + 3 * (r * 16 + 8 + c);
                const int i = 8 * r + c;
                ASSERT_EQ(y[i], ReferenceComponent(0, p[2], p[1], p[0]));
                ASSERT_EQ(cb[i], ReferenceComponent(1, p[2], p[1], p[0]));
                ASSERT_EQ(cr[i], ReferenceComponent(2, p[2], p[1], p[0]));
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 400 * 64);
}

struct ColourCase {
    Rgb colour;
    float y;
    float cb;
    float cr;
    float tolerance;
};

class KnownColours : public ::testing::TestWithParam<ColourCase> {};

TEST_P(KnownColours, GiveTheJfifValuesLevelShifted) {
    const ColourCase c = GetParam();
    std::vector<uint8_t> strip(8 * 3 * 8);
    for (size_t i = 0; i < 64; ++i) {
        strip[3 * i] = c.colour.b, strip[3 * i + 1] = c.colour.g, strip[3 * i + 2] = c.colour.r;
    }
    float y[64], cb[64], cr[64];
    ConvertBlock(strip.data(), 8, 0, y, cb, cr);
    EXPECT_NEAR(y[63], c.y, c.tolerance);
    EXPECT_NEAR(cb[63], c.cb, c.tolerance);
    EXPECT_NEAR(cr[63], c.cr, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, KnownColours,
    ::testing::Values(ColourCase{{0, 0, 0}, -128.0f, 0.0f, 0.0f, 0.0f},
                      ColourCase{{128, 128, 128}, 0.0f, 0.0f, 0.0f, 1e-4f},
                      ColourCase{{255, 255, 255}, 127.0f, 0.0f, 0.0f, 1e-4f},
                      ColourCase{{255, 0, 0}, 76.245f - 128, -43.0287f, 127.5f, 1e-3f},
                      ColourCase{{0, 0, 255}, 29.07f - 128, 127.5f, -20.734f, 1e-3f}));

}  // namespace
}  // namespace k3v::jpeg
