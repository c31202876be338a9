// A PictureRowReader gives, band by band and in either order, exactly the rows a whole decode
// gives, whether it reads the format in bands or decodes it whole; a file cut short fails in
// the band that reaches the cut, with the whole decode's message.

#include "input/picture_row_reader.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <QImage>
#include <QImageWriter>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "input/picture_decoder.h"
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

constexpr int kWidth = 61;
constexpr int kHeight = 45;

// Detail and, in `format`s with alpha, varying transparency everywhere.
QImage Pattern(QImage::Format format) {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            image.setPixel(x, y,
                           qRgba((x * 7) & 0xFF, (y * 5) & 0xFF, (x ^ y) * 3 & 0xFF,
                                 (x * 13 + y * 11) & 0xFF));
        }
    }
    return image.convertToFormat(format);
}

void SaveWithQt(const std::string& path, const QImage& image, const char* format,
                bool progressive = false) {
    QImageWriter writer(QString::fromStdString(path), format);
    writer.setProgressiveScanWrite(progressive);
    ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
}

// RGBA with straight alpha in 16 x 16 tiles (the picture's edges cut some), or in Deflate
// strips of 5 rows, at `bits` a sample; `orientation` as the tag.
void SaveTiff(const std::string& path, bool tiled, int bits, int orientation = 1) {
    const QImage image = Pattern(QImage::Format_RGBA64);
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(kWidth));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(kHeight));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    const auto sample = [&](int x, int y, int c) -> uint16_t {
        const QRgba64 p = reinterpret_cast<const QRgba64*>(image.constScanLine(y))[x];
        const uint16_t v[4] = {p.red(), p.green(), p.blue(), p.alpha()};
        return bits == 16 ? v[c] : uint16_t(v[c] >> 8);
    };
    // Rows [y0, y0 + rows) from column x0 on, `columns` wide, as the file stores them.
    const auto block = [&](int x0, int y0, int columns, int rows) {
        std::vector<uint8_t> bytes(size_t(columns * rows * 4 * bits / 8));
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < columns; ++x) {
                for (int c = 0; c < 4; ++c) {
                    const bool inside = x0 + x < kWidth && y0 + y < kHeight;
                    const uint16_t v = inside ? sample(x0 + x, y0 + y, c) : 0;
                    const size_t at = size_t((y * columns + x) * 4 + c);
                    if (bits == 16) {
                        std::memcpy(bytes.data() + at * 2, &v, 2);
                    } else {
                        bytes[at] = uint8_t(v);
                    }
                }
            }
        }
        return bytes;
    };
    if (tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
        for (int y0 = 0; y0 < kHeight; y0 += 16) {
            for (int x0 = 0; x0 < kWidth; x0 += 16) {
                std::vector<uint8_t> tile = block(x0, y0, 16, 16);
                ASSERT_GE(TIFFWriteTile(tif, tile.data(), uint32_t(x0), uint32_t(y0), 0, 0), 0);
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 5);
        for (int y = 0; y < kHeight; ++y) {
            std::vector<uint8_t> row = block(0, y, kWidth, 1);
            ASSERT_GE(TIFFWriteScanline(tif, row.data(), uint32_t(y), 0), 0);
        }
    }
    TIFFClose(tif);
}

// An uncompressed grey TIFF of 40 x 64 pixels in strips of 8 rows, its directory before its
// strips, so that a cut takes the last strips only. Libtiff itself writes the directory last.
std::vector<uint8_t> GreyTiffDirectoryFirst() {
    constexpr uint32_t kW = 40, kH = 64, kStrips = 8, kEntries = 9;
    constexpr uint32_t kOffsets = 8 + 2 + kEntries * 12 + 4;
    constexpr uint32_t kCounts = kOffsets + kStrips * 4;
    constexpr uint32_t kData = kCounts + kStrips * 4;
    std::vector<uint8_t> bytes = {'I', 'I', 42, 0, 8, 0, 0, 0, kEntries, 0};
    const auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(uint8_t(v >> (8 * i)));
        }
    };
    const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        bytes.insert(bytes.end(), {uint8_t(tag), uint8_t(tag >> 8), uint8_t(type), 0});
        put32(count);
        put32(value);
    };
    constexpr uint16_t kShort = 3, kLong = 4;
    entry(256, kShort, 1, kW);
    entry(257, kShort, 1, kH);
    entry(258, kShort, 1, 8);
    entry(259, kShort, 1, 1);
    entry(262, kShort, 1, 1);
    entry(273, kLong, kStrips, kOffsets);
    entry(277, kShort, 1, 1);
    entry(278, kShort, 1, kH / kStrips);
    entry(279, kLong, kStrips, kCounts);
    put32(0);
    for (uint32_t s = 0; s < kStrips; ++s) {
        put32(kData + s * kW * kH / kStrips);
    }
    for (uint32_t s = 0; s < kStrips; ++s) {
        put32(kW * kH / kStrips);
    }
    for (uint32_t i = 0; i < kW * kH; ++i) {
        bytes.push_back(uint8_t(i * 7 / 3));
    }
    return bytes;
}

