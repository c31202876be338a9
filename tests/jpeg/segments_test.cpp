#include "output/jpeg/segments.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/jpeg/encode_to_memory.h"
#include "tests/jpeg/jpeg_file_parsing.h"
#include "tests/jpeg/test_pictures.h"

namespace k3v::jpeg {
namespace {

using testing::ParseSegments;
using testing::Segment;

std::vector<uint8_t> EncodeTestPicture(int width, int height, int quality,
                                       const std::string& content = "gradient") {
    const auto picture =
        testing::MakePicture(width, height, testing::Content(content, width, height));
    const std::vector<uint8_t> dib = picture.Dib(32);
    std::vector<uint8_t> file;
    const Status status = testing::EncodeBitmap(dib.data(), width, height, 32, quality, file);
    EXPECT_TRUE(status.ok()) << status.message();
    return file;
}

const Segment* Find(const std::vector<Segment>& segments, uint8_t marker, size_t nth = 0) {
    for (const Segment& s : segments) {
        if (s.marker == marker && nth-- == 0)
            return &s;
    }
    return nullptr;
}

// ---- Whole-file layout ---------------------------------------------------------------------

class FileLayout : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(FileLayout, StartsWithSoiAndApp0AndEndsWithEoi) {
    const auto [width, height, quality] = GetParam();
    const std::vector<uint8_t> file = EncodeTestPicture(width, height, quality);
    const std::vector<uint8_t> first20 = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A,
                                          0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00,
                                          0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
    ASSERT_GT(file.size(), 20u);
    EXPECT_TRUE(std::equal(first20.begin(), first20.end(), file.begin()));
    EXPECT_EQ(file[file.size() - 2], 0xFF);
    EXPECT_EQ(file[file.size() - 1], 0xD9);
}

TEST_P(FileLayout, SegmentsComeInTheFixedOrder) {
    const auto [width, height, quality] = GetParam();
    const std::vector<uint8_t> file = EncodeTestPicture(width, height, quality);
    size_t scanStart = 0;
    const std::vector<Segment> segments = ParseSegments(file, &scanStart);
    std::vector<uint8_t> markers;
    for (const Segment& s : segments)
        markers.push_back(s.marker);
    EXPECT_EQ(markers,
              (std::vector<uint8_t>{0xE0, 0xFE, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA}));
    // The entropy-coded data holds no marker: every 0xFF is followed by a stuffed 0x00.
    for (size_t i = scanStart; i + 2 < file.size(); ++i) {
        if (file[i] == 0xFF) {
            ASSERT_EQ(file[i + 1], 0x00) << "at " << i;
            ++i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SizesAndQualities, FileLayout,
                         ::testing::Values(std::make_tuple(1, 1, 100), std::make_tuple(7, 9, 75),
                                           std::make_tuple(33, 17, 50), std::make_tuple(64, 8, 0)));

// ---- Individual segments -------------------------------------------------------------------

TEST(Sof0, HoldsTheSizeAsGivenAndTheThreeComponents) {
    const std::vector<uint8_t> file = EncodeTestPicture(1000, 250, 100, "flat");
    const std::vector<Segment> segments = ParseSegments(file, nullptr);
    const Segment* sof = Find(segments, 0xC0);
    ASSERT_NE(sof, nullptr);
    EXPECT_EQ(sof->length, 17u);
    EXPECT_EQ(sof->body, (std::vector<uint8_t>{0x08, 0x00, 0xFA, 0x03, 0xE8, 0x03, 0x01, 0x11, 0x00,
                                               0x02, 0x11, 0x01, 0x03, 0x11, 0x01}));
}

TEST(Sof0, WritesTheLargestSize) {
    Bytes out;
    WriteSof0(out, 65535, 1);
    EXPECT_EQ(out[5], 0x00);  // height high byte
    EXPECT_EQ(out[6], 0x01);
    EXPECT_EQ(out[7], 0xFF);  // width
    EXPECT_EQ(out[8], 0xFF);
}

TEST(Dqt, QualityHundredCarriesSixtyFourOnesPerTable) {
    const std::vector<uint8_t> file = EncodeTestPicture(16, 16, 100);
    const std::vector<Segment> segments = ParseSegments(file, nullptr);
    for (size_t table = 0; table < 2; ++table) {
        const Segment* dqt = Find(segments, 0xDB, table);
        ASSERT_NE(dqt, nullptr);
        EXPECT_EQ(dqt->length, 0x43u);
        ASSERT_EQ(dqt->body.size(), 65u);
        EXPECT_EQ(dqt->body[0], table);  // 8-bit precision, table number
        for (size_t i = 1; i < 65; ++i)
            EXPECT_EQ(dqt->body[i], 1) << i;
    }
}

TEST(Dqt, StoresTheTableInZigzagOrder) {
    const QuantTable table = ScaleQuantTable(kLumaBaseTable, 75);
    Bytes out;
    WriteDqt(out, 0, table);
    ASSERT_EQ(out.size(), 69u);
    EXPECT_EQ((std::vector<uint8_t>(out.begin(), out.begin() + 5)),
              (std::vector<uint8_t>{0xFF, 0xDB, 0x00, 0x43, 0x00}));
    EXPECT_TRUE(std::equal(table.begin(), table.end(), out.begin() + 5));
    EXPECT_EQ(out[5 + 15], 20);  // the 16th value at quality 75
}

TEST(Dht, CarriesClassTableBitsAndValues) {
    HuffmanTable table;
    table.bits[1] = 1;
    table.bits[2] = 1;
    table.huffval[0] = 0x00;
    table.huffval[1] = 0x31;
    table.symbolCount = 2;
    Bytes out;
    WriteDht(out, 1, 1, table);
    const std::vector<uint8_t> expected = {0xFF, 0xC4, 0x00, 0x15, 0x11, 1, 1, 0, 0, 0, 0,   0,
                                           0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0x31};
    EXPECT_EQ(out, expected);
}

TEST(Dht, ClassAndTableBytesOfTheFourTables) {
    const std::vector<uint8_t> file = EncodeTestPicture(40, 24, 90, "noise");
    const std::vector<Segment> segments = ParseSegments(file, nullptr);
    const uint8_t expected[4] = {0x00, 0x10, 0x01, 0x11};
    for (size_t i = 0; i < 4; ++i) {
        const Segment* dht = Find(segments, 0xC4, i);
        ASSERT_NE(dht, nullptr);
        EXPECT_EQ(dht->body[0], expected[i]);
        size_t symbols = 0;
        for (size_t l = 1; l <= 16; ++l)
            symbols += dht->body[l];
        EXPECT_EQ(dht->length, 3 + 16 + symbols);
    }
}

TEST(Dht, DcOnlyPictureHasOneAcCodeOfLengthOne) {
    // A flat picture whose size is a whole number of blocks quantises to DC values only.
    const std::vector<uint8_t> file = EncodeTestPicture(16, 8, 100, "flat");
    const std::vector<Segment> segments = ParseSegments(file, nullptr);
    for (size_t table : {1u, 3u}) {  // the two AC tables
        const Segment* dht = Find(segments, 0xC4, table);
        ASSERT_NE(dht, nullptr);
        EXPECT_EQ(dht->body, (std::vector<uint8_t>{dht->body[0], 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                   0, 0, 0, 0, 0x00}));
    }
}

TEST(Sos, NamesTheComponentsTablesAndFullSpectrum) {
    Bytes out;
    WriteSos(out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03,
                                         0x11, 0x00, 0x3F, 0x00}));
}

TEST(Comment, NamesTheMakerThenCreditsTheEncoder) {
    const std::vector<uint8_t> file = EncodeTestPicture(8, 8, 100);
    const std::vector<Segment> segments = ParseSegments(file, nullptr);
    const Segment* com = Find(segments, 0xFE);
    ASSERT_NE(com, nullptr);
    const std::string text(com->body.begin(), com->body.end());
    EXPECT_EQ(com->length, text.size() + 2);
    EXPECT_EQ(text.rfind("Quorvex Inc.\r\n", 0), 0u);
    EXPECT_GT(text.size(), std::string("Quorvex Inc.\r\n").size());
    EXPECT_EQ(text.find('\0'), std::string::npos);
}

TEST(Comment, EmptyTextWritesNothing) {
    Bytes out;
    WriteComment(out, "");
    EXPECT_TRUE(out.empty());
    WriteComment(out, "ab");
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xFE, 0x00, 0x04, 'a', 'b'}));
}

TEST(App0, IsTheEighteenJfifBytes) {
    Bytes out;
    WriteApp0(out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01,
                                         0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00}));
}

TEST(Markers, SoiAndEoi) {
    Bytes out;
    WriteSoi(out);
    WriteEoi(out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xD9}));
}

}  // namespace
}  // namespace k3v::jpeg
