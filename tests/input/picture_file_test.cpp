// A PictureFile reads the file it opened and nothing else, tells how far its decode has come
// and stops when cancelled, for every decoder: each format's picture is large enough for
// several bands of rows (a JPEG for two readers, a tiled TIFF for the tile threads).

#include "input/picture_file.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <QImage>
#include <QImageWriter>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "input/picture_decoder.h"
#include "tests/support/progress_recorder.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::ProgressRecorder;
using testing::TempFolder;
using testing::WriteBytes;

// Detail everywhere, different for each `seed`, so that pixels from another file show.
QImage Pattern(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = qRgb((x * 7 + seed * 90) & 0xFF, (y * 3 + seed * 40) & 0xFF, (x ^ y) & 0xFF);
        }
    }
    return image;
}

void SaveWithQt(const std::string& path, const QImage& image, const char* format,
                bool progressive = false) {
    QImageWriter writer(QString::fromStdString(path), format);
    writer.setProgressiveScanWrite(progressive);
    ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
}

// An uncompressed RGB TIFF in 128 x 128 tiles, which Qt's writer does not make.
void SaveTiledTiff(const std::string& path, const QImage& image) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    const auto width = uint32_t(image.width());
    const auto height = uint32_t(image.height());
    constexpr uint32_t kTile = 128;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTile);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, kTile);
    std::vector<uint8_t> tile(kTile * kTile * 3);
    for (uint32_t y0 = 0; y0 < height; y0 += kTile) {
        for (uint32_t x0 = 0; x0 < width; x0 += kTile) {
            for (uint32_t y = 0; y < kTile; ++y) {
                for (uint32_t x = 0; x < kTile; ++x) {
                    const QRgb c = x0 + x < width && y0 + y < height
                                       ? image.pixel(int(x0 + x), int(y0 + y))
                                       : 0;
                    uint8_t* at = &tile[(y * kTile + x) * 3];
                    at[0] = uint8_t(qRed(c));
                    at[1] = uint8_t(qGreen(c));
                    at[2] = uint8_t(qBlue(c));
                }
            }
            ASSERT_GE(TIFFWriteTile(tif, tile.data(), x0, y0, 0, 0), 0);
        }
    }
    TIFFClose(tif);
}

// A text PGM: no decoder of ours reads it, Qt's does.
void SaveTextPgm(const std::string& path, const QImage& image) {
    std::string text =
        "P2\n" + std::to_string(image.width()) + " " + std::to_string(image.height()) + "\n255\n";
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            text += std::to_string(qGray(image.pixel(x, y))) + (x + 1 < image.width() ? " " : "\n");
        }
    }
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

struct Format {
    const char* name;  // the file's name, and the test's
    int width;
    int height;
    std::function<void(const std::string&, const QImage&)> save;
    bool reportsBands;  // Qt's readers tell nothing until done
};

void PrintTo(const Format& format, std::ostream* out) {
    *out << format.name;
}

const Format kFormats[] = {
    {"two_readers.jpg", 2400, 1800, [](auto& p, auto& i) { SaveWithQt(p, i, "jpeg"); }, true},
    {"progressive.jpg", 640, 480, [](auto& p, auto& i) { SaveWithQt(p, i, "jpeg", true); }, true},
    {"rows.png", 300, 200, [](auto& p, auto& i) { SaveWithQt(p, i, "png"); }, true},
    {"tiles.tif", 2048, 1024, SaveTiledTiff, true},
    {"strips.tif", 300, 200, [](auto& p, auto& i) { SaveWithQt(p, i, "tiff"); }, true},
    {"blocks.bmp", 1200, 1000, [](auto& p, auto& i) { SaveWithQt(p, i, "bmp"); }, true},
    {"blocks.ppm", 1200, 1000, [](auto& p, auto& i) { SaveWithQt(p, i, "ppm"); }, true},
    {"text.pgm", 40, 30, SaveTextPgm, false},
};

class EachDecoder : public ::testing::TestWithParam<Format> {
  protected:
    std::string save(int seed, const std::string& name) {
        const Format& f = GetParam();
        const std::string path = folder_.file(name);
        f.save(path, Pattern(f.width, f.height, seed));
        return path;
    }

    TempFolder folder_;
};

