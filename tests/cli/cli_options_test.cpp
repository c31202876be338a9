#include "cli/cli_options.h"

#include "cli/batch_report.h"
#include "cli/batch_runner.h"

#include <gtest/gtest.h>

namespace k3v {
namespace {

Result<CliOptions> Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

TEST(ParseCommandLine, EveryOptionSetsItsSettingAndSwitchesItOn) {
    const Result<CliOptions> p = Parse({"--mode",
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
    ASSERT_TRUE(p.ok()) << p.message();
    const ConversionSettings& s = p.value().settings;
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
    EXPECT_EQ(p.value().jpegQuality, 50);
    EXPECT_EQ(p.value().inputs, (std::vector<std::string>{"a.png", "b.png"}));
}

TEST(ParseCommandLine, StereoOutputOptionsSetTheirSettings) {
    const Result<CliOptions> p =
        Parse({"--anaglyph", "dubois", "--glasses=amber-blue", "--swap-eyes", "--half", "--layout",
               "separate", "a.png", "--output-dir", "out", "--format", "jps"});
    ASSERT_TRUE(p.ok()) << p.message();
    const ConversionSettings& s = p.value().settings;
    EXPECT_EQ(s.AnaglyphMethod, AnaglyphKind::Dubois);
    EXPECT_EQ(s.Glasses, GlassesKind::AmberBlue);
    EXPECT_TRUE(s.SwapEyes);
    EXPECT_TRUE(s.HalfSize);
    EXPECT_EQ(s.StereoLayout, kSeparateFiles);
    EXPECT_EQ(p.value().format, "jps");
    EXPECT_EQ(Parse({"--swap-eyes=yes", "a.png", "-o", "x.jpg"}).message(),
              "--swap-eyes takes no value");
    EXPECT_EQ(Parse({"--glasses", "blue", "a.png", "-o", "x.jpg"}).message(),
              "--glasses takes one of amber-blue, green-magenta, red-cyan, not \"blue\"");
    EXPECT_TRUE(Parse({"a.png", "-o", "x.Mpo"}).ok());
}

// A half-size pair is for a 3D TV, so it takes the parallel order unless --order says
// otherwise; without --half the cross-eyed order stays, whatever comes first.
TEST(ParseCommandLine, TheOrderFollowsHalfUnlessGiven) {
    const auto order = [](std::vector<std::string> args) {
        args.insert(args.end(), {"--layout", "horizontal", "a.png", "-o", "x.jpg"});
        const Result<CliOptions> p = Parse(args);
        EXPECT_TRUE(p.ok()) << p.message();
        return p.ok() ? p.value().settings.PairOrder : EyeOrder::Cross;
    };
    EXPECT_EQ(order({}), EyeOrder::Cross);
    EXPECT_EQ(order({"--half"}), EyeOrder::Parallel);
    EXPECT_EQ(order({"--order", "cross", "--half"}), EyeOrder::Cross);
    EXPECT_EQ(order({"--half", "--order=cross"}), EyeOrder::Cross);
    EXPECT_EQ(order({"--order", "parallel"}), EyeOrder::Parallel);
    EXPECT_EQ(order({"--swap-eyes"}), EyeOrder::Cross);
    EXPECT_EQ(Parse({"--order", "left", "a.png", "-o", "x.jpg"}).message(),
              "--order takes one of cross, parallel, not \"left\"");
}

TEST(ParseCommandLine, WithoutOptionsTheWindowsStartValuesApply) {
    const Result<CliOptions> p = Parse({"pano.jpg", "-o", "x.jpg"});
    ASSERT_TRUE(p.ok()) << p.message();
    EXPECT_EQ(p.value().settings, ConversionSettings{});
    EXPECT_EQ(p.value().jpegQuality, 100);
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
        const Result<CliOptions> p = ParseCommandLine(args);
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        EXPECT_FALSE(p.ok()) << joined;
        EXPECT_FALSE(p.message().empty()) << joined;
    }
}

TEST(ParseCommandLine, DepthMapsNeedTheDepthScaleK3vModeAndTheirKindOfOutput) {
    const Result<CliOptions> one = Parse({"--depth", "30", "--depth-map", "m.png",
                                          "--invert-depth-map", "--wrap", "p.jpg", "-o", "x.jpg"});
    ASSERT_TRUE(one.ok()) << one.message();
    EXPECT_EQ(one.value().depthMap, "m.png");
    EXPECT_TRUE(one.value().settings.InvertDepthMap);
    EXPECT_TRUE(one.value().settings.WrapAround);
    const Result<std::vector<ConversionJob>> jobs = PlanJobs(one.value());
    ASSERT_TRUE(jobs.ok());
    EXPECT_EQ(jobs.value()[0].depthMap, "m.png");

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--depth-map", "m.png", "p.jpg", "-o", "x.jpg"}, "needs --depth N"},
        {{"--depth", "30", "--mode", "standard", "--depth-map", "m.png", "p.jpg", "q.jpg", "-o",
          "x.jpg"},
         "not with --mode standard"},
        {{"--invert-depth-map", "p.jpg", "-o", "x.jpg"}, "goes with --depth-map"},
        {{"--depth", "30", "--depth-map-dir", "d", "p.jpg", "-o", "x.jpg"},
         "goes with --output-dir"},
        {{"--depth", "30", "--depth-map", "m.png", "p.jpg", "--output-dir", "d"},
         "use --depth-map-dir"},
    };
    for (const auto& [args, reason] : refused) {
        const Result<CliOptions> p = ParseCommandLine(args);
        ASSERT_FALSE(p.ok()) << reason;
        EXPECT_NE(p.message().find(reason), std::string::npos) << p.message();
    }
}

// TIFF compression is a TIFF output's option only: any other output refuses it.
TEST(ParseCommandLine, TiffCompressionGoesWithATiffOutputOnly) {
    const Result<CliOptions> batch =
        Parse({"--tiff-compression", "lzw", "a.png", "--output-dir", "o", "--format", "tif"});
    ASSERT_TRUE(batch.ok()) << batch.message();
    EXPECT_EQ(batch.value().tiffCompression, TiffCompression::Lzw);
    EXPECT_EQ(Parse({"a.png", "-o", "x.tif"}).value().tiffCompression, TiffCompression::Deflate);
    EXPECT_EQ(Parse({"a.png", "-o", "x.TIFF", "--tiff-compression=none"}).value().tiffCompression,
              TiffCompression::None);
    const std::string refusal =
        "--tiff-compression goes with a TIFF output: -o NAME.tif or --format tif";
    EXPECT_EQ(Parse({"--tiff-compression", "lzw", "a.png", "-o", "x.jpg"}).message(), refusal);
    EXPECT_EQ(Parse({"--tiff-compression", "lzw", "a.png", "--output-dir", "o"}).message(),
              refusal);
    EXPECT_EQ(Parse({"--tiff-compression", "zip", "a.png", "-o", "x.tif"}).message(),
              "--tiff-compression takes one of deflate, lzw, none, not \"zip\"");
}

TEST(ParseCommandLine, NamesAfterDoubleDashAreFilesEvenWithALeadingDash) {
    const Result<CliOptions> p = Parse({"-o", "x.bmp", "--", "-pano.png"});
    ASSERT_TRUE(p.ok()) << p.message();
    EXPECT_EQ(p.value().inputs, std::vector<std::string>{"-pano.png"});
}

// The usage text comes from the option table: a row without a line of help cannot be added.
TEST(UsageText, ListsEveryOptionOnALineWithItsHelp) {
    const std::string usage = UsageText();
    for (const OptionRow& row : OptionTable()) {
        const std::string_view help = row.help.substr(0, row.help.find('\n'));
        ASSERT_FALSE(help.empty()) << row.name;
        const size_t start = usage.find("\n  " + std::string(row.name) + " ");
        ASSERT_NE(start, std::string::npos) << row.name;
        const std::string line = usage.substr(start + 1, usage.find('\n', start + 1) - start - 1);
        const std::string_view afterRange = help.substr(help.rfind('}') + 1);  // all without one
        EXPECT_NE(line.find(afterRange), std::string::npos) << line;
    }
    EXPECT_NE(usage.find("  --effect N                   stereo effect -10..10, default 3\n"),
              std::string::npos);
}

// A pair given left eye first gives reversed depth with no other hint: the usage says the
// order wherever a pair is named.
TEST(UsageText, NamesTheEyeOfEachPictureOfAPair) {
    const std::string usage = UsageText();
    EXPECT_NE(usage.find("--mode standard RIGHT_EYE LEFT_EYE -o OUTPUT\n"), std::string::npos);
    EXPECT_NE(usage.find("standard: RIGHT_EYE and LEFT_EYE"), std::string::npos);
    EXPECT_EQ(usage.find("FIRST"), std::string::npos);
    EXPECT_EQ(usage.find("SECOND"), std::string::npos);
    EXPECT_NE(
        Parse({"--mode", "standard", "a.png", "-o", "x.jpg"}).message().find("RIGHT_EYE LEFT_EYE"),
        std::string::npos);
}

TEST(PlanJobs, BatchOutputsAreNamedAfterTheirInputs) {
    const Result<CliOptions> p =
        Parse({"/a/hall.tif", "b/pano.old.jpg", "photo", "--output-dir", "out", "--format", "bmp"});
    ASSERT_TRUE(p.ok()) << p.message();
    const Result<std::vector<ConversionJob>> planned = PlanJobs(p.value());
    ASSERT_TRUE(planned.ok()) << planned.message();
    const std::vector<ConversionJob>& jobs = planned.value();
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].output, "out/hall_Unwrapped.bmp");
    EXPECT_EQ(jobs[1].output, "out/pano.old_Unwrapped.bmp");
    EXPECT_EQ(jobs[2].output, "out/photo_Unwrapped.bmp");
}

