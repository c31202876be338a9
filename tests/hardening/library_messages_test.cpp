// Catching the image libraries' own lines on stderr, and picking the reason out of them.

#include "input/library_messages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace k3v {
namespace {

struct ReasonCase {
    const char* label;
    const char* caught;
    const char* reason;
};

void PrintTo(const ReasonCase& c, std::ostream* out) {
    *out << c.label;
}

class LibraryReasons : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(LibraryReasons, NameWhatTheLibraryObjectedTo) {
    EXPECT_EQ(LibraryReason(GetParam().caught), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LibraryReasons,
    ::testing::Values(
        ReasonCase{"Nothing", "", ""},
        ReasonCase{"PngWarningOnly", "libpng warning: iCCP: known incorrect sRGB profile\n", ""},
        ReasonCase{"PngCutShort", "libpng error: Read Error\n", "the PNG file is cut short"},
        ReasonCase{"PngChecksum", "libpng warning: x\nlibpng error: IDAT: CRC error\n",
                   "the PNG data is damaged (IDAT: CRC error)"},
        ReasonCase{"TiffWarningOnly",
                   "TIFFReadDirectory: Warning, Unknown field with tag 700 (0x2bc) encountered.\n",
                   ""},
        ReasonCase{"TiffError",
                   "TIFFReadDirectory: Warning, Bogus field.\nTIFFFillStrip: Read error at "
                   "scanline 7; got 500 bytes, expected 1200.\n",
                   "the TIFF data is damaged (Read error at scanline 7; got 500 bytes, expected "
                   "1200)"},
        ReasonCase{"TiffErrorNamingTheStream",
                   "TIFFFetchDirectory: foo: Can not read TIFF directory.\n",
                   "the TIFF data is damaged (Can not read TIFF directory)"},
        ReasonCase{"OtherChatter", "QImage: out of memory, returning null image\n", ""}),
    [](const auto& row) { return std::string(row.param.label); });

// What a library prints while caught comes back from finish() and does not reach the real
// stderr (here a pipe we read); what is printed afterwards does.
TEST(CaughtLibraryMessages, KeepLibraryLinesOffTheTerminal) {
    if (std::getenv("K3V_SHOW_LIBRARY_MESSAGES") != nullptr) {
        GTEST_SKIP() << "K3V_SHOW_LIBRARY_MESSAGES is set: nothing is caught";
    }
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    std::fflush(stderr);
    const int realStderr = dup(STDERR_FILENO);
    dup2(pipeEnds[1], STDERR_FILENO);
    std::string caught;
    {
        CaughtLibraryMessages messages;
        std::fprintf(stderr, "libpng error: IDAT: CRC error\n");
        caught = messages.finish();
    }
    std::fprintf(stderr, "after\n");
    std::fflush(stderr);
    dup2(realStderr, STDERR_FILENO);
    close(realStderr);
    close(pipeEnds[1]);
    char buffer[256] = {};
    const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer - 1);
    close(pipeEnds[0]);
    EXPECT_EQ(caught, "libpng error: IDAT: CRC error\n");
    EXPECT_EQ(std::string(buffer, size_t(std::max<ssize_t>(got, 0))), "after\n");
}

}  // namespace
}  // namespace k3v