bool SamePixels(const PixelPlane& a, const PixelPlane& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           std::memcmp(a.data(), b.data(), a.storedCount() * sizeof(uint32_t)) == 0;
}

// Opening the name again would find another picture under it, then none at all.
TEST_P(EachDecoder, ReadsOnlyTheFileItOpened) {
    const Format& f = GetParam();
    const std::string path = save(1, f.name);
    PixelPlane expected;
    const Status reference = DecodePictureFile(path, expected);
    ASSERT_TRUE(reference.ok()) << reference.message();

    const Result<PictureFile> file = PictureFile::Open(path);
    ASSERT_TRUE(file.ok()) << file.message();
    ASSERT_EQ(std::rename(save(2, "other").c_str(), path.c_str()), 0);
    PixelPlane plane;
    const Status decoded = file.value().decode(plane);
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    EXPECT_TRUE(SamePixels(plane, expected)) << "pixels from the file now under its name";

    ASSERT_EQ(std::remove(path.c_str()), 0);
    const Result<PictureSize> size = file.value().peekSize();
    ASSERT_TRUE(size.ok()) << size.message();
    EXPECT_EQ(size.value().width, f.width);
    EXPECT_EQ(size.value().height, f.height);
    ASSERT_TRUE(file.value().decode(plane).ok()) << "a second decode of the same file";
    EXPECT_TRUE(SamePixels(plane, expected));
}

TEST_P(EachDecoder, ProgressOnlyRisesAndEndsAtOne) {
    const Result<PictureFile> file = PictureFile::Open(save(1, GetParam().name));
    ASSERT_TRUE(file.ok()) << file.message();
    const ProgressRecorder recorder;
    PixelPlane plane;
    ASSERT_TRUE(file.value().decode(plane, recorder.progress()).ok());
    const std::vector<double>& seen = recorder.fractions();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 1.0);
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_LE(seen[i - 1], seen[i]) << "report " << i;
    }
    if (GetParam().reportsBands) {
        EXPECT_GT(seen.front(), 0.0);
        EXPECT_LT(seen.front(), 1.0) << "the first report must come before the end";
    }
}

// Cancelled at its first report, a decode stops within a band: only a second reader or tile
// thread, already under way, may report once more.
TEST_P(EachDecoder, ACancelStopsItAndLeavesThePlaneAsItWas) {
    const Result<PictureFile> file = PictureFile::Open(save(1, GetParam().name));
    ASSERT_TRUE(file.ok()) << file.message();
    // Qt's readers report nothing before they are done: theirs is cancelled beforehand.
    const ProgressRecorder recorder(0.0);
    if (!GetParam().reportsBands) {
        recorder.progress().report(0.0);
    }
    PixelPlane plane;
    ASSERT_TRUE(plane.allocate(3, 2).ok());
    plane.data()[4] = 0x123456;
    const Status decoded = file.value().decode(plane, recorder.progress());
    EXPECT_TRUE(decoded.cancelled()) << decoded.message();
    EXPECT_FALSE(decoded.ok());
    EXPECT_LE(recorder.reportsAfterCancel(), 1u);
    EXPECT_EQ(plane.width(), 3);
    EXPECT_EQ(plane.height(), 2);
    EXPECT_EQ(plane.data()[4], 0x123456u);
}

std::string NameOf(const ::testing::TestParamInfo<Format>& format) {
    std::string name = format.param.name;
    name[name.find('.')] = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Formats, EachDecoder, ::testing::ValuesIn(kFormats), NameOf);

TEST(PictureFile, RefusesWhatIsNoPictureFileBeforeOpeningIt) {
    TempFolder folder;
    WriteBytes(folder.file("empty.png"), {});
    const std::pair<std::string, std::string> cases[] = {
        {folder.file("none.png"), "the file does not exist"},
        {folder.path().string(), "it is a folder, not a picture file"},
        {"/dev/null", "it is a device, pipe or socket, not a picture file"},
        {folder.file("empty.png"), "the file is empty"},
    };
    for (const auto& [path, reason] : cases) {
        const Result<PictureFile> file = PictureFile::Open(path);
        ASSERT_FALSE(file.ok()) << path;
        EXPECT_EQ(file.message(), "Cannot load \"" + path + "\": " + reason);
    }
}

}  // namespace
}  // namespace k3v