TEST(PlanJobs, StandardBatchTakesPairsAndCollidingNamesAreRefused) {
    const Result<CliOptions> pairs =
        Parse({"--mode", "standard", "l1.png", "r1.png", "l2.png", "r2.png", "--output-dir", "o"});
    ASSERT_TRUE(pairs.ok()) << pairs.message();
    const Result<std::vector<ConversionJob>> planned = PlanJobs(pairs.value());
    ASSERT_TRUE(planned.ok()) << planned.message();
    const std::vector<ConversionJob>& jobs = planned.value();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[1].first, "l2.png");
    EXPECT_EQ(jobs[1].second, "r2.png");
    EXPECT_EQ(jobs[1].output, "o/l2_Unwrapped.jpg");

    const Result<CliOptions> same = Parse({"x/a.png", "y/a.jpg", "--output-dir", "o"});
    ASSERT_TRUE(same.ok());
    const Result<std::vector<ConversionJob>> colliding = PlanJobs(same.value());
    ASSERT_FALSE(colliding.ok());
    EXPECT_NE(colliding.message().find("o/a_Unwrapped.jpg"), std::string::npos)
        << colliding.message();
}

TEST(ProgressLine, ShowsFilesDoneFailuresAndTheRate) {
    EXPECT_EQ(ProgressLine(0, 10, 0, 0.0), "0 of 10 files done");
    EXPECT_EQ(ProgressLine(3, 10, 0, 40.0), "3 of 10 files done (4.5 files a minute)");
    EXPECT_EQ(ProgressLine(9, 10, 2, 3.0), "9 of 10 files done, 2 failed (180 files a minute)");
}

