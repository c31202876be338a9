// k3v-convert run as a process on real files; its BMP files are read back with Qt's reader
// and compared with the engine's own result for the same settings.

#include <gtest/gtest.h>

#include <unistd.h>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "input/picture_decoder.h"
#include "output/output_picture.h"
#include "stereo/conversion.h"
#include "tests/support/as_nobody.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::ReadBytes;
using testing::RunProcess;
using testing::TempFolder;
using testing::WriteBytes;

testing::ProcessResult Convert(const TempFolder& folder, const std::vector<std::string>& args,
                               const std::string& prefix = "") {
    return RunProcess(K3V_CONVERT, args, folder.path().string(), prefix);
}

// A picture with smooth and hard structure in every channel.
std::string MakePicture(const TempFolder& folder, const std::string& name, int w, int h, int seed) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int r = (x * 255 / std::max(1, w - 1) + seed * 40) & 0xFF;
            const int g = ((x ^ y) * 37 + seed * 11) & 0xFF;
            const int b = (y * 255 / std::max(1, h - 1)) ^ (((x / 3 + y / 2) % 2) * 90);
            image.setPixel(x, y, qRgb(r, g, b & 0xFF));
        }
    }
    const std::string path = folder.file(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
    return path;
}

struct Variant {
    std::string mode, layout, kind;
    std::vector<std::string> filters;
};

ConversionSettings SettingsOf(const Variant& v) {
    ConversionSettings s;
    s.TransformationMode = v.mode == "standard" ? kStandardStereo : kK3vStereo;
    s.StereoLayout = v.layout == "anaglyph"   ? kAnaglyph
                     : v.layout == "vertical" ? kSideBySideVertical
                                              : kSideBySideHorizontal;
    s.SourceKind = v.kind == "photo" ? kStillPhoto : kPanorama;
    for (size_t i = 0; i + 1 < v.filters.size(); i += 2) {
        const std::string& option = v.filters[i];
        const int value = std::stoi(v.filters[i + 1]);
        if (option == "--effect")
            s.StereoEffect = int16_t(value);
        if (option == "--depth")
            s.DepthOn = 1, s.DepthValue = value;
        if (option == "--sharpen")
            s.SharpenOn = 1, s.SharpenLevel = value;
        if (option == "--sharpen-blend")
            s.SharpenBlend = value;
        if (option == "--brightness")
            s.BrightnessOn = 1, s.Brightness = value;
        if (option == "--contrast")
            s.ContrastOn = 1, s.Contrast = value;
        if (option == "--noise")
            s.NoiseOn = 1, s.NoisePasses = value;
    }
    return s;
}

// What the engine gives for the same pictures and settings, as bottom-up rows.
std::vector<uint32_t> ExpectedPixels(const std::string& first, const std::string& second,
                                     const ConversionSettings& settings, int32_t& w, int32_t& h,
                                     const std::string& depthMap = "") {
    StereoPlanes planes;
    PixelPlane one;
    EXPECT_TRUE(DecodePictureFile(first, one).ok());
    EXPECT_TRUE(InstallFirstPicture(planes, std::move(one)).ok());
    if (!depthMap.empty()) {
        PixelPlane map;
        EXPECT_TRUE(DecodePictureFile(depthMap, map).ok());
        EXPECT_TRUE(InstallDepthMap(planes, map).ok());
    }
    if (!second.empty()) {
        PixelPlane two;
        EXPECT_TRUE(DecodePictureFile(second, two).ok());
        EXPECT_TRUE(InstallSecondPicture(planes, std::move(two)).ok());
    }
    ConvertPlanes(settings, planes);
    const OutputPicture picture(settings, planes);
    w = int32_t(picture.width());
    h = int32_t(picture.height());
    std::vector<uint32_t> storage;
    const uint32_t* pixels = picture.contiguous(storage).value();
    return {pixels, pixels + size_t(w) * size_t(h)};
}

class ConvertToBmp : public ::testing::TestWithParam<std::tuple<std::pair<int, int>, Variant>> {};

