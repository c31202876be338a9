// The batch tool's conversion in bands writes the files a whole conversion writes, byte for
// byte, for every kind of file and every way the views pass between the conversion and the
// save (through the ring, aside, or turned round), with bands and rings down to a row or two;
// a picture that fails in a late band fails as a whole load would, leaving nothing behind.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "job/banded_file_conversion.h"
#include "job/stereo_job.h"
#include "output/jpeg/jpeg_encoder.h"
#include "tests/support/plane_builders.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::EveryFilter;
using testing::TempFolder;

constexpr int kWidth = 37;
constexpr int kHeight = 23;

// A binary PPM of deterministic noise; `cut` leaves its last bytes out.
void WritePpm(const std::string& path, uint32_t seed, int cut = 0) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << kWidth << " " << kHeight << "\n255\n";
    uint32_t state = seed * 2654435761u + 1;
    for (int i = 0; i < kWidth * kHeight * 3 - cut; ++i) {
        state = state * 1664525u + 1013904223u;
        out.put(char(state >> 24));
    }
}

// A baseline JPEG, read in bands from the top only.
void WriteJpeg(const std::string& path) {
    JpegRows rows{kWidth, kHeight, [](int32_t y, uint32_t* out) {
                      for (int x = 0; x < kWidth; ++x) {
                          out[x] = uint32_t(x * 7 + y * 13) * 0x010305u;
                      }
                  }};
    ASSERT_TRUE(JPEGMAIN(path, rows, 90).ok());
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Case {
    const char* label;
    const char* output;  // its ending chooses the format
    ConversionSettings settings;
    bool pair = false;   // "Standard Stereo" from two pictures
    bool depth = false;  // a depth map, used
};

ConversionSettings With(int layout, bool half = false, bool still = false) {
    ConversionSettings s;
    s.StereoLayout = layout;
    s.HalfSize = half;
    s.SourceKind = still ? kStillPhoto : kPanorama;
    s.StereoEffect = still ? -2 : 3;
    return s;
}

ConversionSettings MeanPasses(int layout) {
    ConversionSettings s = EveryFilter();
    s.StereoLayout = layout;
    return s;
}

std::vector<Case> Cases() {
    ConversionSettings pair = With(kSideBySideHorizontal);
    pair.TransformationMode = kStandardStereo;
    ConversionSettings depth = With(kAnaglyph);
    depth.DepthOn = 1;
    depth.DepthValue = 12;
    ConversionSettings vertical = With(kSideBySideVertical, true);
    vertical.PairOrder = EyeOrder::Parallel;
    return {
        {"anaglyph", "a.jpg", With(kAnaglyph)},
        {"still photo cut", "a.bmp", With(kAnaglyph, false, true)},
        {"horizontal halved", "h.jpg", With(kSideBySideHorizontal, true)},
        {"vertical, lower view aside", "v.tif", With(kSideBySideVertical)},
        {"vertical halved bitmap", "v.bmp", vertical},
        {"separate files", "s.bmp", With(kSeparateFiles)},
        {"mpo", "m.mpo", With(kAnaglyph)},
        {"jps", "j.jps", With(kSideBySideVertical, true)},
        {"mean passes turned round", "n.jpg", MeanPasses(kSideBySideHorizontal)},
        {"mean passes bitmap", "n.bmp", MeanPasses(kSideBySideVertical)},
        {"pair", "p.jpg", pair, true},
        {"depth map", "d.bmp", depth, false, true},
    };
}

TEST(BandedFileConversion, WritesTheWholeConversionsBytes) {
    TempFolder folder;
    WritePpm(folder.file("first.ppm"), 1);
    WritePpm(folder.file("second.ppm"), 2);
    WritePpm(folder.file("map.ppm"), 3);
    WriteJpeg(folder.file("first.jpg"));
    for (const Case& c : Cases()) {
        for (const char* input : {"first.ppm", "first.jpg"}) {
            SCOPED_TRACE(std::string(c.label) + " from " + input);
            const BandedFiles files{folder.file(input), c.pair ? folder.file("second.ppm") : "",
                                    c.depth ? folder.file("map.ppm") : ""};
            StereoJob whole;
            whole.settings = c.settings;
            ASSERT_TRUE(whole.loadFirst(files.first).ok());
            if (c.depth) {
                ASSERT_TRUE(whole.loadDepthMap(files.depthMap).ok());
            }
            if (c.pair) {
                ASSERT_TRUE(whole.loadSecond(files.second).ok());
            }
            const OutputTarget expected(folder.file(std::string("whole-") + c.output), c.settings);
            ASSERT_TRUE(whole.save(expected).ok());
            for (const BandSizes& sizes :
                 {BandSizes{1, 2, false}, BandSizes{3, 5, true}, BandSizes{}}) {
                const OutputTarget target(folder.file(c.output), c.settings);
                int32_t width = 0, height = 0;
                const std::optional<Status> made =
                    ConvertFilesInBands(files, target, {}, nullptr, {}, width, height, sizes);
                ASSERT_TRUE(made.has_value());
                ASSERT_TRUE(made->ok()) << made->message();
                EXPECT_EQ(width, kWidth);
                EXPECT_EQ(height, kHeight);
                ASSERT_EQ(target.files().size(), expected.files().size());
                for (size_t i = 0; i < target.files().size(); ++i) {
                    EXPECT_EQ(ReadBytes(target.files()[i]), ReadBytes(expected.files()[i]))
                        << target.files()[i] << " with bands of " << sizes.bandRows;
                }
            }
        }
    }
}

// The second picture ends early: the conversion meets it in its last band, after rows of the
// views were written.
TEST(BandedFileConversion, APictureCutShortFailsAsAWholeLoadWouldAndLeavesNothing) {
    TempFolder folder;
    WritePpm(folder.file("first.ppm"), 1);
    WritePpm(folder.file("cut.ppm"), 2, kWidth * 3 * 2);
    ConversionSettings settings = With(kSideBySideVertical);
    settings.TransformationMode = kStandardStereo;
    StereoJob whole;
    ASSERT_TRUE(whole.loadFirst(folder.file("first.ppm")).ok());
    const Status expected = whole.loadSecond(folder.file("cut.ppm"));
    ASSERT_FALSE(expected.ok());
    for (const char* output : {"out.jpg", "out.bmp"}) {
        const OutputTarget target(folder.file(output), settings);
        int32_t width = 0, height = 0;
        const std::optional<Status> made =
            ConvertFilesInBands({folder.file("first.ppm"), folder.file("cut.ppm"), ""}, target, {},
                                nullptr, {}, width, height, {2, 2, false});
        ASSERT_TRUE(made.has_value());
        EXPECT_EQ(made->message(), expected.message());
        EXPECT_EQ(folder.entries(), (std::vector<std::string>{"cut.ppm", "first.ppm"}));
    }
}

}  // namespace
}  // namespace k3v
