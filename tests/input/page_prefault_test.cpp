// Mapping pages ahead of a writer must never change what the writer wrote, wherever the range
// starts, and a large JPEG decode (which maps its plane ahead) must give the same pixels and
// refuse a damaged file as cleanly as a small one.

#include "input/page_prefault.h"

#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "input/picture_decoder.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

// A fresh anonymous mapping: none of its pages is in memory until written or prefaulted.
class FreshMapping {
  public:
    explicit FreshMapping(size_t bytes) : bytes_(bytes) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        memory_ = p == MAP_FAILED ? nullptr : p;
    }
    ~FreshMapping() {
        if (memory_ != nullptr) {
            munmap(memory_, bytes_);
        }
    }
    FreshMapping(const FreshMapping&) = delete;
    FreshMapping& operator=(const FreshMapping&) = delete;

    uint32_t* words() const { return static_cast<uint32_t*>(memory_); }

    size_t residentPages() const {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        std::vector<unsigned char> resident((bytes_ + page - 1) / page);
        if (mincore(memory_, bytes_, resident.data()) != 0) {
            return 0;
        }
        return size_t(std::count_if(resident.begin(), resident.end(),
                                    [](unsigned char r) { return (r & 1) != 0; }));
    }
    size_t pages() const { return bytes_ / size_t(sysconf(_SC_PAGESIZE)); }

  private:
    size_t bytes_;
    void* memory_ = nullptr;
};

bool SystemPopulatesPagesAhead() {
#if defined(MADV_POPULATE_WRITE)
    const FreshMapping probe(size_t(sysconf(_SC_PAGESIZE)));
    return probe.words() != nullptr &&
           madvise(probe.words(), size_t(sysconf(_SC_PAGESIZE)), MADV_POPULATE_WRITE) == 0;
#else
    return false;
#endif
}

TEST(PagePrefault, MapsEveryPageAndKeepsWhatTheOwnerWritesMeanwhile) {
    if (!SystemPopulatesPagesAhead()) {
        GTEST_SKIP() << "this kernel cannot populate pages ahead (Linux 5.14 or later can)";
    }
    constexpr size_t kWords = size_t(100) << 20 >> 2;  // 100 MB
    const FreshMapping mapping((kWords + 3) * sizeof(uint32_t));
    ASSERT_NE(mapping.words(), nullptr);
    // Starts a few bytes past a page boundary.
    uint32_t* words = mapping.words() + 3;
    PagePrefault prefault(words, kWords * sizeof(uint32_t));
    // Written from the end, as a decoder fills a plane, and sparsely from the start, where the
    // helper arrives last; the quarter between is left to the helper alone.
    for (size_t i = kWords; i-- > kWords / 2;) {
        words[i] = uint32_t(i * 2654435761u) | 1;
    }
    for (size_t i = 0; i < kWords / 4; i += 97) {
        words[i] = uint32_t(i) | 1;
    }
    prefault.finish();
    // Only the partial pages at either end of the range may have been left out.
    EXPECT_GE(mapping.residentPages() + 2, mapping.pages());

    size_t wrong = 0;
    for (size_t i = 0; i < kWords; ++i) {
        const uint32_t expected = i >= kWords / 2                 ? uint32_t(i * 2654435761u) | 1
                                  : i < kWords / 4 && i % 97 == 0 ? uint32_t(i) | 1
                                                                  : 0;
        wrong += words[i] != expected ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0u);
}

TEST(PagePrefault, RangesTooSmallToBeWorthAThreadAreNotMapped) {
    const FreshMapping mapping(size_t(32) << 20);
    ASSERT_NE(mapping.words(), nullptr);
    PagePrefault prefault(mapping.words(), size_t(32) << 20);
    prefault.finish();
    EXPECT_EQ(mapping.residentPages(), 0u);
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
