#include "stereo/conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "stereo/filters.h"
#include "stereo/view_synthesis.h"
#include "tests/support/plane_builders.h"

namespace k3v {
namespace {

using testing::EveryFilter;
using testing::NoisePlane;
using testing::Pixels;
using testing::PlanesWith;

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

// What a conversion told its progress, in the order the callback saw it.
struct Report {
    std::string stage;
    double fraction;
};

// Every filter, then the two wrapped views and their composition by another method than the
// classic one: the conversion's every kind of stage, each in its own pass. The picture is large
// enough to be shared by two threads (2^18 pixels) and cut into many bands.
ConversionSettings EveryStage() {
    ConversionSettings s = EveryFilter();
    s.WrapAround = true;
    s.AnaglyphMethod = AnaglyphKind::Dubois;
    return s;
}
PixelPlane StagePicture(uint32_t seed) {
    return NoisePlane(640, 420, seed);
}

TEST(ConvertPlanesProgress, StagesRiseInOrderAndEndAtOne) {
    StereoPlanes planes = PlanesWith(StagePicture(1));
    std::vector<Report> reports;
    const Progress progress(
        [&](const char* stage, double fraction) {
            reports.push_back({stage, fraction});
        },
        nullptr);
    ASSERT_TRUE(ConvertPlanes(EveryStage(), planes, progress).ok());

    ASSERT_FALSE(reports.empty());
    std::vector<std::string> stages;
    for (size_t i = 0; i < reports.size(); ++i) {
        if (stages.empty() || stages.back() != reports[i].stage) {
            stages.push_back(reports[i].stage);
        }
        if (i > 0) {
            EXPECT_GE(reports[i].fraction, reports[i - 1].fraction) << "report " << i;
        }
    }
    EXPECT_EQ(stages, (std::vector<std::string>{kSharpenStage, kNoiseStage, kToneStage,
                                                kSynthesisStage, kCompositionStage}));
    EXPECT_EQ(reports.back().fraction, 1.0);
    // Told band by band, not once per stage.
    EXPECT_GT(reports.size(), 3 * stages.size());
}

// A run's reports, taken down.
std::vector<Report> Recorded(const ConversionSettings& settings, StereoPlanes& planes) {
    std::vector<Report> reports;
    const Progress progress(
        [&](const char* stage, double fraction) {
            reports.push_back({stage, fraction});
        },
        nullptr);
    EXPECT_TRUE(ConvertPlanes(settings, planes, progress).ok());
    return reports;
}

// A cancel set from inside the callback: at the 1st and 2nd report, at the first report of
// each stage, and at the last. Each run stops with Cancelled (but the one cancelled at its
// final report, which has nothing left to stop), the decoded pictures stay as they were, and
// a later conversion gives exactly the views of one that was never cancelled. Which report
// comes k-th varies with the threads, so the points are found by the fraction done.
TEST(ConvertPlanesProgress, CancelledInAnyStageStopsAndTheNextRunIsWhole) {
    ConversionSettings standard = EveryFilter();
    standard.TransformationMode = kStandardStereo;
    standard.StereoLayout = kSideBySideHorizontal;
    for (const ConversionSettings& settings : {EveryStage(), standard}) {
        PixelPlane second = StagePicture(3);
        StereoPlanes fresh = PlanesWith(StagePicture(2), &second);
        const std::vector<Report> reports = Recorded(settings, fresh);
        ASSERT_GT(reports.size(), 2u);
        std::vector<double> points = {reports[0].fraction, reports[1].fraction, 1.0};
        for (size_t i = 1; i < reports.size(); ++i) {
            if (reports[i].stage != reports[i - 1].stage) {
                points.push_back(reports[i].fraction);
            }
        }
        const std::vector<uint32_t> decoded1 = Pixels(fresh.DecodedImage1);
        const std::vector<uint32_t> decoded2 = Pixels(fresh.DecodedImage2);

        std::vector<std::string> cancelledIn;
        for (const double point : points) {
            PixelPlane again = StagePicture(3);
            StereoPlanes planes = PlanesWith(StagePicture(2), &again);
            std::atomic<bool> cancel{false};
            Report at{"", 0.0};
            size_t after = 0;
            const Progress progress(
                [&](const char* stage, double fraction) {
                    if (cancel) {
                        ++after;
                    } else if (fraction >= point) {
                        cancel = true;
                        at = {stage, fraction};
                    }
                },
                &cancel);
            const Status status = ConvertPlanes(settings, planes, progress);
            const std::string where =
                "cancelled in " + at.stage + " at " + std::to_string(at.fraction);
            ASSERT_TRUE(cancel) << point;
            EXPECT_EQ(status.cancelled(), at.fraction < 1.0) << where;
            EXPECT_EQ(status.ok(), at.fraction == 1.0) << where;
            // Only bands already under way finish: one per thread at most (16).
            EXPECT_LE(after, 16u) << where;
            EXPECT_EQ(Pixels(planes.DecodedImage1), decoded1) << where;
            EXPECT_EQ(Pixels(planes.DecodedImage2), decoded2) << where;
            if (at.fraction < 1.0) {
                cancelledIn.push_back(at.stage);
            }
            ConvertPlanes(settings, planes);
            EXPECT_EQ(Pixels(planes.FirstView), Pixels(fresh.FirstView)) << where;
            if (settings.StereoLayout != kAnaglyph) {
                EXPECT_EQ(Pixels(planes.SecondView), Pixels(fresh.SecondView)) << where;
            }
        }
        // The filters, the views and the composition were each stopped at least once.
        for (const char* stage : {kSharpenStage, kSynthesisStage}) {
            EXPECT_NE(std::find(cancelledIn.begin(), cancelledIn.end(), stage), cancelledIn.end())
                << stage;
        }
        if (settings.StereoLayout == kAnaglyph) {
            EXPECT_NE(std::find(cancelledIn.begin(), cancelledIn.end(), kCompositionStage),
                      cancelledIn.end());
        }
    }
}

}  // namespace
}  // namespace k3v
