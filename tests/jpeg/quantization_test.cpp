#include "output/jpeg/quantization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>

namespace k3v::jpeg {
namespace {

// ---- Quality mapping ---------------------------------------------------------------------

struct QualityCase {
    int32_t given;
    int expected;
};

class QualityMapping : public ::testing::TestWithParam<QualityCase> {};

TEST_P(QualityMapping, UsesFiftyToHundredAndOtherwiseSeventyFive) {
    EXPECT_EQ(EffectiveQuality(GetParam().given), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Qualities, QualityMapping,
                         ::testing::Values(QualityCase{0, 75}, QualityCase{30, 75},
                                           QualityCase{49, 75}, QualityCase{50, 50},
                                           QualityCase{51, 51}, QualityCase{99, 99},
                                           QualityCase{100, 100}, QualityCase{101, 75},
                                           QualityCase{-5, 75}, QualityCase{1000, 75}));

TEST(QualityMapping, OutOfRangeQualityGivesTheTablesOfSeventyFive) {
    const QuantTables reference = SetupQuantTables(75);
    for (int32_t quality : {0, 30, 49, 101}) {
        const QuantTables tables = SetupQuantTables(quality);
        EXPECT_EQ(tables.luma, reference.luma) << quality;
        EXPECT_EQ(tables.chroma, reference.chroma) << quality;
    }
}

// ---- Zig-zag order and base tables -------------------------------------------------------

TEST(ZigzagIndex, FirstAndLastRowsFollowFigureA6) {
    const std::array<uint8_t, 8> first = {0, 1, 5, 6, 14, 15, 27, 28};
    const std::array<uint8_t, 8> last = {35, 36, 48, 49, 57, 58, 62, 63};
    for (size_t x = 0; x < 8; ++x) {
        EXPECT_EQ(kZigzagIndex[x], first[x]) << x;
        EXPECT_EQ(kZigzagIndex[56 + x], last[x]) << x;
    }
}

TEST(ZigzagIndex, IsAPermutationWhoseStepsMoveToANeighbouringDiagonalCell) {
    std::array<int, 64> rowMajorOf{};
    std::set<int> seen;
    for (int i = 0; i < 64; ++i) {
        rowMajorOf[kZigzagIndex[i]] = i;
        seen.insert(kZigzagIndex[i]);
    }
    EXPECT_EQ(seen.size(), 64u);
    for (int z = 1; z < 64; ++z) {
        const int dy = std::abs(rowMajorOf[z] / 8 - rowMajorOf[z - 1] / 8);
        const int dx = std::abs(rowMajorOf[z] % 8 - rowMajorOf[z - 1] % 8);
        EXPECT_LE(dx, 1) << z;
        EXPECT_LE(dy, 1) << z;
    }
}

TEST(BaseTables, HoldTablesK1AndK2InZigzagOrder) {
    // Table K.1 row 0 is 16 11 10 16 24 40 51 61; row 7 ends with 103 99.
    EXPECT_EQ(kLumaBaseTable[kZigzagIndex[0]], 16);
    EXPECT_EQ(kLumaBaseTable[kZigzagIndex[2]], 10);
    EXPECT_EQ(kLumaBaseTable[kZigzagIndex[7]], 61);
    EXPECT_EQ(kLumaBaseTable[kZigzagIndex[8 * 4 + 5]], 109);
    EXPECT_EQ(kLumaBaseTable[63], 99);
    // Table K.2: 17 18 24 47 in row 0, 99 from row 4 on.
    EXPECT_EQ(kChromaBaseTable[0], 17);
    EXPECT_EQ(kChromaBaseTable[kZigzagIndex[3]], 47);
    EXPECT_EQ(kChromaBaseTable[kZigzagIndex[8 * 3 + 1]], 66);
    EXPECT_EQ(kChromaBaseTable[kZigzagIndex[8 * 4]], 99);
}

// ---- Scaled tables -----------------------------------------------------------------------

TEST(ScaledTables, QualityHundredGivesAllOnes) {
    const QuantTables tables = SetupQuantTables(100);
    for (size_t z = 0; z < 64; ++z) {
        EXPECT_EQ(tables.luma[z], 1) << z;
        EXPECT_EQ(tables.chroma[z], 1) << z;
    }
}

TEST(ScaledTables, QualitySeventyFiveFirstSixteenLumaValues) {
    const QuantTable luma = ScaleQuantTable(kLumaBaseTable, 75);
    const std::array<uint8_t, 16> expected = {8, 6, 6, 8, 6, 6, 8, 8, 7, 8, 10, 9, 8, 10, 12, 20};
    for (size_t z = 0; z < 16; ++z) {
        EXPECT_EQ(luma[z], expected[z]) << z;
    }
    // Chrominance: 17 -> (850 + 50) / 100 = 9, 18 -> 9.5 -> 10 (to even), 99 -> 50.
    const QuantTable chroma = ScaleQuantTable(kChromaBaseTable, 75);
    EXPECT_EQ(chroma[0], 9);
    EXPECT_EQ(chroma[1], 10);
    EXPECT_EQ(chroma[63], 50);
}

TEST(ScaledTables, QualityFiftyRoundsOddValuesUpAndKeepsEvenOnes) {
    const QuantTable luma = ScaleQuantTable(kLumaBaseTable, 50);
    const QuantTable chroma = ScaleQuantTable(kChromaBaseTable, 50);
    for (size_t z = 0; z < 64; ++z) {
        const int base = kLumaBaseTable[z];
        EXPECT_EQ(luma[z], base % 2 == 0 ? base : base + 1) << z;
        const int chromaBase = kChromaBaseTable[z];
        EXPECT_EQ(chroma[z], chromaBase % 2 == 0 ? chromaBase : chromaBase + 1) << z;
    }
    EXPECT_EQ(luma[1], 12);    // 11 + 0.5 -> 12
    EXPECT_EQ(chroma[0], 18);  // 17 + 0.5 -> 18
}

TEST(ScaledTables, ClampsToOneAndToTwoFiftyFive) {
    QuantTable huge{};
    huge.fill(255);
    // At quality 50 the value is 255.5, rounded to 256 and clamped.
    const QuantTable clamped = ScaleQuantTable(huge, 50);
    EXPECT_EQ(clamped[0], 255);
    QuantTable tiny{};
    tiny.fill(1);
    EXPECT_EQ(ScaleQuantTable(tiny, 99)[0], 1);   // (2 + 50) / 100 = 0.52 -> 1
    EXPECT_EQ(ScaleQuantTable(tiny, 100)[0], 1);  // 0.5 -> 0 -> clamped to 1
}

// ---- Divisors ----------------------------------------------------------------------------

TEST(AanScale, MatchesTheFormulaInSinglePrecision) {
    for (int k = 0; k < 8; ++k) {
        const double s = k == 0 ? 1.0 : std::numbers::sqrt2 * std::cos(k * std::numbers::pi / 16);
        EXPECT_EQ(kAanScale[k], static_cast<float>(1.0 / (2.0 * std::numbers::sqrt2 * s))) << k;
    }
}

TEST(Divisors, AreScaleProductsOverTheQuantValue) {
    const QuantTable luma = ScaleQuantTable(kLumaBaseTable, 75);
    const DivisorTable divisors = BuildDivisors(luma);
    for (size_t y = 0; y < 8; ++y) {
        for (size_t x = 0; x < 8; ++x) {
            const size_t z = kZigzagIndex[8 * y + x];
            const long double expected =
                static_cast<long double>(kAanScale[y]) * kAanScale[x] / luma[z];
            EXPECT_EQ(divisors[z], static_cast<float>(expected)) << y << "," << x;
        }
    }
    // DC at quality 75: a(0)^2 / 8 = 1/64 up to single-precision rounding.
    EXPECT_NEAR(divisors[0], 1.0 / 64, 1e-8);
}

TEST(Divisors, DoublePrecisionWouldGiveTheSameForEveryQuantValue) {
    // The divisors are formed in extended precision; for every value 1..255 and every scale
    // product, double precision rounds to the same float. A port to a platform whose long
    // double is not the x87 format can rely on that.
    for (int q = 1; q <= 255; ++q) {
        QuantTable table{};
        table.fill(static_cast<uint8_t>(q));
        const DivisorTable divisors = BuildDivisors(table);
        for (size_t y = 0; y < 8; ++y) {
            for (size_t x = 0; x < 8; ++x) {
                const double product = static_cast<double>(kAanScale[y]) * kAanScale[x];
                EXPECT_EQ(divisors[kZigzagIndex[8 * y + x]],
                          static_cast<float>(product / static_cast<float>(q)))
                    << q << " " << y << " " << x;
            }
        }
    }
}

// ---- Quantisation ------------------------------------------------------------------------

DivisorTable AllDivisors(float value) {
    DivisorTable divisors{};
    divisors.fill(value);
    return divisors;
}

struct RoundingCase {
    float value;
    float divisor;
    int16_t expected;
};

class QuantizeRounding : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(QuantizeRounding, RoundsToNearestWithTiesToEven) {
    const RoundingCase c = GetParam();
    float block[64] = {};
    block[8 * 3 + 2] = c.value;  // row 3, column 2: zig-zag position 18
    int16_t out[64];
    QuantizeBlock(block, AllDivisors(c.divisor), out);
    EXPECT_EQ(out[18], c.expected);
    EXPECT_EQ(out[0], 0);
}

// Products that land exactly halfway: 0.5 * odd integers, and 0.25 * 10 = 2.5.
INSTANTIATE_TEST_SUITE_P(
    Ties, QuantizeRounding,
    ::testing::Values(RoundingCase{1.0f, 0.5f, 0}, RoundingCase{3.0f, 0.5f, 2},
                      RoundingCase{5.0f, 0.5f, 2}, RoundingCase{7.0f, 0.5f, 4},
                      RoundingCase{-1.0f, 0.5f, 0}, RoundingCase{-3.0f, 0.5f, -2},
                      RoundingCase{-5.0f, 0.5f, -2}, RoundingCase{10.0f, 0.25f, 2},
                      RoundingCase{2047.0f, 0.5f, 1024}, RoundingCase{2045.0f, 0.5f, 1022},
                      // Just off a tie, the exact product decides.
                      RoundingCase{std::nextafter(5.0f, 6.0f), 0.5f, 3},
                      RoundingCase{std::nextafter(5.0f, 4.0f), 0.5f, 2},
                      RoundingCase{-1024.0f, 1.0f, -1024}, RoundingCase{0.49f, 1.0f, 0}));

TEST(Quantize, TakesDivisorsInBlockOrderAndStoresInZigzagOrder) {
    float block[64];
    DivisorTable natural{};
    for (int i = 0; i < 64; ++i) {
        block[i] = 2.0f;
        natural[i] = static_cast<float>(i);  // divisor of row-major index i
    }
    int16_t out[64];
    QuantizeBlock(block, natural, out);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(out[kZigzagIndex[i]], 2 * i) << i;
    }
}

TEST(Quantize, NaturalOrderDivisorsFollowTheZigzagTable) {
    const DivisorTable zigzag = BuildDivisors(ScaleQuantTable(kLumaBaseTable, 60));
    const DivisorTable natural = InNaturalOrder(zigzag);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(natural[i], zigzag[kZigzagIndex[i]]) << i;
    }
    EXPECT_EQ(natural[8], zigzag[2]);  // row 1, column 0 is zig-zag position 2
}

TEST(Quantize, UsesTheProductOfBothSinglePrecisionFactorsExactly) {
    // 0.1f * 25.0f is 2.5000000372...: exactly computed it rounds up to 3, while a product
    // rounded to float first (2.5) would round to 2.
    float block[64] = {};
    block[0] = 25.0f;
    int16_t out[64];
    QuantizeBlock(block, AllDivisors(0.1f), out);
    EXPECT_EQ(out[0], 3);
}

}  // namespace
}  // namespace k3v::jpeg
