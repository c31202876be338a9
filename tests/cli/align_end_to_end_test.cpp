// --align and --stereo-window through k3v-convert: the options' checks, an aligned pair's
// report, and a pair that cannot be aligned failing alone.

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <filesystem>

#include "cli/cli_options.h"
#include "job/stereo_job.h"
#include "output/output_target.h"
#include "tests/support/misaligned_pair.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::RunProcess;
using testing::TempFolder;

testing::ProcessResult Convert(const TempFolder& folder, const std::vector<std::string>& args) {
    return RunProcess(K3V_CONVERT, args, folder.path().string());
}

std::string Save(const TempFolder& folder, const QImage& image, const std::string& name) {
    const std::string path = folder.file(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
    return path;
}

// The right eye's picture and the left eye's, turned 1 degree, 1 % larger and 8 px lower.
std::pair<std::string, std::string> MisalignedPair(const TempFolder& folder) {
    const QImage right = testing::TexturedPicture(480, 360, 7);
    return {Save(folder, right, "right.png"),
            Save(folder, testing::Misaligned(right, 1.0, 1.01, 8.0), "left.png")};
}

QJsonObject OnlyReportLine(const std::string& path) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(testing::Slurp(path))).object();
}

TEST(AlignOptions, StereoWindowTakesAutoOrPixelsAndBothWantStandardMode) {
    const auto parse = [](std::vector<std::string> args) {
        args.insert(args.end(), {"--mode", "standard", "r.png", "l.png", "-o", "x.bmp"});
        return ParseCommandLine(args);
    };
    const Result<CliOptions> automatic = parse({"--stereo-window", "auto"});
    ASSERT_TRUE(automatic.ok()) << automatic.message();
    EXPECT_TRUE(automatic.value().alignment.stereoWindow);
    EXPECT_EQ(automatic.value().alignment.windowBehind, 0);
    EXPECT_FALSE(automatic.value().alignment.align);
    const Result<CliOptions> behind = parse({"--align", "--stereo-window=12"});
    ASSERT_TRUE(behind.ok()) << behind.message();
    EXPECT_TRUE(behind.value().alignment.align);
    EXPECT_EQ(behind.value().alignment.windowBehind, 12);
    for (const std::string value : {"-1", "near", "auto2", "1.5"}) {
        const Result<CliOptions> refused = parse({"--stereo-window", value});
        EXPECT_EQ(refused.message(),
                  "--stereo-window takes auto or a whole number of pixels, 0 "
                  "or more, not \"" +
                      value + "\"");
    }
    EXPECT_FALSE(parse({}).value().alignment.any());

    TempFolder folder;
    const auto k3v = Convert(folder, {"--align", "a.png", "-o", folder.file("x.bmp")});
    EXPECT_EQ(k3v.exitCode, 2);
    EXPECT_NE(k3v.err.find("--align works with --mode standard, not in k3v mode"),
              std::string::npos)
        << k3v.err;
    const auto window = Convert(folder, {"--stereo-window", "auto", "a.png", "-o", "x.bmp"});
    EXPECT_EQ(window.exitCode, 2);
    EXPECT_NE(window.err.find("--stereo-window works with --mode standard"), std::string::npos)
        << window.err;
}

