#include "input/picture_decoder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <tuple>

#include "tests/support/exif_block.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tiled_tiff.h"

namespace k3v {
namespace {

using testing::MakeTiledTiff;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WithOrientation;
using testing::WriteBytes;

QImage Quadrants(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            const QRgb colour = bottom ? (right ? qRgb(255, 255, 255) : qRgb(0, 0, 255))
                                       : (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0));
            image.setPixel(x, y, colour);
        }
    }
    return image;
}

bool Near(uint32_t pixel, QRgb colour, int tolerance) {
    return std::abs(int(pixel >> 16 & 0xFF) - qRed(colour)) <= tolerance &&
           std::abs(int(pixel >> 8 & 0xFF) - qGreen(colour)) <= tolerance &&
           std::abs(int(pixel & 0xFF) - qBlue(colour)) <= tolerance && (pixel >> 24) == 0;
}

// The colour at (x, y) counted from the top-left, as a viewer shows it.
uint32_t Shown(const PixelPlane& plane, int32_t x, int32_t y) {
    return plane.row(plane.height() - 1 - y)[x];
}

std::string Save(const TempFolder& folder, const QImage& image, const char* name,
                 const char* format, int quality = -1) {
    QImageWriter writer(QString::fromStdString(folder.file(name)), format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return folder.file(name);
}

struct FormatCase {
    const char* file;
    const char* format;
    int tolerance;
};

class DecodeFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DecodeFormats, PixelsArriveBottomUpWithBlueInByteZero) {
    const FormatCase& c = GetParam();
    TempFolder folder;
    const std::string path = Save(folder, Quadrants(32, 16), c.file, c.format, 100);
    PixelPlane plane;
    const Status decoded = DecodePictureFile(path, plane);
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    EXPECT_EQ(plane.width(), 32);
    EXPECT_EQ(plane.height(), 16);
    EXPECT_TRUE(Near(Shown(plane, 2, 2), qRgb(255, 0, 0), c.tolerance));
    EXPECT_TRUE(Near(Shown(plane, 29, 2), qRgb(0, 255, 0), c.tolerance));
    EXPECT_TRUE(Near(Shown(plane, 2, 13), qRgb(0, 0, 255), c.tolerance));
    EXPECT_TRUE(Near(Shown(plane, 29, 13), qRgb(255, 255, 255), c.tolerance));
    EXPECT_EQ(plane.row(16)[31], 0u);  // spare row
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DecodeFormats,
    ::testing::Values(FormatCase{"a.png", "png", 0}, FormatCase{"a.bmp", "bmp", 0},
                      FormatCase{"a.tif", "tiff", 0}, FormatCase{"a.jpg", "jpeg", 12},
                      FormatCase{"a.JPG", "jpeg", 12}, FormatCase{"png_named.jpg", "png", 0}));

TEST(DecodePictureFile, PureRedIsStoredAsRedInByteTwo) {
    TempFolder folder;
    QImage image(1, 1, QImage::Format_RGB32);
    image.fill(qRgb(255, 0, 0));
    PixelPlane plane;
    ASSERT_TRUE(DecodePictureFile(Save(folder, image, "red.png", "png"), plane).ok());
    EXPECT_EQ(plane.data()[0], 0x00FF0000u);
}

TEST(DecodePictureFile, TransparentPixelsAreCompositedOverBlack) {
    TempFolder folder;
    QImage image(3, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 0, 0, 0));
    image.setPixel(1, 0, qRgba(255, 255, 255, 255));
    image.setPixel(2, 0, qRgba(200, 100, 50, 128));
    PixelPlane plane;
    ASSERT_TRUE(DecodePictureFile(Save(folder, image, "alpha.png", "png"), plane).ok());
    EXPECT_EQ(plane.data()[0], 0u);
    EXPECT_EQ(plane.data()[1], 0x00FFFFFFu);
    EXPECT_TRUE(Near(plane.data()[2], qRgb(100, 50, 25), 1));
}

