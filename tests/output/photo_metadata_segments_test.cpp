#include "output/photo_metadata_segments.h"

#include <gtest/gtest.h>

namespace k3v {
namespace {

size_t SegmentLength(const std::vector<uint8_t>& bytes, size_t at) {
    return size_t(bytes[at + 2]) << 8 | bytes[at + 3];
}

// A profile is split into 65519-byte shares, numbered from 1, each segment within JPEG's
// 65535-byte limit; one byte more than 255 shares is not written at all.
TEST(IccSegments, SplitTheProfileAsTheIccSpecificationSays) {
    for (const size_t size : {size_t(1), kIccBytesPerSegment, 2 * kIccBytesPerSegment + 10}) {
        PhotoMetadata metadata;
        for (size_t i = 0; i < size; ++i) {
            metadata.icc.push_back(uint8_t(i * 7 + i / 251));
        }
        const std::vector<uint8_t> segments = IccSegments(metadata);
        const size_t count = (size + kIccBytesPerSegment - 1) / kIccBytesPerSegment;
        std::vector<uint8_t> joined;
        size_t at = 0;
        for (size_t n = 1; n <= count; ++n) {
            ASSERT_LE(at + 18, segments.size());
            const size_t length = SegmentLength(segments, at);
            EXPECT_EQ(segments[at + 1], 0xE2);
            EXPECT_LE(length, 65535u);
            EXPECT_EQ(std::string(segments.begin() + ptrdiff_t(at + 4),
                                  segments.begin() + ptrdiff_t(at + 16)),
                      std::string("ICC_PROFILE\0", 12));
            EXPECT_EQ(segments[at + 16], n);
            EXPECT_EQ(segments[at + 17], count);
            joined.insert(joined.end(), segments.begin() + ptrdiff_t(at + 18),
                          segments.begin() + ptrdiff_t(at + 2 + length));
            at += 2 + length;
        }
        EXPECT_EQ(at, segments.size()) << size;
        EXPECT_EQ(joined, metadata.icc) << size;
    }
    PhotoMetadata tooLarge;
    tooLarge.icc.resize(kMaxIccBytes + 1);
    EXPECT_TRUE(IccSegments(tooLarge).empty());
}

// Exif blocks holding a picture size of 640 x 480, PixelXDimension a SHORT and
// PixelYDimension a LONG, in IFD0 -> Exif IFD, in either byte order.
std::vector<uint8_t> ExifBlock(bool little) {
    std::vector<uint8_t> out;
    const auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.push_back(uint8_t(value >> (8 * (little ? i : bytes - 1 - i))));
        }
    };
    out.push_back(little ? 'I' : 'M');
    out.push_back(little ? 'I' : 'M');
    put(42, 2);
    put(8, 4);
    put(1, 2);  // IFD0: the Exif IFD's pointer
    put(0x8769, 2), put(4, 2), put(1, 4), put(26, 4);
    put(0, 4);
    put(2, 2);  // Exif IFD at 26
    put(0xA002, 2), put(3, 2), put(1, 4), put(640, 2), put(0, 2);
    put(0xA003, 2), put(4, 2), put(1, 4), put(480, 4);
    put(0, 4);
    return out;
}

TEST(ExifSegment, StatesTheOutputsSizeInEitherByteOrder) {
    for (const bool little : {true, false}) {
        PhotoMetadata metadata;
        metadata.exif = ExifBlock(little);
        const std::vector<uint8_t> segment = ExifSegment(metadata, 1280, 70000);

        const std::vector<uint8_t> head = {
            0xFF, 0xE1, 0, uint8_t(8 + metadata.exif.size()), 'E', 'x', 'i', 'f', 0, 0};
        ASSERT_EQ(segment.size(), head.size() + metadata.exif.size());
        EXPECT_TRUE(std::equal(head.begin(), head.end(), segment.begin()));
        // Only the two values changed: 640 -> 1280 (SHORT), 480 -> 70000 (LONG).
        std::vector<uint8_t> expected = metadata.exif;
        const auto set = [&](size_t at, uint32_t value, int bytes) {
            for (int i = 0; i < bytes; ++i) {
                expected[at + size_t(i)] = uint8_t(value >> (8 * (little ? i : bytes - 1 - i)));
            }
        };
        set(26 + 2 + 8, 1280, 2);
        set(26 + 2 + 12 + 8, 70000, 4);
        EXPECT_EQ(std::vector<uint8_t>(segment.begin() + 10, segment.end()), expected) << little;
    }
    // A damaged block goes as it is; one too large for a segment not at all.
    PhotoMetadata damaged;
    damaged.exif = ExifBlock(true);
    damaged.exif[4] = 0xF0;  // IFD0 beyond the end
    EXPECT_TRUE(std::equal(damaged.exif.begin(), damaged.exif.end(),
                           ExifSegment(damaged, 1, 1).begin() + 10));
    PhotoMetadata tooLarge;
    tooLarge.exif.resize(kMaxExifBytes + 1);
    EXPECT_TRUE(ExifSegment(tooLarge, 1, 1).empty());
    tooLarge.exif.resize(kMaxExifBytes);
    EXPECT_EQ(SegmentLength(ExifSegment(tooLarge, 1, 1), 0), 65535u);
}

}  // namespace
}  // namespace k3v
