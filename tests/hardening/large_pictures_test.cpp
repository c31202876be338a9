// Large pictures: the batch tool converts pictures far larger than its memory in bands; a
// picture too large even for that is refused with a message giving its size, before anything
// large is allocated, never by the process being killed; the widest pictures a JPEG file can
// describe are saved, wider ones are refused.

#include <gtest/gtest.h>

#include <QImage>

#include "base/memory_probe.h"
#include "input/picture_decoder.h"
#include "output/bmp_writer.h"
#include "tests/hardening/corpus.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::RunProcess;
using testing::TempFolder;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;  // it reserves terabytes of address space up front
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

int32_t SavedWidth(const std::string& path);

// Conversions go in bands: a 12000 x 12000 picture, which whole would need about 3.5 GB of
// planes, converts to every kind of file within 1.5 GB of address space.
TEST(LargePictures, ConvertInBandsWithinALimitedAddressSpace) {
    if (kAddressSanitizer) {
        GTEST_SKIP() << "an address-space limit cannot be combined with AddressSanitizer";
    }
    TempFolder folder;
    {
        QImage image(12000, 12000, QImage::Format_Grayscale8);
        image.fill(100);
        ASSERT_TRUE(image.save(QString::fromStdString(folder.file("big.png")), "PNG"));
    }
    for (const char* output : {"out.bmp", "out.jpg", "out.tif"}) {
        const auto run =
            RunProcess(K3V_CONVERT, {"-o", folder.file(output), folder.file("big.png")},
                       folder.path(), "ulimit -v 1500000;");
        EXPECT_EQ(run.exitCode, 0) << output << ": " << run.err;
        EXPECT_EQ(run.err, "");
    }
    EXPECT_EQ(SavedWidth(folder.file("out.bmp")), 12000);
    EXPECT_EQ(SavedWidth(folder.file("out.jpg")), 12000);
    EXPECT_EQ(testing::ReadBytes(folder.file("out.bmp")).size(),
              kBmpHeaderSize + 12000u * 12000u * 4);
}