TEST_P(ConvertToBmp, WritesExactlyTheEnginesPictureReadableByQt) {
    const auto [size, variant] = GetParam();
    const auto [w, h] = size;
    TempFolder folder;
    const std::string first = MakePicture(folder, "first.png", w, h, 1);
    const std::string second =
        variant.mode == "standard" ? MakePicture(folder, "second.png", w, h, 2) : "";
    std::vector<std::string> args = {"--mode",       variant.mode, "--layout",
                                     variant.layout, "--kind",     variant.kind};
    args.insert(args.end(), variant.filters.begin(), variant.filters.end());
    args.push_back(first);
    if (!second.empty()) {
        args.push_back(second);
    }
    args.insert(args.end(), {"-o", folder.file("out.bmp")});
    const auto run = Convert(folder, args);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    int32_t ew = 0;
    int32_t eh = 0;
    const std::vector<uint32_t> expected =
        ExpectedPixels(first, second, SettingsOf(variant), ew, eh);
    const std::vector<uint8_t> bytes = ReadBytes(folder.file("out.bmp"));
    ASSERT_EQ(bytes.size(), 54u + 4u * size_t(ew) * size_t(eh));
    EXPECT_EQ(std::memcmp(bytes.data() + 54, expected.data(), expected.size() * 4), 0);

    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(folder.file("out.bmp"))));
    ASSERT_EQ(image.width(), ew);
    ASSERT_EQ(image.height(), eh);
    for (int32_t y = 0; y < eh; ++y) {
        for (int32_t x = 0; x < ew; ++x) {
            const uint32_t want = expected[size_t(eh - 1 - y) * size_t(ew) + size_t(x)];
            ASSERT_EQ(image.pixel(x, y) & 0x00FFFFFFu, want & 0x00FFFFFFu) << x << "," << y;
        }
    }
}

const Variant kVariants[] = {
    {"k3v", "anaglyph", "panorama", {}},
    {"k3v", "anaglyph", "photo", {"--effect", "-4", "--depth", "20"}},
    {"k3v", "vertical", "panorama", {"--depth", "30", "--sharpen", "3", "--sharpen-blend", "0"}},
    {"k3v", "horizontal", "photo", {"--noise", "2", "--brightness", "140", "--contrast", "200"}},
    {"standard", "anaglyph", "photo", {"--effect", "7", "--sharpen", "5", "--noise", "5"}},
    {"standard", "vertical", "panorama", {"--contrast", "60", "--depth", "90"}},
    {"standard", "horizontal", "panorama", {"--brightness", "255", "--effect", "10"}},
    {"k3v",
     "anaglyph",
     "panorama",
     {"--effect", "10", "--depth", "20", "--sharpen", "5", "--sharpen-blend", "3", "--noise", "5",
      "--brightness", "200", "--contrast", "255"}},
};

INSTANTIATE_TEST_SUITE_P(SizesAndSettings, ConvertToBmp,
                         ::testing::Combine(::testing::Values(std::pair{1, 1}, std::pair{5, 2},
                                                              std::pair{37, 23}, std::pair{23, 37},
                                                              std::pair{130, 4}),
                                            ::testing::ValuesIn(kVariants)));

// Peak signal-to-noise ratio of a decoded JPEG against the engine's pixels, in dB.
double Psnr(const QImage& image, const std::vector<uint32_t>& expected, int32_t w, int32_t h) {
    double squares = 0;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t want = expected[size_t(h - 1 - y) * size_t(w) + size_t(x)];
            const QRgb got = image.pixel(x, y);
            for (const auto& [a, b] : {std::pair{qRed(got), int(want >> 16 & 0xFF)},
                                       std::pair{qGreen(got), int(want >> 8 & 0xFF)},
                                       std::pair{qBlue(got), int(want & 0xFF)}}) {
                squares += double((a - b) * (a - b));
            }
        }
    }
    const double mse = squares / (3.0 * double(w) * double(h));
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

