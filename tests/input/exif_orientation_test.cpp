#include "input/exif_orientation.h"

#include <gtest/gtest.h>

#include <vector>

namespace k3v {
namespace {

// An APP1 body with one IFD entry: the orientation tag, in either byte order.
std::vector<uint8_t> ExifBlock(bool littleEndian, uint16_t orientation) {
    auto u16 = [&](uint16_t v) {
        return littleEndian ? std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8)}
                            : std::vector<uint8_t>{uint8_t(v >> 8), uint8_t(v)};
    };
    std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
    auto add = [&](const std::vector<uint8_t>& bytes) {
        b.insert(b.end(), bytes.begin(), bytes.end());
    };
    add(littleEndian ? std::vector<uint8_t>{'I', 'I'} : std::vector<uint8_t>{'M', 'M'});
    add(u16(42));
    add(littleEndian ? std::vector<uint8_t>{8, 0, 0, 0} : std::vector<uint8_t>{0, 0, 0, 8});
    add(u16(2));       // two entries
    add(u16(0x010F));  // Make: skipped
    add(u16(2));
    add({0, 0, 0, 0, 0, 0, 0, 0});
    add(u16(0x0112));  // Orientation, SHORT, count 1
    add(u16(3));
    add(littleEndian ? std::vector<uint8_t>{1, 0, 0, 0} : std::vector<uint8_t>{0, 0, 0, 1});
    add(u16(orientation));
    add({0, 0});
    add({0, 0, 0, 0});
    return b;
}

TEST(ExifOrientation, ReadsTheTagInBothByteOrders) {
    for (uint16_t value = 1; value <= 8; ++value) {
        const auto le = ExifBlock(true, value);
        const auto be = ExifBlock(false, value);
        EXPECT_EQ(ExifOrientation(le.data(), le.size()), value);
        EXPECT_EQ(ExifOrientation(be.data(), be.size()), value);
    }
}

TEST(ExifOrientation, DamagedOrMissingDataMeansUpright) {
    const auto block = ExifBlock(true, 6);
    for (size_t cut = 0; cut < block.size() - 6; ++cut) {
        EXPECT_EQ(ExifOrientation(block.data(), cut), 1) << "cut at " << cut;
    }
    EXPECT_EQ(ExifOrientation(nullptr, 0), 1);
    auto wrong = ExifBlock(true, 9);
    EXPECT_EQ(ExifOrientation(wrong.data(), wrong.size()), 1);
    auto notExif = ExifBlock(true, 6);
    notExif[0] = 'X';
    EXPECT_EQ(ExifOrientation(notExif.data(), notExif.size()), 1);
}

// A 3 x 2 picture whose pixels are numbered 1..6 left to right from the top row.
PixelPlane Numbered() {
    PixelPlane plane;
    EXPECT_TRUE(plane.allocate(3, 2).ok());
    const uint32_t top[] = {1, 2, 3};
    const uint32_t bottom[] = {4, 5, 6};
    std::copy(std::begin(top), std::end(top), plane.row(1));
    std::copy(std::begin(bottom), std::end(bottom), plane.row(0));
    return plane;
}

// The upright picture's rows, top row first.
std::vector<std::vector<uint32_t>> TopDown(const PixelPlane& plane) {
    std::vector<std::vector<uint32_t>> rows;
    for (int32_t y = plane.height() - 1; y >= 0; --y) {
        rows.emplace_back(plane.row(y), plane.row(y) + plane.width());
    }
    return rows;
}

using Rows = std::vector<std::vector<uint32_t>>;

TEST(ApplyOrientation, TurnsEveryOrientationUpright) {
    const std::vector<std::pair<int, Rows>> cases = {
        {1, {{1, 2, 3}, {4, 5, 6}}},   {2, {{3, 2, 1}, {6, 5, 4}}},   {3, {{6, 5, 4}, {3, 2, 1}}},
        {4, {{4, 5, 6}, {1, 2, 3}}},   {5, {{1, 4}, {2, 5}, {3, 6}}}, {6, {{4, 1}, {5, 2}, {6, 3}}},
        {7, {{6, 3}, {5, 2}, {4, 1}}}, {8, {{3, 6}, {2, 5}, {1, 4}}},
    };
    for (const auto& [orientation, expected] : cases) {
        PixelPlane plane = Numbered();
        ASSERT_TRUE(ApplyOrientation(plane, orientation).ok());
        EXPECT_EQ(TopDown(plane), expected) << "orientation " << orientation;
        EXPECT_EQ(plane.row(plane.height())[0], 0u) << "spare row";
    }
}

}  // namespace
}  // namespace k3v