TEST(DecodePictureFile, GreyJpegBecomesGreyPixels) {
    TempFolder folder;
    QImage image(16, 16, QImage::Format_Grayscale8);
    image.fill(77);
    PixelPlane plane;
    ASSERT_TRUE(DecodePictureFile(Save(folder, image, "grey.jpg", "jpeg", 100), plane).ok());
    EXPECT_TRUE(Near(plane.data()[100], qRgb(77, 77, 77), 1));
}

TEST(DecodePictureFile, ExifOrientationTurnsAPhotoUpright) {
    TempFolder folder;
    const std::vector<uint8_t> plain =
        ReadBytes(Save(folder, Quadrants(32, 16), "p.jpg", "jpeg", 100));
    WriteBytes(folder.file("turned.jpg"), WithOrientation(plain, 6));
    PixelPlane plane;
    const Status decoded = DecodePictureFile(folder.file("turned.jpg"), plane);
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    EXPECT_EQ(plane.width(), 16);
    EXPECT_EQ(plane.height(), 32);
    // A quarter turn clockwise: the stored bottom-left (blue) shows at the top-left.
    EXPECT_TRUE(Near(Shown(plane, 2, 2), qRgb(0, 0, 255), 12));
    EXPECT_TRUE(Near(Shown(plane, 13, 2), qRgb(255, 0, 0), 12));
    EXPECT_TRUE(Near(Shown(plane, 13, 29), qRgb(0, 255, 0), 12));
}

TEST(DecodePictureFile, DamagedFilesAreRefusedWithTheReason) {
    TempFolder folder;
    const std::vector<uint8_t> jpeg =
        ReadBytes(Save(folder, Quadrants(64, 64), "j.jpg", "jpeg", 90));
    WriteBytes(folder.file("cut.jpg"), {jpeg.begin(), jpeg.begin() + ptrdiff_t(jpeg.size() / 2)});
    const std::vector<uint8_t> bmp = ReadBytes(Save(folder, Quadrants(64, 64), "b.bmp", "bmp"));
    WriteBytes(folder.file("cut.bmp"), {bmp.begin(), bmp.begin() + ptrdiff_t(bmp.size() / 2)});
    std::vector<uint8_t> noise(5000);
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = uint8_t(i * 2654435761u >> 13);
    }
    WriteBytes(folder.file("noise.png"), noise);
    WriteBytes(folder.file("page.jpg"), {'<', 'h', 't', 'm', 'l', '>'});
    WriteBytes(folder.file("empty.png"), {});
    std::filesystem::create_directory(folder.file("folder.jpg"));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"cut.jpg", "Premature end of JPEG file"},
        {"cut.bmp", "cut short"},
        {"noise.png", ""},
        {"page.jpg", ""},
        {"empty.png", "empty"},
        {"folder.jpg", "folder"},
        {"missing.png", "does not exist"},
    };
    for (const auto& [name, reason] : cases) {
        PixelPlane plane;
        ASSERT_TRUE(plane.allocate(2, 2).ok());
        plane.data()[0] = 1234;
        const Status result = DecodePictureFile(folder.file(name), plane);
        ASSERT_FALSE(result.ok()) << name;
        EXPECT_EQ(result.message().rfind("Cannot load \"" + folder.file(name) + "\": ", 0), 0u)
            << result.message();
        EXPECT_NE(result.message().find(reason), std::string::npos) << result.message();
        EXPECT_EQ(plane.width(), 2) << name << ": the plane must stay as it was";
        EXPECT_EQ(plane.data()[0], 1234u) << name;
    }
}

