#include "align/pair_alignment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/plane_builders.h"
#include "tests/support/progress_recorder.h"
#include "tests/support/textured_pair.h"

namespace k3v {
namespace {

constexpr int32_t kW = 1280;
constexpr int32_t kH = 960;

using testing::Bgr;
using testing::Centred;
using testing::Distortion;
using testing::FilledPlane;
using testing::Inverse;
using testing::kPi;
using testing::Matrix;
using testing::Pixels;
using testing::Texture;
using testing::TexturedPair;

using Pair = TexturedPair;

Pair MakePair(const Distortion& d) {
    return testing::MakeTexturedPair(kW, kH, d);
}

double Luma(const PixelPlane& plane, int32_t x, int32_t y) {
    return double(k3v::Luma(plane.row(y)[x]));
}

// Where points of the first view lie in the second, found by our own block matching: for a
// grid of patches, the offset of least squared difference, to a fraction of a pixel.
struct Offsets {
    std::vector<double> vertical;    // |second - first| rows
    std::vector<double> horizontal;  // first - second columns (the stereo window's parallax)
};

Offsets Measure(const PixelPlane& first, const PixelPlane& second) {
    constexpr int32_t r = 7, reachX = 40, reachY = 4;
    constexpr int32_t margin = r + reachX + 1;
    Offsets offsets;
    const auto cost = [&](int32_t x, int32_t y, int32_t dx, int32_t dy) {
        double sum = 0;
        for (int32_t j = -r; j <= r; ++j) {
            for (int32_t i = -r; i <= r; ++i) {
                const double e = Luma(first, x + i, y + j) - Luma(second, x + i + dx, y + j + dy);
                sum += e * e;
            }
        }
        return sum;
    };
    const auto vertex = [](double before, double at, double after) {
        const double curve = before - 2 * at + after;
        return curve > 0 ? 0.5 * (before - after) / curve : 0.0;
    };
    for (int32_t y = margin; y < first.height() - margin; y += 60) {
        for (int32_t x = margin; x < first.width() - margin; x += 60) {
            double best = 1e300;
            int32_t bx = 0, by = 0;
            for (int32_t dy = -reachY; dy <= reachY; ++dy) {
                for (int32_t dx = -reachX; dx <= reachX; ++dx) {
                    const double c = cost(x, y, dx, dy);
                    if (c < best) {
                        best = c, bx = dx, by = dy;
                    }
                }
            }
            if (std::abs(by) == reachY || std::abs(bx) == reachX) {
                offsets.vertical.push_back(reachY);  // no match in reach counts as misaligned
                continue;
            }
            offsets.vertical.push_back(
                std::abs(by + vertex(cost(x, y, bx, by - 1), best, cost(x, y, bx, by + 1))));
            offsets.horizontal.push_back(
                -(bx + vertex(cost(x, y, bx - 1, by), best, cost(x, y, bx + 1, by))));
        }
    }
    return offsets;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[size_t(fraction * double(values.size() - 1) + 0.5)];
}

// The offset at which `view` is a pixel-exact cut of `whole`, if it is one.
std::optional<std::pair<int32_t, int32_t>> CutFrom(const PixelPlane& view,
                                                   const PixelPlane& whole) {
    for (int32_t oy = 0; oy + view.height() <= whole.height(); ++oy) {
        for (int32_t ox = 0; ox + view.width() <= whole.width(); ++ox) {
            bool same = true;
            for (int32_t y = 0; y < view.height() && same; ++y) {
                same =
                    std::memcmp(view.row(y), whole.row(oy + y) + ox, size_t(view.width()) * 4) == 0;
            }
            if (same) {
                return std::make_pair(ox, oy);
            }
        }
    }
    return std::nullopt;
}

void ExpectInLine(const PixelPlane& first, const PixelPlane& second) {
    const Offsets offsets = Measure(first, second);
    ASSERT_GT(offsets.vertical.size(), 150u);
    EXPECT_LE(Percentile(offsets.vertical, 0.5), 0.5);
    EXPECT_LE(Percentile(offsets.vertical, 0.9), 1.5);
}

void ExpectSmallCrop(const AlignmentOutcome& outcome, const Pair& pair) {
    EXPECT_EQ(pair.first.width(), outcome.width);
    EXPECT_EQ(pair.first.height(), outcome.height);
    EXPECT_EQ(pair.second.width(), outcome.width);
    EXPECT_EQ(pair.second.height(), outcome.height);
    EXPECT_GE(outcome.width, 0.85 * kW);
    EXPECT_GE(outcome.height, 0.85 * kH);
}

class Alignment : public ::testing::TestWithParam<Distortion> {};

TEST_P(Alignment, RemovesTurnScaleKeystoneAndOffsetKeepingDepth) {
    const Distortion d = GetParam();
    Pair pair = MakePair(d);
    PixelPlane original = FilledPlane(kW, kH, 0);
    original.copyFrom(pair.first);

    const Result<AlignmentOutcome> result =
        AlignPair(pair.first, pair.second, {.align = true}, Progress());
    ASSERT_TRUE(result.ok()) << result.message();
    const AlignmentOutcome& outcome = result.value();

    // The correction is the inverse distortion's row, as the centre sees it.
    const Matrix removed = Inverse(Centred(d));
    EXPECT_TRUE(outcome.aligned);
    EXPECT_NEAR(outcome.turnedDegrees, std::atan2(removed[3], removed[4]) * 180 / kPi, 0.1);
    EXPECT_NEAR(outcome.scaledPercent, (std::hypot(removed[3], removed[4]) / removed[8] - 1) * 100,
                0.2);
    EXPECT_NEAR(outcome.movedPixels, removed[5] / removed[8], 0.5);
    EXPECT_EQ(outcome.keystone, d.keystoneX != 0 || d.keystoneY != 0);
    EXPECT_GE(outcome.matches, 100);
    ExpectSmallCrop(outcome, pair);
    EXPECT_TRUE(CutFrom(pair.first, original)) << "the first picture is only cropped";

    ExpectInLine(pair.first, pair.second);
    // The depth stays: the views' horizontal offsets still span the depth's range.
    const Offsets offsets = Measure(pair.first, pair.second);
    EXPECT_NEAR(Percentile(offsets.horizontal, 0.95) - Percentile(offsets.horizontal, 0.05), 9.0,
                1.5);
}

INSTANTIATE_TEST_SUITE_P(Pairs, Alignment,
                         ::testing::Values(Distortion{1.0, 1.015, 2e-5, -1.5e-5,
                                                      12},                    // keystone, up
                                           Distortion{-0.8, 0.99, 0, 0, -9},  // no keystone, down
                                           Distortion{}));                    // already aligned

TEST(AlignmentWindow, PutsTheNearestPointAtTheScreenOrBehind) {
    for (const int32_t behind : {0, 10}) {
        for (const bool align : {false, true}) {
            Pair pair = MakePair(align ? Distortion{0.6, 1.01, 0, 0, 11} : Distortion{});
            PixelPlane second = FilledPlane(kW, kH, 0);
            second.copyFrom(pair.second);
            const Result<AlignmentOutcome> result = AlignPair(
                pair.first, pair.second,
                {.align = align, .stereoWindow = true, .windowBehind = behind}, Progress());
            ASSERT_TRUE(result.ok()) << result.message();
            ExpectSmallCrop(result.value(), pair);
            const Offsets offsets = Measure(pair.first, pair.second);
            EXPECT_NEAR(Percentile(offsets.horizontal, 0.02), behind, 2.0)
                << "behind " << behind << ", aligned " << align;
            if (!align) {
                // Nearest point about 14 px in front: the second view moves left by that much
                // and `behind` more, which costs as many columns.
                const int32_t shift = result.value().windowShift;
                EXPECT_NEAR(shift, -14 - behind, 1);
                EXPECT_TRUE(CutFrom(pair.second, second)) << "the window alone only crops";
                EXPECT_EQ(result.value().describe(),
                          "stereo window: shifted " + std::to_string(shift) + " px; cropped to " +
                              std::to_string(kW + shift) + " x " + std::to_string(kH));
            }
        }
    }
}

// With the eyes swapped the first picture is the left eye: the nearest point is the one with
// the largest offset, first minus second, and the window puts it at minus `behind`.
TEST(AlignmentWindow, FollowsSwappedEyes) {
    Pair pair = MakePair(Distortion{});
    const Result<AlignmentOutcome> result =
        AlignPair(pair.first, pair.second,
                  {.stereoWindow = true, .windowBehind = 6, .swapEyes = true}, Progress());
    ASSERT_TRUE(result.ok()) << result.message();
    const Offsets offsets = Measure(pair.first, pair.second);
    EXPECT_NEAR(Percentile(offsets.horizontal, 0.98), -6, 2.0);
}

TEST(AlignmentFailure, LeavesBlankAndUnrelatedPairsAsTheyWere) {
    Pair blank{FilledPlane(kW, kH, Bgr(200, 180, 150)), FilledPlane(kW, kH, Bgr(200, 180, 150))};
    Pair unrelated = MakePair({});
    for (int32_t y = 0; y < kH; ++y) {
        for (int32_t x = 0; x < kW; ++x) {
            unrelated.second.row(y)[x] = Texture(x, y, 99);
        }
    }
    for (Pair* pair : {&blank, &unrelated}) {
        const std::vector<uint32_t> first = Pixels(pair->first);
        const std::vector<uint32_t> second = Pixels(pair->second);
        const Result<AlignmentOutcome> result =
            AlignPair(pair->first, pair->second, {.align = true}, Progress());
        ASSERT_FALSE(result.ok());
        EXPECT_TRUE(::testing::internal::RE::FullMatch(
            result.message(), "cannot align: [0-9]+ matching points, at least 30 needed"))
            << result.message();
        EXPECT_EQ(Pixels(pair->first), first);
        EXPECT_EQ(Pixels(pair->second), second);
    }
}

// A cancel at any stage, even while the second picture is being resampled, leaves both
// pictures as they were; an alignment let run reports up to the whole.
TEST(AlignmentFailure, CancelledAlignmentLeavesThePairAsItWas) {
    Pair pair = MakePair({0.6, 1.01, 0, 0, 11});
    const std::vector<uint32_t> first = Pixels(pair.first);
    const std::vector<uint32_t> second = Pixels(pair.second);
    for (const double at : {0.2, 0.7}) {
        testing::ProgressRecorder recorder(at);
        const Result<AlignmentOutcome> result =
            AlignPair(pair.first, pair.second, {.align = true}, recorder.progress());
        ASSERT_FALSE(result.ok());
        EXPECT_TRUE(result.status().cancelled()) << at;
        EXPECT_EQ(Pixels(pair.first), first);
        EXPECT_EQ(Pixels(pair.second), second);
    }
    testing::ProgressRecorder recorder;
    ASSERT_TRUE(AlignPair(pair.first, pair.second, {.align = true}, recorder.progress()).ok());
    EXPECT_TRUE(std::is_sorted(recorder.fractions().begin(), recorder.fractions().end()));
    EXPECT_EQ(recorder.fractions().back(), 1.0);
}

TEST(AlignmentOutcome, DescribesTheCorrection) {
    AlignmentOutcome outcome{.aligned = true,
                             .turnedDegrees = 1.24,
                             .scaledPercent = 1.46,
                             .movedPixels = 9.4,
                             .width = 1240,
                             .height = 1060};
    EXPECT_EQ(outcome.describe(),
              "aligned: turned 1.2 deg, scaled 1.5 %, moved 9 px up; cropped to 1240 x 1060");
    outcome.turnedDegrees = -0.04;
    outcome.movedPixels = -13.6;
    outcome.windowShift = -14;
    EXPECT_EQ(outcome.describe(),
              "aligned: turned 0.0 deg, scaled 1.5 %, moved 14 px down, "
              "window -14 px; cropped to 1240 x 1060");
}

}  // namespace
}  // namespace k3v
