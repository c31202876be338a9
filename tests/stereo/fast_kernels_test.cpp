// The fast kernels against the plain scalar reference, bit for bit, over sweeps of sizes
// (around the vector width, the row splits and the thread splits) and settings.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/simd_level.h"
#include "stereo/conversion.h"
#include "stereo/filter_chain.h"
#include "stereo/filters.h"
#include "stereo/view_synthesis.h"
#include "tests/stereo/reference_engine.h"
#include "tests/support/plane_builders.h"

namespace k3v {
namespace {

using testing::NoisePlane;
using testing::Pixels;
using testing::PlanesWith;

// Random pictures with the structures that stress the kernels: noise, flat saturated areas
// (where the mean's chain never forgets its start), smooth gradients and a random fourth byte.
PixelPlane Picture(int32_t w, int32_t h, uint32_t seed) {
    PixelPlane plane = NoisePlane(w, h, seed);
    std::mt19937 random(seed);
    const int kind = int(seed % 4);
    for (size_t i = 0; i < plane.pixelCount(); ++i) {
        uint32_t& p = plane.data()[i];
        if (kind == 1 && (i / 97) % 3 != 0) {
            p = 0x00FFFFFF;
        } else if (kind == 2) {
            p = testing::Bgr(uint32_t(i % 256), uint32_t(i / 7 % 256), 255 - uint32_t(i % 256));
        }
        p |= uint32_t(random() & 0xFF) << 24;
    }
    return plane;
}

// Every test runs once for each instruction set the kernels can use.
class FastKernels : public ::testing::TestWithParam<SimdLevel> {
  protected:
    void SetUp() override {
        if (GetParam() > SupportedSimdLevel()) {
            GTEST_SKIP() << "the processor lacks this instruction set";
        }
        LimitSimdLevel(GetParam());
    }
    void TearDown() override { LimitSimdLevel(SimdLevel::Avx2); }
};

const std::vector<int32_t> kWidths = {1, 2, 3, 4, 5, 7, 8, 9, 11, 13, 64, 511, 512, 513, 1027};
const std::vector<int32_t> kHeights = {1, 2, 3, 4, 5, 9};

TEST_P(FastKernels, SharpenEqualsTheReference) {
    uint32_t seed = 1;
    for (int32_t w : kWidths) {
        for (int32_t h : kHeights) {
            for (int32_t level : {0, 1, 3, 5, 9}) {
                for (int32_t blend : {0, 1, 2, 3, 7}) {
                    PixelPlane fast = Picture(w, h, ++seed);
                    PixelPlane slow = Picture(w, h, seed);
                    PixelPlane scratch = NoisePlane(w, h, 0);
                    PixelPlane into = NoisePlane(w, h, 0);
                    SharpenInto(w, h, fast.data(), into.data(), level, blend);
                    SharpenPicture(w, h, fast.data(), scratch.data(), level, blend);
                    reference::SharpenPicture(w, h, slow.data(), scratch.data(), level, blend);
                    ASSERT_EQ(Pixels(fast), Pixels(slow))
                        << w << "x" << h << " level " << level << " blend " << blend;
                    ASSERT_EQ(Pixels(into), Pixels(slow))
                        << "into " << w << "x" << h << " level " << level << " blend " << blend;
                }
            }
        }
    }
}

TEST_P(FastKernels, NoiseMeanEqualsTheReferenceOverSeveralPasses) {
    uint32_t seed = 100;
    for (int32_t w : kWidths) {
        for (int32_t h : kHeights) {
            PixelPlane fast = Picture(w, h, ++seed);
            PixelPlane slow = Picture(w, h, seed);
            for (int pass = 1; pass <= 3; ++pass) {
                SmoothNoise(w, h, fast.data());
                reference::SmoothNoise(w, h, slow.data());
                ASSERT_EQ(Pixels(fast), Pixels(slow)) << w << "x" << h << " pass " << pass;
            }
        }
    }
}

// Wide rows whose saturated stretches keep the two runs of a segment apart.
TEST_P(FastKernels, NoiseMeanEqualsTheReferenceOnWideSaturatedRows) {
    for (uint32_t seed : {1u, 2u, 5u, 6u}) {
        PixelPlane fast = Picture(4099, 131, seed);
        PixelPlane slow = Picture(4099, 131, seed);
        SmoothNoise(4099, 131, fast.data());
        reference::SmoothNoise(4099, 131, slow.data());
        ASSERT_EQ(Pixels(fast), Pixels(slow)) << "seed " << seed;
    }
}

// The filters as one row pipeline (sharpen or copy, every pass count, tone) against the plain
// filters one after the other: narrow pictures put many rows in a band, wide ones one row, and
// the larger ones are shared between threads; rows under 256 pixels take the plain row code.
TEST_P(FastKernels, FilterChainEqualsTheFiltersOneAfterTheOther) {
    struct Size {
        int32_t w;
        int32_t h;
    };
    const std::vector<Size> sizes = {{1, 7},      {5, 3},      {255, 40},  {256, 41},
                                     {300, 2000}, {1500, 400}, {9000, 70}, {2048, 2}};
    uint32_t seed = 700;
    for (const Size size : sizes) {
        for (int32_t passes = 0; passes <= 5; ++passes) {
            ConversionSettings s;
            s.NoiseOn = passes > 0 ? 1 : 0;
            s.NoisePasses = std::max(1, passes);
            s.SharpenOn = int32_t(seed % 2);
            s.SharpenLevel = int32_t(seed % 6);
            s.SharpenBlend = int32_t(seed % 4);
            s.BrightnessOn = passes % 3 != 1 ? 1 : 0;
            s.Brightness = 100 + int32_t(seed % 60);
            s.ContrastOn = passes % 2;
            s.Contrast = passes == 3 ? 240 : 150;
            const PixelPlane decoded = Picture(size.w, size.h, ++seed);
            PixelPlane fast;
            ASSERT_TRUE(fast.allocate(size.w, size.h).ok());
            FilterPicture(s, size.w, size.h, decoded, fast);

            PixelPlane slow = Picture(size.w, size.h, seed);
            PixelPlane scratch;
            ASSERT_TRUE(scratch.allocate(size.w, size.h).ok());
            if (s.SharpenOn == 1) {
                reference::SharpenPicture(size.w, size.h, slow.data(), scratch.data(),
                                          s.SharpenLevel, s.SharpenBlend);
            }
            for (int32_t pass = 0; pass < passes; ++pass) {
                reference::SmoothNoise(size.w, size.h, slow.data());
            }
            reference::AdjustBrightnessContrast(slow.pixelCount(), slow.data(), s);
            ASSERT_EQ(Pixels(fast), Pixels(slow))
                << size.w << "x" << size.h << ", " << passes << " passes, seed " << seed;
            ASSERT_EQ(Pixels(decoded), Pixels(Picture(size.w, size.h, seed)));
        }
    }
}

TEST_P(FastKernels, BrightnessAndContrastEqualTheReference) {
    PixelPlane base = Picture(1031, 3, 7);
    for (int32_t on : {1, 2, 3}) {
        for (int32_t brightness : {0, 1, 60, 127, 128, 200, 255, 400}) {
            for (int32_t contrast : {-5, 0, 64, 127, 128, 193, 194, 210, 255, 256, 300}) {
                ConversionSettings s;
                s.BrightnessOn = on & 1;
                s.Brightness = brightness;
                s.ContrastOn = on >> 1;
                s.Contrast = contrast;
                PixelPlane fast = NoisePlane(1031, 3, 0);
                PixelPlane slow = NoisePlane(1031, 3, 0);
                fast.copyFrom(base);
                slow.copyFrom(base);
                AdjustBrightnessContrast(fast.pixelCount(), fast.data(), s);
                reference::AdjustBrightnessContrast(slow.pixelCount(), slow.data(), s);
                ASSERT_EQ(Pixels(fast), Pixels(slow))
                    << "on " << on << " brightness " << brightness << " contrast " << contrast;
            }
        }
    }
}

ConversionSettings RandomSettings(std::mt19937& random) {
    auto pick = [&](int lo, int hi) { return int32_t(lo + int(random() % unsigned(hi - lo + 1))); };
    ConversionSettings s;
    s.TransformationMode = pick(0, 1);
    s.StereoLayout = pick(0, 2);
    s.SourceKind = pick(0, 1);
    s.StereoEffect = int16_t(pick(-10, 10));
    s.DepthOn = pick(0, 1);
    s.DepthValue = pick(0, 3) == 0 ? pick(-3, 3) : 20 + 5 * pick(0, 14);
    s.SharpenOn = pick(0, 1);
    s.SharpenLevel = pick(0, 5);
    s.SharpenBlend = pick(0, 3);
    s.BrightnessOn = pick(0, 1);
    s.Brightness = pick(1, 255);
    s.ContrastOn = pick(0, 1);
    s.Contrast = pick(0, 255);
    s.NoiseOn = pick(0, 1);
    s.NoisePasses = pick(1, 3);
    return s;
}

TEST_P(FastKernels, WholeConversionEqualsTheReferenceWhereverItIsSeen) {
    std::mt19937 random(2024);
    for (int run = 0; run < 400; ++run) {
        const int32_t w = kWidths[random() % kWidths.size()];
        const int32_t h = kHeights[random() % kHeights.size()];
        const ConversionSettings settings = RandomSettings(random);
        PixelPlane secondFast = Picture(w, h, uint32_t(run) + 5000);
        PixelPlane secondSlow = Picture(w, h, uint32_t(run) + 5000);
        StereoPlanes fast = PlanesWith(Picture(w, h, uint32_t(run)), &secondFast);
        StereoPlanes slow = PlanesWith(Picture(w, h, uint32_t(run)), &secondSlow);
        ConvertPlanes(settings, fast);
        reference::ConvertPlanes(settings, slow);
        const std::string where =
            std::to_string(w) + "x" + std::to_string(h) + " run " + std::to_string(run);
        ASSERT_EQ(Pixels(fast.FirstView), Pixels(slow.FirstView)) << where;
        // SecondView is shown and saved only in the side-by-side layouts.
        if (settings.StereoLayout != kAnaglyph) {
            ASSERT_EQ(Pixels(fast.SecondView), Pixels(slow.SecondView)) << where;
        }
        ASSERT_EQ(Pixels(fast.DecodedImage1), Pixels(slow.DecodedImage1)) << where;
    }
}

TEST_P(FastKernels, LargePicturesSplitOverThreadsStillEqualTheReference) {
    std::mt19937 random(77);
    for (int run = 0; run < 3; ++run) {
        ConversionSettings settings = RandomSettings(random);
        settings.SharpenOn = settings.NoiseOn = settings.BrightnessOn = 1;
        settings.DepthOn = 1;
        PixelPlane secondFast = Picture(1301, 457, uint32_t(run) + 9);
        PixelPlane secondSlow = Picture(1301, 457, uint32_t(run) + 9);
        StereoPlanes fast = PlanesWith(Picture(1301, 457, uint32_t(run)), &secondFast);
        StereoPlanes slow = PlanesWith(Picture(1301, 457, uint32_t(run)), &secondSlow);
        ConvertPlanes(settings, fast);
        reference::ConvertPlanes(settings, slow);
        ASSERT_EQ(Pixels(fast.FirstView), Pixels(slow.FirstView)) << "run " << run;
        if (settings.StereoLayout != kAnaglyph) {
            ASSERT_EQ(Pixels(fast.SecondView), Pixels(slow.SecondView)) << "run " << run;
        }
    }
}

// K3V views after the filters on pictures the threads share, in every layout, with and without
// depth, at both extreme effects: a narrow picture's displacement and stereo shift reach
// across many rows, a wide one's stay within a row.
TEST_P(FastKernels, FilteredK3vViewsEqualTheReferenceInEveryLayout) {
    struct Size {
        int32_t w;
        int32_t h;
    };
    uint32_t seed = 900;
    for (const Size size : {Size{3, 70000}, Size{1301, 301}}) {
        for (int32_t layout = 0; layout <= 2; ++layout) {
            for (const int32_t depth : {0, 20, 90}) {
                for (const int16_t effect : {int16_t(-10), int16_t(10)}) {
                    ConversionSettings s;
                    s.StereoLayout = layout;
                    s.DepthOn = depth != 0 ? 1 : 0;
                    s.DepthValue = depth;
                    s.StereoEffect = effect;
                    s.SharpenOn = int32_t(seed % 2);
                    s.NoiseOn = 1;
                    s.BrightnessOn = int32_t(seed / 2 % 2);
                    StereoPlanes fast = PlanesWith(Picture(size.w, size.h, ++seed));
                    StereoPlanes slow = PlanesWith(Picture(size.w, size.h, seed));
                    ConvertPlanes(s, fast);
                    reference::ConvertPlanes(s, slow);
                    const std::string where =
                        std::to_string(size.w) + "x" + std::to_string(size.h) + " layout " +
                        std::to_string(layout) + " depth " + std::to_string(depth) + " effect " +
                        std::to_string(effect);
                    ASSERT_EQ(Pixels(fast.FirstView), Pixels(slow.FirstView)) << where;
                    if (layout != kAnaglyph) {
                        ASSERT_EQ(Pixels(fast.SecondView), Pixels(slow.SecondView)) << where;
                    }
                }
            }
        }
    }
}

// Every anaglyph method with every pair of glasses, the eyes swapped or not, with and without
// depth, at both extreme effects and none: on a picture shorter than the classic anaglyph's
// 63 kept pixels and on one the threads share.
TEST_P(FastKernels, StereoOutputEqualsTheReferenceForEveryMethodGlassesAndSwap) {
    uint32_t seed = 3000;
    for (const auto& [w, h] : {std::pair{5, 3}, std::pair{1301, 37}}) {
        for (int32_t method = 0; method <= 3; ++method) {
            for (int32_t glasses = 0; glasses <= 2; ++glasses) {
                for (int32_t swap = 0; swap <= 1; ++swap) {
                    for (const int32_t layout : {int32_t(kAnaglyph), int32_t(kSeparateFiles)}) {
                        ConversionSettings s;
                        s.AnaglyphMethod = AnaglyphKind(method);
                        s.Glasses = GlassesKind(glasses);
                        s.SwapEyes = swap == 1;
                        s.StereoLayout = layout;
                        s.TransformationMode = int32_t(seed % 3 == 0);
                        s.DepthOn = int32_t(seed % 2);
                        s.DepthValue = 20;
                        s.StereoEffect = int16_t(10 * (int(seed % 3) - 1));
                        PixelPlane secondFast = Picture(w, h, seed + 1);
                        PixelPlane secondSlow = Picture(w, h, seed + 1);
                        StereoPlanes fast = PlanesWith(Picture(w, h, seed), &secondFast);
                        StereoPlanes slow = PlanesWith(Picture(w, h, seed), &secondSlow);
                        ++seed;
                        ConvertPlanes(s, fast);
                        reference::ConvertPlanes(s, slow);
                        const std::string where =
                            std::to_string(w) + " method " + std::to_string(method) + " glasses " +
                            std::to_string(glasses) + " swap " + std::to_string(swap) + " layout " +
                            std::to_string(layout);
                        ASSERT_EQ(Pixels(fast.FirstView), Pixels(slow.FirstView)) << where;
                        if (layout != kAnaglyph) {
                            ASSERT_EQ(Pixels(fast.SecondView), Pixels(slow.SecondView)) << where;
                        }
                    }
                }
            }
        }
    }
}

// Depth maps (inverted or not) and 360-degree rows: pictures narrower than the displacement and
// the stereo shift, so that both wrap more than once, and one the threads share.
TEST_P(FastKernels, DepthMapsAndWrappedRowsEqualTheReference) {
    std::mt19937 random(4242);
    for (int run = 0; run < 240; ++run) {
        const auto [w, h] = run < 6 ? std::pair{1301, 37}
                                    : std::pair{1 + int(random() % 13), 1 + int(random() % 9)};
        ConversionSettings s = RandomSettings(random);
        s.StereoLayout = int32_t(random() % 4);
        s.AnaglyphMethod = AnaglyphKind(random() % 4);
        s.Glasses = GlassesKind(random() % 3);
        s.SwapEyes = random() % 2 == 1;
        s.WrapAround = random() % 2 == 1;
        s.InvertDepthMap = random() % 2 == 1;
        const bool mapped = random() % 3 != 0;
        PixelPlane secondFast = Picture(w, h, uint32_t(run) + 7000);
        PixelPlane secondSlow = Picture(w, h, uint32_t(run) + 7000);
        StereoPlanes fast = PlanesWith(Picture(w, h, uint32_t(run)), &secondFast);
        StereoPlanes slow = PlanesWith(Picture(w, h, uint32_t(run)), &secondSlow);
        if (mapped) {
            ASSERT_TRUE(InstallDepthMap(fast, Picture(w, h, uint32_t(run) + 100)).ok());
            ASSERT_TRUE(InstallDepthMap(slow, Picture(w, h, uint32_t(run) + 100)).ok());
        }
        ConvertPlanes(s, fast);
        reference::ConvertPlanes(s, slow);
        const std::string where = std::to_string(w) + "x" + std::to_string(h) + " run " +
                                  std::to_string(run) + " wrap " + std::to_string(s.WrapAround) +
                                  " mapped " + std::to_string(mapped);
        ASSERT_EQ(Pixels(fast.FirstView), Pixels(slow.FirstView)) << where;
        if (s.StereoLayout != kAnaglyph) {
            ASSERT_EQ(Pixels(fast.SecondView), Pixels(slow.SecondView)) << where;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(InstructionSets, FastKernels,
                         ::testing::Values(SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2),
                         [](const auto& row) {
                             return std::string(row.param == SimdLevel::Scalar ? "Scalar"
                                                : row.param == SimdLevel::Sse2 ? "Sse2"
                                                                               : "Avx2");
                         });

}  // namespace
}  // namespace k3v