// A picture so wide that a band of its rows passes the memory this process may use is refused
// with a message giving its size, before anything large is allocated, never by the process
// being killed.
TEST(LargePictures, TooWideForTheAddressSpaceIsRefusedNotKilled) {
    if (kAddressSanitizer) {
        GTEST_SKIP() << "an address-space limit cannot be combined with AddressSanitizer";
    }
    TempFolder folder;
    const std::string input = std::string(K3V_CORPUS_DIR) + "/wide_16000000.tif";
    for (const char* output : {"out.bmp", "out.jpg"}) {
        const auto run = RunProcess(K3V_CONVERT, {"-o", folder.file(output), input}, folder.path(),
                                    "ulimit -v 1500000;");
        EXPECT_EQ(run.exitCode, 1) << "killed or crashed instead of refusing: " << run.err;
        EXPECT_EQ(run.err.rfind("k3v-convert: Cannot load \"" + input + "\": ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find("there is not enough memory for a picture of 16000000 x 10 pixels"),
                  std::string::npos)
            << run.err;
        // The figure the user is given is what this process may still use, not the
        // machine's free memory.
        const size_t mb = run.err.find(" MB are available)");
        ASSERT_NE(mb, std::string::npos) << run.err;
        const size_t figure = run.err.rfind(' ', mb - 1) + 1;
        EXPECT_LT(std::stoul(run.err.substr(figure, mb - figure)), 1500u) << run.err;
        EXPECT_EQ(folder.entries(), std::vector<std::string>{});
    }
}

// Headers claiming 100000 x 100000 pixels over a few bytes: refused by the memory check
// before the decoder allocates (on machines with less than ~115 GB available).
class HugeClaims : public ::testing::TestWithParam<std::string> {};

TEST_P(HugeClaims, AreRefusedByTheMemoryCheckWithTheSize) {
    if (AvailableMemoryBytes() > PlaneBytes(100000, 100000, 3)) {
        GTEST_SKIP() << "this machine has the memory for such a picture";
    }
    PixelPlane plane;
    const Status decoded = DecodePictureFile(std::string(K3V_CORPUS_DIR) + "/" + GetParam(), plane);
    ASSERT_FALSE(decoded.ok());
    EXPECT_NE(decoded.message().find("there is not enough memory for a picture of 100000 x "
                                     "100000 pixels (it needs "),
              std::string::npos)
        << decoded.message();
    EXPECT_TRUE(plane.empty());
}

INSTANTIATE_TEST_SUITE_P(Corpus, HugeClaims,
                         ::testing::Values("huge_100000.png", "huge_100000.tif"),
                         [](const auto& row) { return testing::TestNameOf(row.param); });

// The widest output a JPEG file can hold is 65535 pixels; BMP has no such limit.
struct WideCase {
    const char* label;
    const char* input;
    const char* layout;
    const char* output;
    int exitCode;
    int32_t savedWidth;
};

void PrintTo(const WideCase& c, std::ostream* out) {
    *out << c.label;
}

// The width in a saved file's header. JPEG files are read from their frame header: libjpeg,
// and every reader built on it, stops at 65500 pixels, short of the format's 65535.
int32_t SavedWidth(const std::string& path) {
    const std::vector<uint8_t> bytes = testing::ReadBytes(path);
    if (path.ends_with(".bmp")) {
        return bytes.size() < 22 ? -1 : int32_t(bytes[18] | bytes[19] << 8 | bytes[20] << 16);
    }
    for (size_t at = 2; at + 9 < bytes.size();) {
        if (bytes[at] != 0xFF) {
            return -1;
        }
        if (bytes[at + 1] == 0xC0) {  // start of a baseline frame: P, Y, X
            return int32_t(bytes[at + 7] << 8 | bytes[at + 8]);
        }
        at += 2 + size_t(bytes[at + 2] << 8 | bytes[at + 3]);
    }
    return -1;
}

class WidePictures : public ::testing::TestWithParam<WideCase> {};

TEST_P(WidePictures, AreSavedUpToTheFormatsLimitAndRefusedBeyond) {
    const WideCase& c = GetParam();
    TempFolder folder;
    const std::string input = std::string(K3V_CORPUS_DIR) + "/" + c.input;
    const auto run = RunProcess(
        K3V_CONVERT, {"--layout", c.layout, "-o", folder.file(c.output), input}, folder.path());
    ASSERT_EQ(run.exitCode, c.exitCode) << run.err;
    if (c.exitCode != 0) {
        EXPECT_EQ(run.err.rfind("k3v-convert: Cannot write \"" + folder.file(c.output) + "\": ", 0),
                  0u)
            << run.err;
        EXPECT_NE(run.err.find("65535"), std::string::npos) << "say the limit: " << run.err;
        EXPECT_EQ(folder.entries(), std::vector<std::string>{});
        return;
    }
    EXPECT_EQ(SavedWidth(folder.file(c.output)), c.savedWidth);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{c.output});
}

INSTANTIATE_TEST_SUITE_P(
    Widths, WidePictures,
    ::testing::Values(
        WideCase{"Jpeg65535", "wide_65535.png", "anaglyph", "o.jpg", 0, 65535},
        WideCase{"Jpeg65536", "wide_65536.png", "anaglyph", "o.jpg", 1, 0},
        WideCase{"Bmp65536", "wide_65536.png", "anaglyph", "o.bmp", 0, 65536},
        WideCase{"JpegSideBySide131072", "wide_65536.png", "horizontal", "o.jpg", 1, 0},
        WideCase{"BmpSideBySide131072", "wide_65536.png", "horizontal", "o.bmp", 0, 131072}),
    [](const auto& row) { return std::string(row.param.label); });

}  // namespace
}  // namespace k3v