TEST(ConvertToJpeg, EveryLayoutDecodesAtItsSizeAndCloseToTheEngine) {
    TempFolder folder;
    const std::string input = MakePicture(folder, "in.png", 37, 23, 4);
    for (const Variant& variant : kVariants) {
        if (variant.mode == "standard") {
            continue;
        }
        std::vector<std::string> args = {"--layout", variant.layout, "--kind", variant.kind};
        args.insert(args.end(), variant.filters.begin(), variant.filters.end());
        args.insert(args.end(), {input, "-o", folder.file("out.jpg")});
        const auto run = Convert(folder, args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        int32_t w = 0;
        int32_t h = 0;
        const std::vector<uint32_t> expected = ExpectedPixels(input, "", SettingsOf(variant), w, h);
        QImage image;
        ASSERT_TRUE(image.load(QString::fromStdString(folder.file("out.jpg")), "JPEG"));
        ASSERT_EQ(image.width(), w);
        ASSERT_EQ(image.height(), h);
        // Quality 100 without chroma subsampling: a broken encoder lands far below 40 dB.
        EXPECT_GT(Psnr(image, expected, w, h), 40.0) << variant.layout << " " << variant.kind;
    }
}

TEST(ConvertToJpeg, QualityAndBatchFormatAreHonoured) {
    TempFolder folder;
    const std::string input = MakePicture(folder, "pano.png", 300, 100, 5);
    ASSERT_EQ(Convert(folder, {input, "-o", folder.file("q100.jpg")}).exitCode, 0);
    ASSERT_EQ(Convert(folder, {"--quality", "50", input, "-o", folder.file("q50.JPEG")}).exitCode,
              0);
    EXPECT_LT(ReadBytes(folder.file("q50.JPEG")).size() * 2,
              ReadBytes(folder.file("q100.jpg")).size());
    std::filesystem::create_directory(folder.file("out"));
    ASSERT_EQ(Convert(folder, {input, "--output-dir", folder.file("out")}).exitCode, 0);
    const std::vector<uint8_t> batch = ReadBytes(folder.file("out/pano_Unwrapped.jpg"));
    EXPECT_EQ(batch, ReadBytes(folder.file("q100.jpg")));
}

TEST(ConvertToJpeg, PicturesWiderThanAJpegCanHoldAreRefused) {
    TempFolder folder;
    QImage wide(32768, 2, QImage::Format_RGB32);
    wide.fill(qRgb(10, 20, 30));
    ASSERT_TRUE(wide.save(QString::fromStdString(folder.file("wide.png"))));
    const auto run = Convert(
        folder, {"--layout", "horizontal", folder.file("wide.png"), "-o", folder.file("wide.jpg")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("65535"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder.file("wide.jpg")));
    const auto bmp = Convert(
        folder, {"--layout", "horizontal", folder.file("wide.png"), "-o", folder.file("wide.bmp")});
    EXPECT_EQ(bmp.exitCode, 0) << bmp.err;
}

TEST(ConvertToJpeg, AFailedJpegWriteKeepsTheOldFile) {
    TempFolder folder;
    const std::string input = MakePicture(folder, "in.png", 400, 300, 6);
    WriteBytes(folder.file("old.jpg"), {7, 7, 7});
    const auto full = Convert(folder, {input, "-o", folder.file("old.jpg")}, "ulimit -f 8;");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("old.jpg"), std::string::npos) << full.err;
    EXPECT_EQ(ReadBytes(folder.file("old.jpg")), (std::vector<uint8_t>{7, 7, 7}));
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"in.png", "old.jpg"}));
}

