// Mapping pages ahead of a writer must never change what the writer wrote, wherever the range
// starts, and a large JPEG decode (which maps its plane ahead) must give the same pixels and
// refuse a damaged file as cleanly as a small one.

#include "input/page_prefault.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageWriter>
#include <cstdlib>
#include <memory>

#include "input/picture_decoder.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

TEST(PagePrefault, KeepsWhatTheOwnerWritesMeanwhile) {
    constexpr size_t kWords = size_t(100) << 20 >> 2;  // 100 MB
    const std::unique_ptr<uint32_t, FreeDeleter> memory(
        static_cast<uint32_t*>(std::calloc(kWords + 3, sizeof(uint32_t))));
    ASSERT_NE(memory, nullptr);
    // Starts a few bytes past an allocation's start, so not on a page boundary.
    uint32_t* words = memory.get() + 3;
    {
        const PagePrefault prefault(words, kWords * sizeof(uint32_t));
        // Written from the end, as a decoder fills a plane, and from the start, where the
        // helper arrives last.
        for (size_t i = kWords; i-- > kWords / 2;) {
            words[i] = uint32_t(i * 2654435761u) | 1;
        }
        for (size_t i = 0; i < kWords / 4; i += 97) {
            words[i] = uint32_t(i) | 1;
        }
    }
    size_t wrong = 0;
    for (size_t i = 0; i < kWords; ++i) {
        const uint32_t expected = i >= kWords / 2                 ? uint32_t(i * 2654435761u) | 1
                                  : i < kWords / 4 && i % 97 == 0 ? uint32_t(i) | 1
                                                                  : 0;
        wrong += words[i] != expected ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0u);
}

TEST(PagePrefault, SmallAndEmptyRangesAreLeftAlone) {
    uint32_t word = 42;
    { const PagePrefault prefault(&word, sizeof(word)); }
    { const PagePrefault prefault(nullptr, 0); }
    EXPECT_EQ(word, 42u);
}

TEST(PagePrefault, LargeJpegDecodesWholeAndACutOneIsRefused) {
    testing::TempFolder folder;
    constexpr int kWidth = 4800;  // a plane of 92 MB, mapped ahead while decoding
    constexpr int kHeight = 4800;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            line[x] = y < kHeight / 2 ? qRgb(240, 20, 20) : qRgb(20, 20, 240);
        }
    }
    const std::string path = folder.file("large.jpg");
    QImageWriter writer(QString::fromStdString(path), "jpeg");
    writer.setQuality(90);
    ASSERT_TRUE(writer.write(image));
    image = QImage();

    PixelPlane plane;
    ASSERT_TRUE(DecodePictureFile(path, plane).ok());
    ASSERT_EQ(plane.width(), kWidth);
    ASSERT_EQ(plane.height(), kHeight);
    // Rows are stored bottom-up: the blue half first. Every pixel away from the colour edge
    // (which chroma upsampling blends) is checked, so a page the helper disturbed would show.
    size_t wrong = 0;
    for (int32_t y = 0; y < kHeight; ++y) {
        if (std::abs(y - kHeight / 2) <= 8) {
            continue;
        }
        const bool blue = y < kHeight / 2;
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint32_t p = plane.row(y)[x];
            const uint32_t strong = blue ? (p & 0xFF) : (p >> 16 & 0xFF);
            const uint32_t weak = blue ? (p >> 16 & 0xFF) : (p & 0xFF);
            wrong += strong < 200 || weak > 60 || (p >> 24) != 0 ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0u);

    const std::vector<uint8_t> bytes = testing::ReadBytes(path);
    const std::string cut = folder.file("cut.jpg");
    testing::WriteBytes(cut, {bytes.begin(), bytes.begin() + ptrdiff_t(bytes.size() * 3 / 4)});
    PixelPlane kept;
    ASSERT_TRUE(kept.allocate(3, 3).ok());
    const Status refused = DecodePictureFile(cut, kept);
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.message().find("Premature end of JPEG file"), std::string::npos)
        << refused.message();
    EXPECT_EQ(kept.width(), 3);
}

}  // namespace
}  // namespace k3v