TEST(ParseCommandLine, BatchAtScaleOptions) {
    const Result<CliOptions> p = Parse(
        {"--jobs", "3", "--report=r.jsonl", "--skip-existing", "a.png", "--output-dir", "out"});
    ASSERT_TRUE(p.ok()) << p.message();
    EXPECT_EQ(p.value().jobs, 3);
    EXPECT_EQ(p.value().report, "r.jsonl");
    EXPECT_TRUE(p.value().skipExisting);
    for (const auto& args : {std::vector<std::string>{"--jobs", "0", "a.png", "-o", "x.bmp"},
                             {"--jobs", "257", "a.png", "-o", "x.bmp"},
                             {"--report", "", "a.png", "-o", "x.bmp"}}) {
        EXPECT_FALSE(Parse(args).ok()) << args[0] << " " << args[1];
    }
    // --help and --version answer whatever else the line holds.
    const Result<CliOptions> version = Parse({"--version", "--frobnicate"});
    ASSERT_TRUE(version.ok());
    EXPECT_TRUE(version.value().showVersion);
    EXPECT_EQ(VersionText().rfind("k3v-convert ", 0), 0u);
}

TEST(ReportLine, EscapesNamesAndMessagesAsJson) {
    JobOutcome outcome;
    outcome.input = "dir/a \"b\"\\c.jpg";
    outcome.outputs = {"o/x_left.jpg", "o/x_right.jpg"};
    outcome.status = JobOutcome::Status::Failed;
    outcome.message = "tab\there\x01";
    outcome.width = 40;
    outcome.height = 20;
    outcome.seconds = 1.25;
    EXPECT_EQ(ReportLine(outcome),
              R"({"input":"dir/a \"b\"\\c.jpg","outputs":["o/x_left.jpg","o/x_right.jpg"],)"
              R"("status":"failed","message":"tab\there\u0001","width":40,"height":20,)"
              R"("seconds":1.250})");
}

}  // namespace
}  // namespace k3v
