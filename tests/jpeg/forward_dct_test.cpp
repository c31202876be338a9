#include "output/jpeg/forward_dct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>

#include "tests/jpeg/reference_transform.h"
#include "tests/jpeg/test_random.h"

namespace k3v::jpeg {
namespace {

using testing::ReferenceDct;

// The mathematical DCT-II times 8 s(u) s(v), which the scaled transform approximates.
double ScaledTrueDct(const float block[64], int u, int v) {
    auto s = [](int k) {
        return k == 0 ? 1.0 : std::numbers::sqrt2 * std::cos(k * std::numbers::pi / 16);
    };
    auto c = [](int k) { return k == 0 ? 1.0 / std::numbers::sqrt2 : 1.0; };
    double sum = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            sum += block[8 * y + x] * std::cos((2 * y + 1) * u * std::numbers::pi / 16) *
                   std::cos((2 * x + 1) * v * std::numbers::pi / 16);
        }
    }
    return 0.25 * c(u) * c(v) * sum * 8 * s(u) * s(v);
}

// Blocks like those of the encoder: level-shifted samples with single-precision fractions.
std::vector<std::array<float, 64>> SampleBlocks() {
    std::vector<std::array<float, 64>> blocks;
    testing::Random rng(7);
    std::uniform_real_distribution<float> any(-128.0f, 127.0f);
    for (int n = 0; n < 2000; ++n) {
        std::array<float, 64> b{};
        for (auto& v : b)
            v = any(rng);
        blocks.push_back(b);
    }
    std::array<float, 64> flat{};
    flat.fill(-128.0f);
    blocks.push_back(flat);
    std::array<float, 64> edge{};
    for (int i = 0; i < 64; ++i)
        edge[i] = (i % 8) < 3 ? 127.0f : -128.0f;
    blocks.push_back(edge);
    std::array<float, 64> fractions{};
    for (int i = 0; i < 64; ++i)
        fractions[i] = static_cast<float>(i * 0.299 - 9.587);
    blocks.push_back(fractions);
    return blocks;
}

TEST(ForwardDct, EqualsTheSlowReferenceBitForBit) {
    int differing = 0;
    for (const auto& input : SampleBlocks()) {
        std::array<float, 64> fast = input;
        std::array<float, 64> slow = input;
        ForwardDct(fast.data());
        ReferenceDct(slow.data());
        for (int i = 0; i < 64; ++i) {
            // Compare the bits, so that -0.0 and 0.0 count as different too.
            uint32_t a, b;
            std::memcpy(&a, &fast[i], 4);
            std::memcpy(&b, &slow[i], 4);
            differing += a != b;
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST(ForwardDct, ApproximatesTheScaledMathematicalDct) {
    for (const auto& input : SampleBlocks()) {
        std::array<float, 64> out = input;
        ForwardDct(out.data());
        for (int u = 0; u < 8; ++u) {
            for (int v = 0; v < 8; ++v) {
                ASSERT_NEAR(out[8 * u + v], ScaledTrueDct(input.data(), u, v), 0.02)
                    << "u=" << u << " v=" << v;
            }
        }
    }
}

TEST(ForwardDct, UniformBlackBlockHasOnlyADcValue) {
    float block[64];
    std::fill(block, block + 64, -128.0f);
    ForwardDct(block);
    EXPECT_EQ(block[0], -8192.0f);  // the sum of the 64 samples
    for (int i = 1; i < 64; ++i) {
        EXPECT_EQ(block[i], 0.0f) << i;
    }
}

TEST(ForwardDct, MultipliesInExtendedPrecisionNotInSinglePrecision) {
    // A column whose only odd-part input makes z3 = 0.707106781 * t: with the multiplier in
    // single precision some products round differently; search for one where they do and
    // check that the transform follows the extended-precision product.
    int checked = 0;
    for (int i = 1; i < 20000 && checked < 50; ++i) {
        const float t = static_cast<float>(i) * 0.37f;
        const float extended = static_cast<float>(0.707106781L * t);
        const float single = 0.707106781f * t;
        if (extended == single) {
            continue;
        }
        ++checked;
        // d1 = t/2, d6 = -t/2 give t6 = t, t1 = 0; every other input is zero. Then out[1] and
        // friends depend on z3 = c4 * t11 with t11 = t5 + t6 = t.
        float fast[64] = {};
        fast[8 * 1] = t / 2;
        fast[8 * 6] = -t / 2;
        float slow[64];
        std::memcpy(slow, fast, sizeof(fast));
        ForwardDct(fast);
        ReferenceDct(slow);
        for (int k = 0; k < 64; ++k) {
            ASSERT_EQ(fast[k], slow[k]) << "t=" << t << " k=" << k;
        }
    }
    EXPECT_GT(checked, 0);
}

// "Extended precision" here is the x87 format with a 64-bit significand, as long double is with
// GCC on x86-64; the references of these tests and the divisors use it. Elsewhere (MSVC, ARM)
// long double is another format and this test says so.
TEST(ExtendedPrecision, LongDoubleHasASixtyFourBitSignificand) {
    EXPECT_EQ(std::numeric_limits<long double>::digits, 64);
}

// The transform multiplies in double. That is exact for these four multipliers: for every
// float significand (all 2^23 of them; a power-of-two scale changes neither rounding, and the
// sign does not matter to round-to-nearest-even) the double product rounded to float equals
// the extended-precision product rounded to float, while a single-precision multiplier gives
// a different result for more than a tenth of them (a sixth to a half, measured).
TEST(ExtendedPrecision, DoubleProductsEqualExtendedOnesForEveryFloat) {
    for (const long double multiplier : {0.707106781L, 0.382683433L, 0.541196100L, 1.306562965L}) {
        const auto inDouble = static_cast<double>(multiplier);
        const auto inSingle = static_cast<float>(multiplier);
        size_t differentInDouble = 0;
        size_t differentInSingle = 0;
        for (uint32_t significand = 1u << 23; significand < (1u << 24); ++significand) {
            const float x = std::ldexp(static_cast<float>(significand), -24);
            const auto extended = static_cast<float>(multiplier * x);
            differentInDouble += static_cast<float>(inDouble * x) != extended;
            differentInSingle += inSingle * x != extended;
        }
        EXPECT_EQ(differentInDouble, 0u) << static_cast<double>(multiplier);
        EXPECT_GT(differentInSingle, (1u << 23) / 10) << static_cast<double>(multiplier);
    }
}

}  // namespace
}  // namespace k3v::jpeg