// A 16-bit PGM with a maximum of 1000 (Qt writes 8 bits only).
std::vector<uint8_t> Pgm16() {
    const std::string header =
        "P5\n# grey\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n1000\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const int v = i * 37 % 1001;
        bytes.push_back(uint8_t(v >> 8));
        bytes.push_back(uint8_t(v));
    }
    return bytes;
}

// The whole decode's rows in `order`, one after the other, and its size.
std::vector<uint32_t> WholeRows(const std::string& path, RowOrder order, PictureSize& size) {
    PixelPlane plane;
    const Status decoded = DecodePictureFile(path, plane);
    EXPECT_TRUE(decoded) << decoded.message();
    size = {plane.width(), plane.height()};
    std::vector<uint32_t> rows;
    for (int32_t i = 0; i < plane.height(); ++i) {
        const int32_t y = order == RowOrder::BottomFirst ? i : plane.height() - 1 - i;
        rows.insert(rows.end(), plane.row(y), plane.row(y) + plane.width());
    }
    return rows;
}

// Every row in bands of `band` rows (the last band shorter), or the first failure.
Status ReadAll(PictureRowReader& reader, int32_t band, std::vector<uint32_t>& rows,
               int32_t* failedAt = nullptr) {
    const auto width = size_t(reader.size().width);
    rows.clear();
    for (int32_t read = 0; reader.rowsLeft() > 0; read += band) {
        const int32_t count = std::min(band, reader.rowsLeft());
        rows.resize(rows.size() + size_t(count) * width);
        Status status = reader.readRows(count, rows.data() + size_t(read) * width);
        if (!status) {
            if (failedAt != nullptr) {
                *failedAt = read;
            }
            return status;
        }
    }
    return Status::Ok();
}

struct Case {
    const char* name;
    bool inBandsTopFirst;  // else decoded whole
    bool inBandsBottomFirst;
};

TEST(PictureRowReader, BandsInEitherOrderGiveTheWholeDecodesRows) {
    TempFolder folder;
    SaveWithQt(folder.file("baseline.jpg"), Pattern(QImage::Format_RGB32), "jpeg");
    SaveWithQt(folder.file("progressive.jpg"), Pattern(QImage::Format_RGB32), "jpeg", true);
    SaveWithQt(folder.file("grey.jpg"), Pattern(QImage::Format_Grayscale8), "jpeg");
    WriteBytes(folder.file("turned.jpg"),
               WithOrientation(ReadBytes(folder.file("baseline.jpg")), 6));
    SaveWithQt(folder.file("alpha.png"), Pattern(QImage::Format_ARGB32), "png");
    SaveWithQt(folder.file("grey16.png"), Pattern(QImage::Format_Grayscale16), "png");
    SaveWithQt(folder.file("palette.png"), Pattern(QImage::Format_Indexed8), "png");
    SaveWithQt(folder.file("picture.bmp"), Pattern(QImage::Format_RGB32), "bmp");
    SaveWithQt(folder.file("picture.ppm"), Pattern(QImage::Format_RGB32), "ppm");
    SaveWithQt(folder.file("palette.bmp"), Pattern(QImage::Format_Indexed8), "bmp");
    WriteBytes(folder.file("grey16.pgm"), Pgm16());
    // The same rows stored top row first: a negative height.
    std::vector<uint8_t> bmp = ReadBytes(folder.file("picture.bmp"));
    const int32_t topDownHeight = -kHeight;
    std::memcpy(bmp.data() + 22, &topDownHeight, 4);
    WriteBytes(folder.file("topdown.bmp"), bmp);
    SaveTiff(folder.file("strips8.tif"), false, 8);
    SaveTiff(folder.file("tiles16.tif"), true, 16);
    SaveTiff(folder.file("tiles8.tif"), true, 8);
    SaveTiff(folder.file("turned.tif"), false, 8, ORIENTATION_BOTRIGHT);
    const Case cases[] = {
        {"baseline.jpg", true, true}, {"progressive.jpg", false, false},
        {"grey.jpg", true, true},     {"alpha.png", true, true},
        {"grey16.png", true, true},   {"palette.png", true, true},
        {"picture.bmp", true, true},  {"picture.ppm", true, true},
        {"palette.bmp", true, true},  {"grey16.pgm", true, true},
        {"topdown.bmp", true, true},  {"strips8.tif", true, true},
        {"tiles16.tif", true, true},  {"tiles8.tif", true, true},
        {"turned.tif", false, false}, {"turned.jpg", false, false},
    };
    for (const Case& c : cases) {
        const std::string path = folder.file(c.name);
        const Result<PictureFile> file = PictureFile::Open(path);
        ASSERT_TRUE(file) << file.message();
        for (const RowOrder order : {RowOrder::TopFirst, RowOrder::BottomFirst}) {
            PictureSize whole;
            const std::vector<uint32_t> expected = WholeRows(path, order, whole);
            const bool inBands =
                order == RowOrder::TopFirst ? c.inBandsTopFirst : c.inBandsBottomFirst;
            for (const int32_t band : {1, 7, whole.height}) {
                SCOPED_TRACE(std::string(c.name) +
                             (order == RowOrder::TopFirst ? " top" : " bottom") +
                             " first, bands of " + std::to_string(band));
                auto reader = PictureRowReader::Open(file.value(), order);
                ASSERT_TRUE(reader) << reader.message();
                EXPECT_EQ(reader.value()->decodedWhole(), !inBands);
                EXPECT_EQ(reader.value()->size().width, whole.width);
                EXPECT_EQ(reader.value()->size().height, whole.height);
                std::vector<uint32_t> rows;
                const Status read = ReadAll(*reader.value(), band, rows);
                ASSERT_TRUE(read) << read.message();
                EXPECT_EQ(rows, expected);
            }
        }
    }
}