// Rows are padded to whole 32-bit words: a 37-pixel 24-bit row takes 112 bytes, not 111. A
// top-down file two bytes short of its last row's padding still holds every pixel, and is
// refused all the same, in the words used for any BMP that ends early.
TEST(DecodePictureFile, ABmpShortOfItsRowPaddingIsCutShort) {
    TempFolder folder;
    std::vector<uint8_t> bmp(54 + 112 * 5, 0x40);
    const uint32_t fields[][2] = {{2, uint32_t(bmp.size())}, {10, 54}, {14, 40}, {18, 37},
                                  {22, uint32_t(-5)},        {26, 1},  {28, 24}, {30, 0}};
    std::fill(bmp.begin() + 2, bmp.begin() + 54, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    for (const auto& [at, value] : fields) {
        for (uint32_t i = 0; i < (at == 26 || at == 28 ? 2 : 4); ++i) {
            bmp[at + i] = uint8_t(value >> (8 * i));
        }
    }
    WriteBytes(folder.file("whole.bmp"), bmp);
    WriteBytes(folder.file("cut.bmp"), {bmp.begin(), bmp.end() - 2});
    PixelPlane plane;
    const Status whole = DecodePictureFile(folder.file("whole.bmp"), plane);
    ASSERT_TRUE(whole.ok()) << whole.message();
    EXPECT_EQ(Shown(plane, 36, 4), 0x00404040u);
    EXPECT_EQ(DecodePictureFile(folder.file("cut.bmp"), plane).message(),
              "Cannot load \"" + folder.file("cut.bmp") +
                  "\": the BMP file is cut short: it holds 612 bytes, its header promises 614");
}

// A 3 x 2 GIF, red, green, blue over white, red, green: read through Qt's readers.
const std::vector<uint8_t> kSmallGif = {
    0x47, 0x49, 0x46, 0x38, 0x37, 0x61, 0x03, 0x00, 0x02, 0x00, 0x81, 0x00, 0x00, 0xff, 0x00, 0x00,
    0x00, 0xff, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00,
    0x02, 0x00, 0x00, 0x08, 0x08, 0x00, 0x01, 0x04, 0x10, 0x30, 0x40, 0x60, 0x40, 0x00, 0x3b};

// Qt's readers get the open file, so a name in another encoding than UTF-8 loads as any other.
TEST(DecodePictureFile, ANameThatIsNotUtf8ReachesQtsReaders) {
    TempFolder folder;
    const std::string path = folder.file("caf\xe9.gif");
    WriteBytes(path, kSmallGif);
    PixelPlane plane;
    const Status decoded = DecodePictureFile(path, plane);
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    EXPECT_EQ(Shown(plane, 2, 0), 0x000000FFu);
    EXPECT_EQ(Shown(plane, 0, 1), 0x00FFFFFFu);
    const Result<PictureSize> size = PeekPictureSize(path);
    ASSERT_TRUE(size.ok()) << size.message();
    EXPECT_EQ(size.value().width, 3);
    EXPECT_EQ(size.value().height, 2);
}

// Decoding leaves the process's standard error stream alone: every line another thread
// writes meanwhile reaches it.
TEST(DecodePictureFile, OtherThreadsKeepTheirStandardErrorMeanwhile) {
    TempFolder folder;
    WriteBytes(folder.file("small.gif"), kSmallGif);
    const std::string log = folder.file("stderr.txt");
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int logFile = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(dup2(logFile, STDERR_FILENO), STDERR_FILENO);
    close(logFile);
    std::atomic<bool> decoding{true};
    size_t written = 0;
    std::thread writer([&] {
        for (; decoding.load() || written == 0; ++written) {
            (void)!write(STDERR_FILENO, "x\n", 2);
        }
    });
    int failures = 0;
    for (int i = 0; i < 200; ++i) {
        PixelPlane plane;
        failures += DecodePictureFile(folder.file("small.gif"), plane).ok() ? 0 : 1;
    }
    decoding = false;
    writer.join();
    dup2(saved, STDERR_FILENO);
    close(saved);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(ReadBytes(log).size(), 2 * written);
}

// The formats we decode ourselves tell their size from their headers, even one Qt's reader
// cannot read (found by fuzzing: a letter before the maximum value), so that a batch plans its
// memory without a Qt reader printing to stderr.
TEST(PeekPictureSize, ReadsTheHeadersOfOurOwnFormats) {
    TempFolder folder;
    Save(folder, Quadrants(32, 16), "a.png", "png");
    const std::string header = "P5  27723 37272V3 3";
    WriteBytes(folder.file("a.pgm"), {header.begin(), header.end()});
    for (const auto& [name, width, height] :
         {std::tuple("a.png", 32, 16), std::tuple("a.pgm", 27723, 37272)}) {
        const Result<PictureSize> size = PeekPictureSize(folder.file(name));
        ASSERT_TRUE(size.ok()) << name << ": " << size.message();
        EXPECT_EQ(size.value().width, width);
        EXPECT_EQ(size.value().height, height);
    }
}

TEST(DecodePictureFile, MultiPageTiffGivesItsFirstPage) {
    TempFolder folder;
    const std::string first = Save(folder, Quadrants(8, 8), "1.png", "png");
    QImage second(8, 8, QImage::Format_RGB32);
    second.fill(qRgb(9, 9, 9));
    const std::string other = Save(folder, second, "2.png", "png");
    const std::string tiff = folder.file("pages.tif");
    const std::string command =
        "convert '" + first + "' '" + other + "' '" + tiff + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        GTEST_SKIP() << "ImageMagick's convert is needed to make a multi-page TIFF";
    }
    PixelPlane plane;
    ASSERT_TRUE(DecodePictureFile(tiff, plane).ok());
    EXPECT_TRUE(Near(Shown(plane, 0, 0), qRgb(255, 0, 0), 0));
}

