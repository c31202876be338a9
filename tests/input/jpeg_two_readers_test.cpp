// A JPEG decoded by two readers of its file, each filling its own rows, must give exactly the
// picture (or the refusal) that one reader gives, wherever the second reader begins.

#include "input/jpeg_file_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

struct Layout {
    const char* name;
    int components;  // 1 grey, 3 YCbCr, 4 CMYK
    int h;           // the first component's sampling factors
    int v;
    int restartRows;
    bool progressive;
};

// A textured picture, so that every block has detail and a damaged byte shows.
std::vector<uint8_t> EncodeJpeg(const Layout& layout, int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = layout.components;
    cinfo.in_color_space = layout.components == 1   ? JCS_GRAYSCALE
                           : layout.components == 4 ? JCS_CMYK
                                                    : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.comp_info[0].h_samp_factor = layout.h;
    cinfo.comp_info[0].v_samp_factor = layout.v;
    cinfo.restart_in_rows = layout.restartRows;
    if (layout.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(width) * size_t(layout.components));
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint32_t y = cinfo.next_scanline;
        for (size_t i = 0; i < row.size(); ++i) {
            row[i] = uint8_t((i * 7 + y * 3 + ((i * y) >> 5) + (i ^ y) * 13) & 0xFF);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

struct Decoded {
    Status status = Status::Ok();
    std::vector<uint32_t> pixels;
};

// secondRow 0: the program's own choice.
Decoded DecodeFile(const std::string& path, int32_t secondRow) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
    PixelPlane plane;
    Decoded result;
    result.status = secondRow > 0 ? DecodeJpegFileInTwo(file.get(), plane, secondRow)
                                  : DecodeJpegFile(file.get(), plane);
    if (!plane.empty()) {
        result.pixels.assign(plane.data(), plane.data() + plane.storedCount());
    }
    return result;
}

void ExpectSame(const Decoded& two, const Decoded& one, const std::string& what) {
    EXPECT_EQ(two.status.ok(), one.status.ok()) << what;
    EXPECT_EQ(two.status.message(), one.status.message()) << what;
    EXPECT_TRUE(two.pixels == one.pixels) << what << ": the pixels differ";
}

TEST(JpegTwoReaders, EverySamplingAndSplitGivesTheOneReaderPicture) {
    const Layout layouts[] = {
        {"4:2:0", 3, 2, 2, 0, false},    {"4:2:2", 3, 2, 1, 0, false},
        {"4:4:0", 3, 1, 2, 0, false},    {"4:4:4", 3, 1, 1, 0, false},
        {"grey", 1, 1, 1, 0, false},     {"cmyk", 4, 1, 1, 0, false},
        {"restarts", 3, 2, 2, 1, false}, {"progressive", 3, 2, 2, 0, true},
    };
    TempFolder folder;
    for (const Layout& layout : layouts) {
        constexpr int kWidth = 75;
        constexpr int kHeight = 61;
        const std::string path = folder.file(std::string(layout.name) + ".jpg");
        WriteBytes(path, EncodeJpeg(layout, kWidth, kHeight));
        const Decoded one = DecodeFile(path, kHeight);  // the second reader gets no row
        ASSERT_TRUE(one.status.ok()) << layout.name << ": " << one.status.message();
        for (const int32_t row : {1, 7, 8, 9, 15, 16, 17, 30, 32, 33, kHeight - 1}) {
            ExpectSame(DecodeFile(path, row), one,
                       std::string(layout.name) + " from row " + std::to_string(row));
        }
    }
}

TEST(JpegTwoReaders, DamageAnywhereIsRefusedAsOneReaderRefusesIt) {
    TempFolder folder;
    const std::vector<uint8_t> jpeg = EncodeJpeg({"4:2:0", 3, 2, 2, 0, false}, 80, 64);
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + ptrdiff_t(jpeg.size() * 3 / 4));
    std::vector<uint8_t> markerEarly = jpeg;
    std::vector<uint8_t> markerLate = jpeg;
    // A stray marker in the entropy-coded data near the top, and near the bottom.
    markerEarly[jpeg.size() / 3] = 0xFF;
    markerEarly[jpeg.size() / 3 + 1] = 0xD9;
    markerLate[jpeg.size() - 40] = 0xFF;
    markerLate[jpeg.size() - 39] = 0xC4;
    std::vector<uint8_t> trailing = jpeg;
    trailing.resize(trailing.size() - 2);  // no end-of-image marker
    for (const auto& [name, bytes] :
         {std::pair{"cut", cut}, std::pair{"early", markerEarly}, std::pair{"late", markerLate},
          std::pair{"no-eoi", trailing}}) {
        const std::string path = folder.file(std::string(name) + ".jpg");
        WriteBytes(path, bytes);
        const Decoded one = DecodeFile(path, 64);
        EXPECT_FALSE(one.status.ok()) << name;
        for (const int32_t row : {8, 32, 56}) {
            ExpectSame(DecodeFile(path, row), one,
                       std::string(name) + " from row " + std::to_string(row));
        }
    }
}

// Large enough for the program to start a second reader and choose its row as it goes.
TEST(JpegTwoReaders, ALargePictureGivesTheOneReaderPicture) {
    TempFolder folder;
    const std::string path = folder.file("large.jpg");
    WriteBytes(path, EncodeJpeg({"4:2:0", 3, 2, 2, 0, false}, 2304, 2001));
    const Decoded one = DecodeFile(path, 2001);
    ASSERT_TRUE(one.status.ok()) << one.status.message();
    ExpectSame(DecodeFile(path, 0), one, "the program's choice");
}

}  // namespace
}  // namespace k3v
