#include "output/jpeg/forward_dct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

#include "tests/jpeg/test_random.h"

namespace k3v::jpeg {
namespace {

// ---- Slow reference: the stated operation order, written out one rounding at a time -------
//
// Every value is formed in long double and rounded to float by R() as soon as it exists;
// products use the multipliers as long double literals. A sum of two floats formed in long
// double and rounded once equals the single-precision sum, so this needs no float arithmetic.

float R(long double v) {
    return static_cast<float>(v);
}

void ReferencePass(float d[8]) {
    const long double c4 = 0.707106781L, c6 = 0.382683433L, c2m6 = 0.541196100L,
                      c2p6 = 1.306562965L;
    using L = long double;
    const float t0 = R(L(d[0]) + d[7]), t7 = R(L(d[0]) - d[7]);
    const float t1 = R(L(d[1]) + d[6]), t6 = R(L(d[1]) - d[6]);
    const float t2 = R(L(d[2]) + d[5]), t5 = R(L(d[2]) - d[5]);
    const float t3 = R(L(d[3]) + d[4]), t4 = R(L(d[3]) - d[4]);
    float out[8];
    // even part
    const float t10 = R(L(t0) + t3), t13 = R(L(t0) - t3);
    const float t11 = R(L(t1) + t2), t12 = R(L(t1) - t2);
    out[0] = R(L(t10) + t11);
    out[4] = R(L(t10) - t11);
    const float z1 = R(L(R(L(t12) + t13)) * c4);
    out[2] = R(L(t13) + z1);
    out[6] = R(L(t13) - z1);
    // odd part
    const float u10 = R(L(t4) + t5), u11 = R(L(t5) + t6), u12 = R(L(t6) + t7);
    const float z5 = R(L(R(L(u10) - u12)) * c6);
    const float z2 = R(L(R(c2m6 * u10)) + z5);
    const float z4 = R(L(R(c2p6 * u12)) + z5);
    const float z3 = R(L(u11) * c4);
    const float z11 = R(L(t7) + z3), z13 = R(L(t7) - z3);
    out[5] = R(L(z13) + z2);
    out[3] = R(L(z13) - z2);
    out[1] = R(L(z11) + z4);
    out[7] = R(L(z11) - z4);
    std::memcpy(d, out, sizeof(out));
}

void ReferenceDct(float block[64]) {
    for (int x = 0; x < 8; ++x) {  // columns first
        float column[8];
        for (int y = 0; y < 8; ++y)
            column[y] = block[8 * y + x];
        ReferencePass(column);
        for (int y = 0; y < 8; ++y)
            block[8 * y + x] = column[y];
    }
    for (int y = 0; y < 8; ++y) {
        ReferencePass(block + 8 * y);
    }
}

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

}  // namespace
}  // namespace k3v::jpeg