// A batch as TIFF gives the BMP's pixels; TIFF compression with another output is a usage
// error that writes nothing.
TEST(ConvertToTiff, BatchFormatTifGivesTheBmpsPixels) {
    TempFolder folder;
    const std::string input = MakePicture(folder, "pano.png", 300, 100, 7);
    const std::vector<std::string> layout = {"--layout", "horizontal"};
    std::vector<std::string> args = layout;
    args.insert(args.end(), {"--format", "tif", "--tiff-compression", "lzw", input, "--output-dir",
                             folder.file("out")});
    std::filesystem::create_directory(folder.file("out"));
    const auto batch = Convert(folder, args);
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_EQ(batch.out, "Saved \"" + folder.file("out/pano_Unwrapped.tif") + "\"\n");
    args = layout;
    args.insert(args.end(), {input, "-o", folder.file("pano.bmp")});
    ASSERT_EQ(Convert(folder, args).exitCode, 0);
    QImage tiff, bmp;
    ASSERT_TRUE(tiff.load(QString::fromStdString(folder.file("out/pano_Unwrapped.tif"))));
    ASSERT_TRUE(bmp.load(QString::fromStdString(folder.file("pano.bmp"))));
    EXPECT_EQ(tiff.size(), QSize(600, 100));
    EXPECT_EQ(tiff.convertToFormat(QImage::Format_RGB32),
              bmp.convertToFormat(QImage::Format_RGB32));

    const auto refused =
        Convert(folder, {"--tiff-compression", "none", input, "-o", folder.file("pano.jpg")});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("--tiff-compression goes with a TIFF output"), std::string::npos)
        << refused.err;
    EXPECT_FALSE(std::filesystem::exists(folder.file("pano.jpg")));
}

TEST(ConvertErrors, UsageErrorsExitWithTwoAndAHint) {
    TempFolder folder;
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"--effect", "12", "a.png", "-o", "x.bmp"},
                                                 {"--frobnicate"}}) {
        const auto run = Convert(folder, args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("k3v-convert --help"), std::string::npos) << run.err;
    }
    const auto help = Convert(folder, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--output-dir"), std::string::npos);
}

TEST(ConvertErrors, UnreadableInputExitsWithOneAndLeavesTheOutputAlone) {
    TempFolder folder;
    WriteBytes(folder.file("out.bmp"), {9, 9, 9});
    WriteBytes(folder.file("broken.png"), {0x89, 'P', 'N', 'G', 1, 2, 3});
    for (const std::string name : {"broken.png", "missing.jpg"}) {
        const auto run = Convert(folder, {folder.file(name), "-o", folder.file("out.bmp")});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find(folder.file(name)), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(folder.file("out.bmp")), (std::vector<uint8_t>{9, 9, 9}));
    }
}

TEST(ConvertErrors, FailedWritesAreReportedAndLeaveNothingBehind) {
    TempFolder folder;
    const std::string input = MakePicture(folder, "in.png", 300, 200, 3);
    const auto missing = Convert(folder, {input, "-o", folder.file("nowhere/out.bmp")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;

    // A disk that fills up: the file-size limit lets 8 KB through, the BMP needs 240 KB.
    WriteBytes(folder.file("old.bmp"), {1, 2, 3, 4});
    const auto full = Convert(folder, {input, "-o", folder.file("old.bmp")}, "ulimit -f 16;");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("File too large"), std::string::npos) << full.err;
    EXPECT_EQ(full.out.find("Saved"), std::string::npos);
    EXPECT_EQ(ReadBytes(folder.file("old.bmp")), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"in.png", "old.bmp"}));

    const auto same = Convert(folder, {input, "-o", input});
    EXPECT_EQ(same.exitCode, 2);  // a .png output name is refused before any work
    std::filesystem::copy_file(input, folder.file("in.bmp"));
    const auto overwriteInput =
        Convert(folder, {folder.file("in.bmp"), "-o", folder.file("in.bmp")});
    EXPECT_EQ(overwriteInput.exitCode, 1);
    EXPECT_NE(overwriteInput.err.find("input"), std::string::npos) << overwriteInput.err;
}