TEST(AlignConvert, AMisalignedPairIsCorrectedCroppedAndReported) {
    TempFolder folder;
    const auto [right, left] = MisalignedPair(folder);
    const std::string report = folder.file("report.jsonl");
    const std::string output = folder.file("pair.bmp");
    const auto run = Convert(folder, {"--mode", "standard", "--align", "--layout", "horizontal",
                                      "--report", report, right, left, "-o", output});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Saved \"" + output + "\" (aligned: turned ", 0), 0u) << run.out;

    const QJsonObject line = OnlyReportLine(report);
    EXPECT_EQ(line["status"], "ok");
    EXPECT_EQ(line["aligned"], true);
    EXPECT_NEAR(std::fabs(line["turned_deg"].toDouble()), 1.0, 0.1);
    EXPECT_NEAR(std::fabs(line["scaled_percent"].toDouble()), 1.0, 0.2);
    EXPECT_NEAR(std::fabs(line["moved_px"].toDouble()), 8.0, 0.5);
    EXPECT_EQ(line["width"], 480);  // the pictures' own size; the views' is "cropped"
    const QJsonArray cropped = line["cropped"].toArray();
    ASSERT_EQ(cropped.size(), 2);
    EXPECT_LT(cropped[0].toInt(), 480);
    EXPECT_GT(cropped[0].toInt(), 480 * 85 / 100);
    EXPECT_LT(cropped[1].toInt(), 360);
    EXPECT_NE(run.out.find("cropped to " + std::to_string(cropped[0].toInt()) + " x " +
                           std::to_string(cropped[1].toInt())),
              std::string::npos)
        << run.out;
    // The saved pair holds the two cropped views side by side.
    const QImage saved(QString::fromStdString(output));
    EXPECT_EQ(saved.size(), QSize(2 * cropped[0].toInt(), cropped[1].toInt()));
}

// The batch makes the aligned views a band at a time while it converts them; the files are
// those of aligning the pair in place and converting it whole, as the window does.
TEST(AlignConvert, ViewsMadeInBandsGiveTheWholeConversionsBytes) {
    TempFolder folder;
    const auto [right, left] = MisalignedPair(folder);
    const std::vector<std::vector<std::string>> cases = {
        {"--stereo-window", "4"}, {"--layout", "vertical", "--noise", "2", "--swap-eyes"}};
    for (const auto& extra : cases) {
        std::vector<std::string> args = {"--mode", "standard", "--align"};
        args.insert(args.end(), extra.begin(), extra.end());
        // A JPEG is written from the top, a BMP with mean passes from the bottom.
        const std::string kind = extra[0] == "--layout" ? ".bmp" : ".jpg";
        args.insert(args.end(), {right, left, "-o", folder.file("banded" + kind)});
        const auto run = Convert(folder, args);
        ASSERT_EQ(run.exitCode, 0) << run.err;

        StereoJob job;
        job.settings.TransformationMode = kStandardStereo;
        job.settings.StereoLayout = extra[0] == "--layout" ? kSideBySideVertical : kAnaglyph;
        job.settings.NoiseOn = extra[0] == "--layout" ? 1 : 0;
        job.settings.NoisePasses = 2;
        job.settings.SwapEyes = extra[0] == "--layout";
        ASSERT_TRUE(job.loadFirst(right).ok());
        ASSERT_TRUE(job.loadSecond(left).ok());
        AlignmentRequest request{.align = true};
        request.stereoWindow = extra[0] == "--stereo-window";
        request.windowBehind = 4;
        request.swapEyes = job.settings.SwapEyes;
        ASSERT_TRUE(job.alignPair(request, Progress()).ok());
        ASSERT_TRUE(job.save(OutputTarget(folder.file("whole" + kind), job.settings)).ok());
        EXPECT_TRUE(testing::Slurp(folder.file("banded" + kind)) ==
                    testing::Slurp(folder.file("whole" + kind)))
            << extra[0];
    }
}

TEST(AlignConvert, ABlankPairFailsAloneAndTheBatchGoesOn) {
    TempFolder folder;
    const auto [right, left] = MisalignedPair(folder);
    QImage sky(480, 360, QImage::Format_RGB32);
    sky.fill(QColor(135, 190, 235));
    const std::string blank = Save(folder, sky, "blank.png");
    const std::string blank2 = Save(folder, sky, "blank2.png");
    std::filesystem::create_directory(folder.file("out"));
    const auto run = Convert(folder, {"--mode", "standard", "--align", "--format", "bmp", blank,
                                      blank2, right, left, "--output-dir", folder.file("out")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("k3v-convert: Cannot convert \"" + blank + "\": cannot align: "),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder.file("out/blank_Unwrapped.bmp")));
    EXPECT_TRUE(std::filesystem::exists(folder.file("out/right_Unwrapped.bmp")));
    EXPECT_NE(run.out.find("(aligned: "), std::string::npos) << run.out;
}

}  // namespace
}  // namespace k3v
