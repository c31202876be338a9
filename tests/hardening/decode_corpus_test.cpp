// Every corpus file through the library's load path (DecodePictureFile, then
// InstallFirstPicture as a loaded first picture): valid pictures arrive with the right size,
// orientation and colours, compared with another decoder's pixels; damaged and hostile files
// are refused with a message naming the file, and nothing changes.

#include <gtest/gtest.h>

#include <cstdlib>

#include "input/picture_decoder.h"
#include "stereo/stereo_planes.h"
#include "tests/hardening/corpus.h"

namespace k3v {
namespace {

using testing::CorpusFile;
using testing::CorpusWhere;

std::string NameOf(const ::testing::TestParamInfo<CorpusFile>& info) {
    return testing::TestNameOf(info.param.name);
}

class ValidPicture : public ::testing::TestWithParam<CorpusFile> {};

TEST_P(ValidPicture, ArrivesInThePlanesAsTheReferenceDecoderSeesIt) {
    const CorpusFile& f = GetParam();
    PixelPlane plane;
    const Status decoded = DecodePictureFile(f.path(), plane);
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    ASSERT_EQ(plane.width(), f.width);
    ASSERT_EQ(plane.height(), f.height);

    const std::vector<uint8_t> reference = testing::ReferencePixels(f);
    ASSERT_EQ(reference.size(), size_t(f.width) * size_t(f.height) * 3);
    int worst = 0;
    std::string firstBad;
    for (int32_t y = 0; y < f.height; ++y) {
        // Reference rows run top first; plane rows bottom first.
        const uint32_t* row = plane.row(f.height - 1 - y);
        for (int32_t x = 0; x < f.width; ++x) {
            const uint8_t* want = &reference[(size_t(y) * size_t(f.width) + size_t(x)) * 3];
            const int got[3] = {int(row[x] >> 16 & 0xFF), int(row[x] >> 8 & 0xFF),
                                int(row[x] & 0xFF)};
            for (int c = 0; c < 3; ++c) {
                const int difference = std::abs(got[c] - int(want[c]));
                if (difference > f.tolerance && firstBad.empty()) {
                    firstBad = "(" + std::to_string(x) + ", " + std::to_string(y) + ") channel " +
                               std::to_string(c) + ": " + std::to_string(got[c]) + " instead of " +
                               std::to_string(want[c]);
                }
                worst = std::max(worst, difference);
            }
            ASSERT_EQ(row[x] >> 24, 0u) << "the fourth byte must be zero at " << x << "," << y;
        }
    }
    EXPECT_LE(worst, f.tolerance) << "first difference beyond the tolerance at " << firstBad;
    for (int32_t x = 0; x < f.width; ++x) {
        ASSERT_EQ(plane.row(f.height)[x], 0u) << "the spare row must stay zero";
    }

    // Loaded as the first picture: every plane takes its size, the pixels are kept.
    const uint32_t corner = plane.data()[0];
    StereoPlanes planes;
    const Status installed = InstallFirstPicture(planes, std::move(plane));
    ASSERT_TRUE(installed.ok()) << installed.message();
    EXPECT_EQ(planes.SourceWidth, f.width);
    EXPECT_EQ(planes.SourceHeight, f.height);
    EXPECT_EQ(planes.FirstView.width(), f.width);
    EXPECT_EQ(planes.DecodedImage1.data()[0], corner);
    EXPECT_EQ(planes.SourceImage1.data()[0], corner);
}

INSTANTIATE_TEST_SUITE_P(Corpus, ValidPicture,
                         ::testing::ValuesIn(CorpusWhere(&CorpusFile::mustLoad)), NameOf);

class DamagedFile : public ::testing::TestWithParam<CorpusFile> {};

TEST_P(DamagedFile, IsRefusedWithTheFileAndTheReasonAndChangesNothing) {
    const CorpusFile& f = GetParam();
    PixelPlane plane;
    ASSERT_TRUE(plane.allocate(3, 2).ok());
    plane.data()[4] = 0x123456;
    const Status decoded = DecodePictureFile(f.path(), plane);
    ASSERT_FALSE(decoded.ok()) << "a damaged file was loaded as " << plane.width() << " x "
                               << plane.height();
    const std::string prefix = "Cannot load \"" + f.path() + "\": ";
    ASSERT_EQ(decoded.message().rfind(prefix, 0), 0u) << decoded.message();
    const std::string reason = decoded.message().substr(prefix.size());
    EXPECT_GE(reason.size(), 8u) << "the reason must say something: " << reason;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    if (f.reason != "-") {
        EXPECT_NE(reason.find(f.reason), std::string::npos) << reason;
    }
    EXPECT_EQ(plane.width(), 3);
    EXPECT_EQ(plane.height(), 2);
    EXPECT_EQ(plane.data()[4], 0x123456u);
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedFile,
                         ::testing::ValuesIn(CorpusWhere(&CorpusFile::mustBeRefused)), NameOf);

// A TIFF whose directory chain loops: its first page is whole, so loading it is right, as
// long as nothing walks the chain for ever.
TEST(LoopingTiff, LoadsItsFirstPageAndStops) {
    PixelPlane plane;
    const Status decoded = DecodePictureFile(std::string(K3V_CORPUS_DIR) + "/tiff_loop.tif", plane);
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    EXPECT_EQ(plane.width(), 10);
    EXPECT_EQ(plane.height(), 10);
}

}  // namespace
}  // namespace k3v