// The first picture is the right eye's view. A 3D TV's half side-by-side mode wants the left
// eye's view on the left; an MPO is left eye first and a JPS cross-eyed whatever the order;
// --swap-eyes exchanges the eyes of every output.
TEST(ConvertStereoOrder, EachOutputPutsTheEyeItsViewerExpectsFirst) {
    TempFolder folder;
    const auto plain = [&folder](const std::string& name, QRgb colour) {
        QImage image(8, 4, QImage::Format_RGB32);
        image.fill(colour);
        EXPECT_TRUE(image.save(QString::fromStdString(folder.file(name))));
        return folder.file(name);
    };
    const std::string rightEye = plain("right.png", qRgb(220, 30, 30));
    const std::string leftEye = plain("left.png", qRgb(30, 30, 220));
    struct Case {
        std::vector<std::string> options;
        std::string output;
        bool leftEyeFirst;  // on the left, on top, or the first image
    };
    const Case cases[] = {
        {{"--layout", "horizontal"}, "cross.bmp", false},
        {{"--layout", "horizontal", "--half"}, "tv.bmp", true},
        {{"--layout", "horizontal", "--half", "--order", "cross"}, "tv_cross.bmp", false},
        {{"--layout", "horizontal", "--half", "--swap-eyes"}, "tv_swapped.bmp", false},
        {{"--layout", "horizontal", "--order", "parallel"}, "parallel.jpg", true},
        {{"--layout", "vertical", "--order", "parallel"}, "vertical.bmp", true},
        {{"--order", "parallel", "--half"}, "pair.jps", false},
        {{"--order", "parallel"}, "pair.mpo", true},
        {{"--swap-eyes"}, "swapped.mpo", false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--mode", "standard"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {rightEye, leftEye, "-o", folder.file(c.output)});
        const auto run = Convert(folder, args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        QImage saved;  // of an MPO, Qt reads the first image
        ASSERT_TRUE(saved.load(QString::fromStdString(folder.file(c.output)),
                               c.output.ends_with(".bmp") ? "BMP" : "JPEG"));
        const bool leftEyeFirst = qBlue(saved.pixel(1, 1)) > qRed(saved.pixel(1, 1));
        EXPECT_EQ(leftEyeFirst, c.leftEyeFirst) << c.output;
    }
}

TEST(ConvertBatch, GoesOnPastAFailedFileAndNamesEachOutput) {
    TempFolder folder;
    const std::string a = MakePicture(folder, "a.png", 20, 10, 1);
    const std::string b = MakePicture(folder, "b two.png", 20, 10, 2);
    WriteBytes(folder.file("bad.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0, 2});
    std::filesystem::create_directory(folder.file("out"));
    const auto run = Convert(folder, {"--format", "bmp", a, folder.file("bad.jpg"), b,
                                      "--output-dir", folder.file("out")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("bad.jpg"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::exists(folder.file("out/a_Unwrapped.bmp")));
    EXPECT_TRUE(std::filesystem::exists(folder.file("out/b two_Unwrapped.bmp")));
    EXPECT_FALSE(std::filesystem::exists(folder.file("out/bad_Unwrapped.bmp")));
}

TEST(ConvertBatch, StandardPairsOfUnequalSizeAreRefusedWithBothSizes) {
    TempFolder folder;
    const std::string l = MakePicture(folder, "l.png", 20, 10, 1);
    const std::string r = MakePicture(folder, "r.png", 21, 10, 2);
    const auto run = Convert(folder, {"--mode", "standard", l, r, "-o", folder.file("x.bmp")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Panorama.1: 20x10 Panorama.2: 21x10"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder.file("x.bmp")));
}

// Each input's depth map comes from the map folder; a missing map or one of another size fails
// only its own file, and a mapped 360-degree conversion is exactly the engine's.
TEST(ConvertBatch, DepthMapsComeFromTheirFolderAndAFaultyMapFailsItsFileAlone) {
    TempFolder folder;
    std::filesystem::create_directories(folder.file("maps"));
    std::filesystem::create_directories(folder.file("out"));
    const std::string a = MakePicture(folder, "a.png", 40, 20, 1);
    const std::string b = MakePicture(folder, "b.png", 40, 20, 2);
    const std::string c = MakePicture(folder, "c.png", 30, 20, 3);
    const std::string aMap = MakePicture(folder, "maps/a_depth.png", 40, 20, 4);
    MakePicture(folder, "maps/c_depth.jpg", 31, 20, 5);
    const auto run = Convert(
        folder, {"--depth", "20", "--wrap", "--invert-depth-map", "--format", "bmp", a, b, c,
                 "--output-dir", folder.file("out"), "--depth-map-dir", folder.file("maps")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no depth map for \"" + b + "\""), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the depth map has 31 x 20 pixels, the picture 30 x 20"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(folder.entries("out"), std::vector<std::string>{"a_Unwrapped.bmp"});

    ConversionSettings settings;
    settings.DepthOn = 1;
    settings.DepthValue = 20;
    settings.WrapAround = true;
    settings.InvertDepthMap = true;
    int32_t w = 0;
    int32_t h = 0;
    const std::vector<uint32_t> expected = ExpectedPixels(a, "", settings, w, h, aMap);
    const std::vector<uint8_t> bytes = ReadBytes(folder.file("out/a_Unwrapped.bmp"));
    ASSERT_EQ(bytes.size(), 54u + 4u * expected.size());
    EXPECT_EQ(std::memcmp(bytes.data() + 54, expected.data(), expected.size() * 4), 0);
}

// Under a process limit that leaves no room for another thread (as in a container), a batch
// with heavy settings still converts, on the one thread it has, to the same bytes.
TEST(ConvertBatch, NoRoomForAThreadGivesTheSameFiles) {
    const TempFolder folder;
    const std::vector<std::string> inputs = {MakePicture(folder, "a.png", 2000, 1200, 1),
                                             MakePicture(folder, "b.png", 1900, 1100, 2)};
    // A limit of one process does not bind root, so the limited run drops to "nobody", which
    // needs to reach the folder.
    std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
    const testing::AsNobody nobody(K3V_CONVERT);
    // The leak checker needs a thread of its own at exit: off for the limited run.
    const std::string limited =
        "exec env ASAN_OPTIONS=detect_leaks=0 " + nobody.prefix() + " prlimit --nproc=1 --";
    const std::vector<std::string> settings = {"--depth", "40", "--noise", "3", "--sharpen", "2"};
    for (const std::string format : {"jpg", "bmp"}) {
        std::vector<std::string> args = settings;
        args.insert(args.end(), inputs.begin(), inputs.end());
        const auto run = [&](const std::string& out, const std::string& program,
                             const std::string& prefix) {
            std::filesystem::create_directory(folder.file(out));
            std::filesystem::permissions(folder.file(out), std::filesystem::perms::all);
            std::vector<std::string> all = args;
            all.insert(all.end(), {"--output-dir", folder.file(out), "--format", format});
            return RunProcess(program, all, folder.path().string(), prefix);
        };
        const auto free = run("free-" + format, K3V_CONVERT, "");
        const auto alone = run("alone-" + format, nobody.program(), limited);
        ASSERT_EQ(free.exitCode, 0) << free.err;
        ASSERT_EQ(alone.exitCode, 0) << alone.err;
        for (const char* name : {"a_Unwrapped.", "b_Unwrapped."}) {
            const auto expected = ReadBytes(folder.file("free-" + format + "/" + name + format));
            ASSERT_FALSE(expected.empty());
            EXPECT_EQ(ReadBytes(folder.file("alone-" + format + "/" + name + format)), expected)
                << name << format;
        }
    }
}

// Saves on four workers at once: every output's mode follows the umask exactly. (A save that
// set the umask to read it could leave another worker's file, or the whole process, at 0000.)
TEST(ConvertBatch, ParallelSavesGiveEveryOutputTheModeTheUmaskAsks) {
    const TempFolder folder;
    std::vector<std::string> inputs;
    for (int i = 0; i < 200; ++i) {
        inputs.push_back(MakePicture(folder, "p" + std::to_string(i) + ".png", 8, 4, i));
    }
    for (const auto& [umask, mode] : {std::pair{"022", 0644}, std::pair{"077", 0600}}) {
        const std::string out = folder.file(std::string("out") + umask);
        std::filesystem::create_directory(out);
        std::vector<std::string> args = {"--jobs", "4", "--format", "bmp", "--output-dir", out};
        args.insert(args.end(), inputs.begin(), inputs.end());
        const auto run = Convert(folder, args, std::string("umask ") + umask + ";");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        int wrong = 0;
        for (const auto& entry : std::filesystem::directory_iterator(out)) {
            wrong += entry.status().permissions() != std::filesystem::perms(mode);
        }
        EXPECT_EQ(wrong, 0) << "umask " << umask;
        EXPECT_EQ(folder.entries(std::string("out") + umask).size(), inputs.size());
    }
}

// The report's lines as JSON objects, keyed by the input's file name.
std::vector<QJsonObject> ReportLines(const std::string& path) {
    std::vector<QJsonObject> lines;
    std::istringstream in(testing::Slurp(path));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
        EXPECT_FALSE(lines.back().isEmpty()) << line;
    }
    return lines;
}

TEST(ConvertBatch, ReportsEachInputAndResumesWithSkipExisting) {
    TempFolder folder;
    const std::string a = MakePicture(folder, "a.png", 20, 10, 1);
    const std::string b = MakePicture(folder, "b.png", 30, 12, 2);
    WriteBytes(folder.file("bad.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0, 2});
    std::filesystem::create_directory(folder.file("out"));
    const std::string report = folder.file("report.jsonl");
    const auto first =
        Convert(folder, {"--jobs", "2", "--report", report, "--format", "bmp", a,
                         folder.file("bad.jpg"), b, "--output-dir", folder.file("out")});
    EXPECT_EQ(first.exitCode, 1);
    std::map<std::string, QJsonObject> byInput;
    for (const QJsonObject& line : ReportLines(report)) {
        byInput[line["input"].toString().toStdString()] = line;
    }
    ASSERT_EQ(byInput.size(), 3u);
    EXPECT_EQ(byInput[a]["status"], "ok");
    EXPECT_EQ(byInput[a]["outputs"].toArray().at(0),
              QString::fromStdString(folder.file("out/a_Unwrapped.bmp")));
    EXPECT_EQ(byInput[b]["width"], 30);
    EXPECT_EQ(byInput[b]["height"], 12);
    EXPECT_EQ(byInput[folder.file("bad.jpg")]["status"], "failed");
    EXPECT_TRUE(byInput[folder.file("bad.jpg")]["message"].toString().contains("bad.jpg"));

    // A stand-in for a's output shows that a skipped input is not written again.
    WriteBytes(folder.file("out/a_Unwrapped.bmp"), {1, 2, 3});
    const std::vector<uint8_t> bBytes = ReadBytes(folder.file("out/b_Unwrapped.bmp"));
    std::filesystem::remove(folder.file("out/b_Unwrapped.bmp"));
    const auto resumed = Convert(folder, {"--skip-existing", "--report", report, "--format", "bmp",
                                          a, b, "--output-dir", folder.file("out")});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_NE(resumed.out.find("Skipped \"" + a + "\""), std::string::npos) << resumed.out;
    EXPECT_EQ(ReadBytes(folder.file("out/a_Unwrapped.bmp")), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(ReadBytes(folder.file("out/b_Unwrapped.bmp")), bBytes);
    const std::vector<QJsonObject> all = ReportLines(report);
    ASSERT_EQ(all.size(), 5u);  // appended to the first run's three
    EXPECT_EQ(all[3]["status"].toString() + all[4]["status"].toString(),
              all[3]["input"].toString() == QString::fromStdString(a) ? "skippedok" : "okskipped");

    // A report that stops taking lines fails the batch, whose pictures are still saved.
    std::filesystem::create_directory(folder.file("full"));
    const auto full = Convert(folder, {"--report", "/dev/full", "--format", "bmp", a, b,
                                       "--output-dir", folder.file("full")});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("Cannot write \"/dev/full\": No space left on device"),
              std::string::npos)
        << full.err;
    EXPECT_EQ(ReadBytes(folder.file("full/b_Unwrapped.bmp")), bBytes);

    const auto version = Convert(folder, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("k3v-convert ", 0), 0u) << version.out;
}

}  // namespace
}  // namespace k3v
