#include "output/bmp_writer.h"

#include <gtest/gtest.h>

#include "tests/support/plane_builders.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::NoisePlane;
using testing::PlanesWith;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

TEST(MakeBmpHeader, HoldsEveryFieldOfA32BitBottomUpFile) {
    const auto header = MakeBmpHeader(982, 250);
    const std::vector<uint8_t> h(header.begin(), header.end());
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
    EXPECT_EQ(Le32(h, 2), 54u + 4u * 982u * 250u);
    EXPECT_EQ(Le32(h, 6), 0u);  // both reserved words
    EXPECT_EQ(Le32(h, 10), 54u);
    EXPECT_EQ(Le32(h, 14), 40u);
    EXPECT_EQ(Le32(h, 18), 982u);
    EXPECT_EQ(Le32(h, 22), 250u);
    EXPECT_EQ(h[26] | h[27] << 8, 1);
    EXPECT_EQ(h[28] | h[29] << 8, 32);
    for (size_t field = 30; field < 54; field += 4) {
        EXPECT_EQ(Le32(h, field), 0u) << "field at " << field;
    }
}

TEST(WriteBmpFile, WritesTheRowsBottomFirstWithTheFourthByteUnchanged) {
    TempFolder folder;
    StereoPlanes planes = PlanesWith(NoisePlane(5, 3, 2));
    for (uint32_t i = 0; i < 15; ++i) {
        planes.FirstView.data()[i] = 0xA0000000u + i;
    }
    const OutputPicture picture(ConversionSettings{}, planes);
    ASSERT_TRUE(WriteBmpFile(folder.file("out.bmp"), picture).ok());
    const std::vector<uint8_t> bytes = ReadBytes(folder.file("out.bmp"));
    ASSERT_EQ(bytes.size(), 54u + 4u * 15u);
    for (uint32_t i = 0; i < 15; ++i) {
        EXPECT_EQ(Le32(bytes, 54 + 4 * i), 0xA0000000u + i);
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.bmp"});
}

TEST(WriteBmpFile, ReplacesALongerFileCompletely) {
    TempFolder folder;
    WriteBytes(folder.file("out.bmp"), std::vector<uint8_t>(10000, 0xEE));
    const StereoPlanes planes = PlanesWith(NoisePlane(3, 2, 5));
    ASSERT_TRUE(
        WriteBmpFile(folder.file("out.bmp"), OutputPicture(ConversionSettings{}, planes)).ok());
    EXPECT_EQ(ReadBytes(folder.file("out.bmp")).size(), 54u + 24u);
}

TEST(WriteBmpFile, AFailedWriteKeepsTheOldFileAndSaysWhy) {
    TempFolder folder;
    const StereoPlanes planes = PlanesWith(NoisePlane(3, 2, 5));
    const OutputPicture picture(ConversionSettings{}, planes);
    const Status missing = WriteBmpFile(folder.file("no/such/folder/out.bmp"), picture);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.message().find("does not exist"), std::string::npos) << missing.message();
    std::filesystem::create_directory(folder.file("taken.bmp"));
    const Status isFolder = WriteBmpFile(folder.file("taken.bmp"), picture);
    EXPECT_NE(isFolder.message().find("folder"), std::string::npos) << isFolder.message();
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"taken.bmp"});
}

}  // namespace
}  // namespace k3v