// Large enough for the tile rows to be shared by threads: every pixel must still be where
// ImageMagick puts it (its 16-bit samples, rounded to nearest), and a damaged tile anywhere
// refuses the file with libtiff's reason.
TEST(DecodePictureFile, ALargeTiledTiffArrivesWholeOrIsRefused) {
    TempFolder folder;
    const std::string tiff = folder.file("tiled.tif");
    const std::string samples = "convert '" + tiff +
                                "' -depth 16 -endian LSB 'rgb:" + folder.file("tiled.rgb") +
                                "' 2>/dev/null";
    if (!MakeTiledTiff(tiff, folder.file("damaged.tif")) || std::system(samples.c_str()) != 0) {
        GTEST_SKIP() << "ImageMagick's convert is needed to make a tiled TIFF";
    }
    const std::vector<uint8_t> rgb = ReadBytes(folder.file("tiled.rgb"));
    ASSERT_EQ(rgb.size(), size_t(2000) * 1100 * 6);
    const auto sample = [&](size_t i) {
        return (uint32_t(rgb[2 * i]) | uint32_t(rgb[2 * i + 1]) << 8) * 255 / 65535.0 + 0.5;
    };
    PixelPlane plane;
    const Status decoded = DecodePictureFile(tiff, plane);
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    size_t differences = 0;
    for (int32_t y = 0; y < 1100; ++y) {
        for (int32_t x = 0; x < 2000; ++x) {
            const size_t i = (size_t(y) * 2000 + size_t(x)) * 3;
            differences +=
                Shown(plane, x, y) != (uint32_t(sample(i)) << 16 | uint32_t(sample(i + 1)) << 8 |
                                       uint32_t(sample(i + 2)));
        }
    }
    EXPECT_EQ(differences, 0u);

    const Status refused = DecodePictureFile(folder.file("damaged.tif"), plane);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.message().find("the TIFF data is damaged ("), std::string::npos)
        << refused.message();
    EXPECT_EQ(plane.width(), 2000) << "the plane must stay as it was";
}

TEST(DecodePictureFile, AHundredMegapixelPanoramaLoads) {
    TempFolder folder;
    QImage image(20000, 5000, QImage::Format_Grayscale8);
    image.fill(200);
    image.setPixel(19999, 0, qRgb(7, 7, 7));
    const std::string path = Save(folder, image, "big.png", "png");
    image = QImage();
    PixelPlane plane;
    const Status decoded = DecodePictureFile(path, plane);
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    EXPECT_EQ(plane.width(), 20000);
    EXPECT_EQ(plane.height(), 5000);
    EXPECT_EQ(Shown(plane, 19999, 0), 0x00070707u);
}

}  // namespace
}  // namespace k3v
