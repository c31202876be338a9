#include "stereo/banded_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "stereo/conversion.h"
#include "tests/support/plane_builders.h"

namespace k3v {
namespace {

using testing::EveryFilter;
using testing::NoisePlane;
using testing::PlanesWith;

struct Views {
    std::vector<uint32_t> first;
    std::vector<uint32_t> second;
};

// The pictures and depth map of one case, as planes for ConvertPlanes.
StereoPlanes CasePlanes(int32_t w, int32_t h, uint32_t seed, bool depthMap) {
    PixelPlane second = NoisePlane(w, h, seed + 1);
    StereoPlanes planes = PlanesWith(NoisePlane(w, h, seed), &second);
    if (depthMap) {
        EXPECT_TRUE(InstallDepthMap(planes, NoisePlane(w, h, seed + 2)).ok());
    }
    return planes;
}

Views WholePlaneViews(const ConversionSettings& settings, StereoPlanes& planes) {
    ConvertPlanes(settings, planes);
    const size_t n = planes.PixelCount();
    return {{planes.FirstView.data(), planes.FirstView.data() + n},
            {planes.SecondView.data(), planes.SecondView.data() + n}};
}

// The banded conversion reading the planes' decoded pictures and depth map in `order`; the
// source must be asked for every row once and the sink get every row once, both in that order.
Views BandedViews(const ConversionSettings& settings, const StereoPlanes& planes, int32_t bandRows,
                  RowOrder order = RowOrder::BottomFirst) {
    const size_t w = size_t(planes.SourceWidth);
    const int32_t h = planes.SourceHeight;
    const bool topFirst = order == RowOrder::TopFirst;
    const BandedPicture picture{planes.SourceWidth, h, !planes.DepthMap.empty(), bandRows, order};
    int32_t read = topFirst ? h : 0;
    const auto source = [&](const InputRows& rows) {
        EXPECT_EQ(topFirst ? rows.firstRow + rows.rowCount : rows.firstRow, read);
        read = topFirst ? rows.firstRow : rows.firstRow + rows.rowCount;
        const size_t at = size_t(rows.firstRow) * w;
        const size_t count = size_t(rows.rowCount) * w;
        std::memcpy(rows.first, planes.DecodedImage1.data() + at, count * 4);
        if (rows.second != nullptr) {
            std::memcpy(rows.second, planes.DecodedImage2.data() + at, count * 4);
        }
        if (rows.depth != nullptr) {
            std::memcpy(rows.depth, planes.DepthMap.data() + at, count);
        }
        return Status::Ok();
    };
    Views views{std::vector<uint32_t>(planes.PixelCount()),
                std::vector<uint32_t>(planes.PixelCount())};
    int32_t given = topFirst ? h : 0;
    const auto sink = [&](const ViewRows& rows) {
        EXPECT_EQ(topFirst ? rows.firstRow + rows.rowCount : rows.firstRow, given);
        given = topFirst ? rows.firstRow : rows.firstRow + rows.rowCount;
        const size_t at = size_t(rows.firstRow) * w;
        const size_t count = size_t(rows.rowCount) * w;
        std::copy_n(rows.firstView, count, views.first.begin() + ptrdiff_t(at));
        std::copy_n(rows.secondView, count, views.second.begin() + ptrdiff_t(at));
        return Status::Ok();
    };
    EXPECT_TRUE(ConvertBands(settings, picture, source, sink).ok());
    EXPECT_EQ(given, topFirst ? 0 : h);
    return views;
}

// Settings drawn at random within one group of choices.
enum class Group { Filters, Views, Standard, DepthMaps, Wrapped };

// `trial` decides the layout: every fourth trial the classic anaglyph (with rules of its own
// for its first pixels), every other one another anaglyph.
ConversionSettings Draw(Group group, int trial, std::mt19937& random) {
    const auto pick = [&](int32_t from, int32_t to) {
        return std::uniform_int_distribution<int32_t>(from, to)(random);
    };
    ConversionSettings s;
    // Every group runs some filters, so that the views are made from filtered rows.
    s.SharpenOn = pick(0, 1);
    s.SharpenLevel = pick(0, 5);
    s.SharpenBlend = pick(0, 3);
    s.NoiseOn = pick(0, 1);
    s.NoisePasses = pick(0, 5);
    s.BrightnessOn = pick(0, 1);
    s.Brightness = pick(1, 255);
    s.ContrastOn = pick(0, 1);
    s.Contrast = pick(0, 255);
    s.StereoLayout = trial % 2 == 0 ? kAnaglyph : pick(kSideBySideVertical, kSeparateFiles);
    s.StereoEffect = int16_t(pick(-10, 10));
    const bool classic = trial % 4 == 0;
    s.AnaglyphMethod = classic ? AnaglyphKind::Colour : AnaglyphKind(pick(0, 3));
    s.Glasses = classic ? GlassesKind::RedCyan : GlassesKind(pick(0, 2));
    s.SwapEyes = pick(0, 1) == 1;
    s.HalfSize = pick(0, 1) == 1;
    s.PairOrder = EyeOrder(pick(0, 1));
    s.SourceKind = pick(kPanorama, kStillPhoto);
    s.DepthOn = pick(0, 1);
    s.DepthValue = 20 + 5 * pick(0, 14);
    switch (group) {
        case Group::Filters:
            s.StereoLayout = kSideBySideHorizontal;
            s.DepthOn = 0;
            break;
        case Group::Views:
            s.DepthOn = 1;
            break;
        case Group::Standard:
            s.TransformationMode = kStandardStereo;
            break;
        case Group::DepthMaps:
            s.DepthOn = 1;
            s.InvertDepthMap = pick(0, 1) == 1;
            break;
        case Group::Wrapped:
            s.WrapAround = true;
            break;
    }
    return s;
}

class BandedConversion : public ::testing::TestWithParam<Group> {};

// Widths on both sides of the mean's segmented chains (256) and the vector widths, heights
// too small for the filters and odd ones, bands from one row to more than the picture; top row
// first too, where the settings allow it.
TEST_P(BandedConversion, EqualsTheWholePlaneConversionForAnyBand) {
    const Group group = GetParam();
    std::mt19937 random(1234 + uint32_t(group));
    constexpr int32_t kWidths[] = {1, 2, 7, 17, 64, 259, 301};
    constexpr int32_t kHeights[] = {1, 2, 3, 5, 13, 30};
    for (int trial = 0; trial < 84; ++trial) {
        const ConversionSettings settings = Draw(group, trial, random);
        // Each width with each kind of layout three times.
        const int32_t w = kWidths[size_t(trial) % std::size(kWidths)];
        const int32_t h = kHeights[random() % std::size(kHeights)];
        StereoPlanes planes = CasePlanes(w, h, uint32_t(trial), group == Group::DepthMaps);
        const Views whole = WholePlaneViews(settings, planes);
        for (const RowOrder order : {RowOrder::BottomFirst, RowOrder::TopFirst}) {
            if (order == RowOrder::TopFirst && !CanConvertTopFirst(settings)) {
                continue;
            }
            for (const int32_t band : {1, 2, 4, std::max(1, h - 1), h, h + 3}) {
                const Views banded = BandedViews(settings, planes, band, order);
                const std::string where = "trial " + std::to_string(trial) + ", " +
                                          std::to_string(w) + " x " + std::to_string(h) +
                                          ", band " + std::to_string(band) +
                                          (order == RowOrder::TopFirst ? ", top first" : "");
                ASSERT_EQ(banded.first, whole.first) << where;
                ASSERT_EQ(banded.second, whole.second) << where;
            }
        }
    }
}

std::string GroupName(const ::testing::TestParamInfo<Group>& group) {
    constexpr const char* kNames[] = {"Filters", "Views", "Standard", "DepthMaps", "Wrapped"};
    return kNames[size_t(group.param)];
}

INSTANTIATE_TEST_SUITE_P(Groups, BandedConversion,
                         ::testing::Values(Group::Filters, Group::Views, Group::Standard,
                                           Group::DepthMaps, Group::Wrapped),
                         GroupName);

// Bands large enough to be shared between threads, every filter (top row first, every one
// but the mean), both anaglyph kinds, and two pictures around the loop of a 360-degree
// panorama.
TEST(BandedConversionLarge, EqualsTheWholePlaneConversionOnEveryCore) {
    for (const AnaglyphKind method :
         {AnaglyphKind::Colour, AnaglyphKind::Dubois, AnaglyphKind::Grey}) {
        ConversionSettings settings = EveryFilter();
        settings.AnaglyphMethod = method;
        if (method == AnaglyphKind::Grey) {
            settings.TransformationMode = kStandardStereo;
            settings.WrapAround = true;
        }
        StereoPlanes planes = CasePlanes(1203, 301, 9, true);
        const Views whole = WholePlaneViews(settings, planes);
        const Views banded = BandedViews(settings, planes, 250);
        EXPECT_TRUE(banded.first == whole.first);
        EXPECT_TRUE(banded.second == whole.second);

        settings.NoiseOn = 0;
        const Views unsmoothed = WholePlaneViews(settings, planes);
        const Views topFirst = BandedViews(settings, planes, 250, RowOrder::TopFirst);
        EXPECT_TRUE(topFirst.first == unsmoothed.first);
        EXPECT_TRUE(topFirst.second == unsmoothed.second);
    }
}

// Each row is read once, in the order asked, and the rows read never run more than a band and
// the margin ahead of the rows finished: what the conversion holds does not grow with the
// height. Top row first without the mean passes, which it cannot run.
TEST(BandedConversionLarge, HoldsOnlyABandAndTheMarginOfRows) {
    for (const RowOrder order : {RowOrder::BottomFirst, RowOrder::TopFirst}) {
        const bool topFirst = order == RowOrder::TopFirst;
        ConversionSettings settings = EveryFilter();
        settings.StereoEffect = -10;
        settings.NoiseOn = topFirst ? 0 : 1;
        const int32_t w = 70;
        const int32_t band = 8;
        const int32_t margin = BandedMarginRows(settings, w);
        EXPECT_LT(margin, 30);
        for (const int32_t h : {200, 2000}) {
            EXPECT_EQ(BandedMarginRows(settings, w), margin);
            // Rows counted from the first row read, bottom or top.
            int32_t read = 0;
            int32_t finished = 0;
            int32_t mostAhead = 0;
            const auto source = [&](const InputRows& rows) {
                EXPECT_EQ(topFirst ? h - rows.firstRow - rows.rowCount : rows.firstRow, read);
                EXPECT_LE(rows.rowCount, band);
                read += rows.rowCount;
                mostAhead = std::max(mostAhead, read - finished);
                std::fill_n(rows.first, size_t(rows.rowCount) * size_t(w), 0x00808080u);
                std::fill_n(rows.depth, size_t(rows.rowCount) * size_t(w), uint8_t(rows.firstRow));
                return Status::Ok();
            };
            const auto sink = [&](const ViewRows& rows) {
                EXPECT_EQ(topFirst ? h - rows.firstRow - rows.rowCount : rows.firstRow, finished);
                finished += rows.rowCount;
                return Status::Ok();
            };
            ASSERT_TRUE(ConvertBands(settings, {w, h, true, band, order}, source, sink).ok());
            EXPECT_EQ(read, h);
            EXPECT_EQ(finished, h);
            EXPECT_LE(mostAhead, band + margin) << h << (topFirst ? " top first" : "");
        }
    }
}

// A cancel stops between bands and a source's or sink's failure ends the run with its
// message; the progress rises to 1 on a finished run. Top row first with mean passes is an
// error.
TEST(BandedConversionLarge, StopsOnCancelAndOnFailures) {
    const ConversionSettings settings = EveryFilter();
    const BandedPicture picture{40, 100, false, 10};
    const auto source = [](const InputRows& rows) {
        std::fill_n(rows.first, size_t(rows.rowCount) * size_t(rows.width), 0x00406080u);
        return rows.firstRow >= 50 ? Status::Error("read failed") : Status::Ok();
    };
    int32_t finished = 0;
    const auto sink = [&](const ViewRows& rows) {
        finished += rows.rowCount;
        return Status::Ok();
    };
    EXPECT_EQ(ConvertBands(settings, picture, source, sink).message(), "read failed");

    std::atomic<bool> cancel{false};
    double last = 0;
    const Progress progress(
        [&](const char*, double fraction) {
            last = fraction;
            cancel = fraction > 0.3;
        },
        &cancel);
    finished = 0;
    const auto fine = [](const InputRows& rows) {
        std::fill_n(rows.first, size_t(rows.rowCount) * size_t(rows.width), 0x00406080u);
        return Status::Ok();
    };
    EXPECT_TRUE(ConvertBands(settings, picture, fine, sink, progress).cancelled());
    EXPECT_GT(finished, 30);
    EXPECT_LT(finished, 100);

    const auto failingSink = [](const ViewRows&) { return Status::Error("write failed"); };
    EXPECT_EQ(ConvertBands(settings, picture, fine, failingSink).message(), "write failed");

    // The mean passes cannot go top row first: refused before any row is read.
    EXPECT_FALSE(CanConvertTopFirst(settings));
    const auto unread = [](const InputRows&) {
        ADD_FAILURE() << "a row was read";
        return Status::Ok();
    };
    BandedPicture topFirst = picture;
    topFirst.order = RowOrder::TopFirst;
    const Status refused = ConvertBands(settings, topFirst, unread, sink);
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.message().find("bottom row first"), std::string::npos);

    std::atomic<bool> never{false};
    const Progress told([&](const char*, double fraction) { last = fraction; }, &never);
    EXPECT_TRUE(ConvertBands(settings, picture, fine, sink, told).ok());
    EXPECT_EQ(last, 1.0);
}

}  // namespace
}  // namespace k3v
