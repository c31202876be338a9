#include "cli/cli_options.h"

#include "cli/batch_runner.h"

#include <gtest/gtest.h>

namespace k3v {
namespace {

ParsedCommandLine Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

TEST(ParseCommandLine, EveryOptionSetsItsSettingAndSwitchesItOn) {
    const ParsedCommandLine p = Parse({"--mode",
                                       "standard",
                                       "--layout=vertical",
                                       "--kind",
                                       "photo",
                                       "--effect",
                                       "-10",
                                       "--depth",
                                       "85",
                                       "--sharpen",
                                       "0",
                                       "--sharpen-blend",
                                       "2",
                                       "--brightness",
                                       "1",
                                       "--contrast",
                                       "255",
                                       "--noise",
                                       "5",
                                       "--quality",
                                       "50",
                                       "a.png",
                                       "b.png",
                                       "-o",
                                       "out.BMP"});
    ASSERT_TRUE(p.ok) << p.error;
    const ConversionSettings& s = p.options.settings;
    EXPECT_EQ(s.TransformationMode, kStandardStereo);
    EXPECT_EQ(s.StereoLayout, kSideBySideVertical);
    EXPECT_EQ(s.SourceKind, kStillPhoto);
    EXPECT_EQ(s.StereoEffect, -10);
    EXPECT_EQ(s.DepthOn, 1);
    EXPECT_EQ(s.DepthValue, 85);
    EXPECT_EQ(s.SharpenOn, 1);
    EXPECT_EQ(s.SharpenLevel, 0);
    EXPECT_EQ(s.SharpenBlend, 2);
    EXPECT_EQ(s.BrightnessOn, 1);
    EXPECT_EQ(s.Brightness, 1);
    EXPECT_EQ(s.ContrastOn, 1);
    EXPECT_EQ(s.Contrast, 255);
    EXPECT_EQ(s.NoiseOn, 1);
    EXPECT_EQ(s.NoisePasses, 5);
    EXPECT_EQ(p.options.jpegQuality, 50);
    EXPECT_EQ(p.options.inputs, (std::vector<std::string>{"a.png", "b.png"}));
}

TEST(ParseCommandLine, WithoutOptionsTheWindowsStartValuesApply) {
    const ParsedCommandLine p = Parse({"pano.jpg", "-o", "x.jpg"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.settings, ConversionSettings{});
    EXPECT_EQ(p.options.jpegQuality, 100);
}

TEST(ParseCommandLine, OutOfRangeAndMalformedValuesAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"a.png"},
        {"--effect", "11", "a.png", "-o", "x.bmp"},
        {"--effect", "3x", "a.png", "-o", "x.bmp"},
        {"--depth", "33", "a.png", "-o", "x.bmp"},
        {"--brightness", "0", "a.png", "-o", "x.bmp"},
        {"--contrast", "256", "a.png", "-o", "x.bmp"},
        {"--noise", "0", "a.png", "-o", "x.bmp"},
        {"--sharpen-blend", "4", "a.png", "-o", "x.bmp"},
        {"--quality", "49", "a.png", "-o", "x.jpg"},
        {"--layout", "diagonal", "a.png", "-o", "x.bmp"},
        {"--bogus", "a.png", "-o", "x.bmp"},
        {"a.png", "-o"},
        {"a.png", "-o", "x.png"},
        {"a.png", "b.png", "-o", "x.bmp"},
        {"--mode", "standard", "a.png", "-o", "x.bmp"},
        {"a.png", "-o", "x.bmp", "--output-dir", "d"},
        {"a.png", "-o", "x.bmp", "--format", "bmp"},
        {"--mode", "standard", "a.png", "b.png", "c.png", "--output-dir", "d"},
        {"a.png", "--output-dir", "d", "--format", "png"},
    };
    for (const auto& args : bad) {
        const ParsedCommandLine p = ParseCommandLine(args);
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        EXPECT_FALSE(p.ok) << joined;
        EXPECT_FALSE(p.error.empty()) << joined;
    }
}

TEST(ParseCommandLine, NamesAfterDoubleDashAreFilesEvenWithALeadingDash) {
    const ParsedCommandLine p = Parse({"-o", "x.bmp", "--", "-pano.png"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.inputs, std::vector<std::string>{"-pano.png"});
}

TEST(PlanJobs, BatchOutputsAreNamedAfterTheirInputs) {
    const ParsedCommandLine p =
        Parse({"/a/hall.tif", "b/pano.old.jpg", "photo", "--output-dir", "out", "--format", "bmp"});
    ASSERT_TRUE(p.ok) << p.error;
    std::string error;
    const std::vector<ConversionJob> jobs = PlanJobs(p.options, error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].output, "out/hall_Unwrapped.bmp");
    EXPECT_EQ(jobs[1].output, "out/pano.old_Unwrapped.bmp");
    EXPECT_EQ(jobs[2].output, "out/photo_Unwrapped.bmp");
}

TEST(PlanJobs, StandardBatchTakesPairsAndCollidingNamesAreRefused) {
    const ParsedCommandLine pairs =
        Parse({"--mode", "standard", "l1.png", "r1.png", "l2.png", "r2.png", "--output-dir", "o"});
    ASSERT_TRUE(pairs.ok) << pairs.error;
    std::string error;
    const std::vector<ConversionJob> jobs = PlanJobs(pairs.options, error);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[1].first, "l2.png");
    EXPECT_EQ(jobs[1].second, "r2.png");
    EXPECT_EQ(jobs[1].output, "o/l2_Unwrapped.jpg");

    const ParsedCommandLine same = Parse({"x/a.png", "y/a.jpg", "--output-dir", "o"});
    ASSERT_TRUE(same.ok);
    EXPECT_TRUE(PlanJobs(same.options, error).empty());
    EXPECT_NE(error.find("o/a_Unwrapped.jpg"), std::string::npos) << error;
}

TEST(ProgressLine, ShowsFilesDoneFailuresAndTheRate) {
    EXPECT_EQ(ProgressLine(0, 10, 0, 0.0), "0 of 10 files done");
    EXPECT_EQ(ProgressLine(3, 10, 0, 40.0), "3 of 10 files done (4.5 files a minute)");
    EXPECT_EQ(ProgressLine(9, 10, 2, 3.0), "9 of 10 files done, 2 failed (180 files a minute)");
}

}  // namespace
}  // namespace k3v