TEST(PictureRowReader, ACutFileFailsInTheBandThatReachesTheCutAsTheWholeDecodeWordsIt) {
    TempFolder folder;
    SaveWithQt(folder.file("whole.jpg"), Pattern(QImage::Format_RGB32), "jpeg");
    std::vector<uint8_t> jpeg = ReadBytes(folder.file("whole.jpg"));
    WriteBytes(folder.file("cut.jpg"),
               {jpeg.begin(), jpeg.begin() + ptrdiff_t(jpeg.size() * 3 / 4)});
    std::vector<uint8_t> tiff = GreyTiffDirectoryFirst();
    WriteBytes(folder.file("cut.tif"), {tiff.begin(), tiff.end() - 400});  // strip 6 in part
    for (const char* name : {"cut.jpg", "cut.tif"}) {
        SCOPED_TRACE(name);
        const std::string path = folder.file(name);
        PixelPlane plane;
        const Status whole = DecodePictureFile(path, plane);
        ASSERT_FALSE(whole);
        const Result<PictureFile> file = PictureFile::Open(path);
        ASSERT_TRUE(file) << file.message();
        auto reader = PictureRowReader::Open(file.value(), RowOrder::TopFirst);
        ASSERT_TRUE(reader) << reader.message();
        EXPECT_FALSE(reader.value()->decodedWhole());
        std::vector<uint32_t> rows;
        int32_t failedAt = -1;
        const Status read = ReadAll(*reader.value(), 7, rows, &failedAt);
        EXPECT_EQ(read.message(), whole.message());
        EXPECT_GT(failedAt, 0);
        // Once failed, the reader gives no more rows.
        EXPECT_FALSE(reader.value()->readRows(1, rows.data()));
        // A JPEG from the bottom: its rows are all decoded at the first read, which fails so.
        if (std::string(name) == "cut.jpg") {
            auto turned = PictureRowReader::Open(file.value(), RowOrder::BottomFirst);
            ASSERT_TRUE(turned) << turned.message();
            EXPECT_EQ(ReadAll(*turned.value(), 7, rows).message(), whole.message());
        }
    }
}

// A tiled TIFF large enough for its rows of tiles to be read by several handles at once: the
// rows in either order, and a damaged one's reason from the top, are the whole decode's.
TEST(PictureRowReader, ALargeTiledTiffReadBySeveralHandlesGivesTheWholeDecodesRows) {
    TempFolder folder;
    const std::string tiff = folder.file("tiled.tif");
    if (!MakeTiledTiff(tiff, folder.file("damaged.tif"))) {
        GTEST_SKIP() << "ImageMagick's convert is needed to make a tiled TIFF";
    }
    for (const RowOrder order : {RowOrder::TopFirst, RowOrder::BottomFirst}) {
        PictureSize whole;
        const std::vector<uint32_t> expected = WholeRows(tiff, order, whole);
        const Result<PictureFile> file = PictureFile::Open(tiff);
        ASSERT_TRUE(file) << file.message();
        auto reader = PictureRowReader::Open(file.value(), order);
        ASSERT_TRUE(reader) << reader.message();
        std::vector<uint32_t> rows;
        ASSERT_TRUE(ReadAll(*reader.value(), 37, rows));
        EXPECT_TRUE(rows == expected);
    }
    PixelPlane plane;
    const Status refused = DecodePictureFile(folder.file("damaged.tif"), plane);
    ASSERT_FALSE(refused);
    const Result<PictureFile> damaged = PictureFile::Open(folder.file("damaged.tif"));
    ASSERT_TRUE(damaged) << damaged.message();
    auto reader = PictureRowReader::Open(damaged.value(), RowOrder::TopFirst);
    ASSERT_TRUE(reader) << reader.message();
    std::vector<uint32_t> rows;
    EXPECT_EQ(ReadAll(*reader.value(), 37, rows).message(), refused.message());
}

TEST(PictureRowReader, AFormatOnlyQtReadsIsRefused) {
    TempFolder folder;
    const std::string path = folder.file("picture.xpm");
    SaveWithQt(path, Pattern(QImage::Format_RGB32), "xpm");
    const Result<PictureFile> file = PictureFile::Open(path);
    ASSERT_TRUE(file) << file.message();
    const auto reader = PictureRowReader::Open(file.value(), RowOrder::TopFirst);
    ASSERT_FALSE(reader);
    EXPECT_EQ(reader.message(), "Cannot load \"" + path + "\": its format cannot be read in bands");
}

}  // namespace
}  // namespace k3v
