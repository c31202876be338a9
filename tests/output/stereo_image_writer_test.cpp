#include "output/stereo_image_writer.h"
#include "output/output_target.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "output/panorama_xmp.h"
#include "tests/support/plane_builders.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::NoisePlane;
using testing::PlanesWith;
using testing::ReadBytes;
using testing::TempFolder;

StereoPlanes NoiseViews(int32_t width, int32_t height) {
    StereoPlanes planes = PlanesWith(NoisePlane(width, height, 1));
    planes.FirstView = NoisePlane(width, height, 2);
    planes.SecondView = NoisePlane(width, height, 3);
    return planes;
}

bool Contains(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& part) {
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

// A 360-degree viewer wraps whatever carries the panorama tags around the sphere: only a file
// that holds one view (or one anaglyph) of the whole sphere may carry them, never a pair.
struct SphereTagCase {
    const char* name;
    int32_t layout;
    bool half;
    int32_t width;
    int32_t height;
    const char* file;
    bool tagged;  // each written file carries the tags of a width x height panorama
    int32_t kind = kPanorama;
};

void PrintTo(const SphereTagCase& c, std::ostream* out) {
    *out << c.name;
}

class SphereTags : public ::testing::TestWithParam<SphereTagCase> {};

TEST_P(SphereTags, GoOnlyOnOneViewOfTheWholeSphere) {
    const SphereTagCase& c = GetParam();
    const TempFolder folder;
    ConversionSettings settings;
    settings.WrapAround = true;
    settings.StereoLayout = c.layout;
    settings.HalfSize = c.half;
    settings.SourceKind = c.kind;
    const std::string path = folder.file(c.file);
    const StereoPlanes planes = NoiseViews(c.width, c.height);
    const OutputTarget target(path, settings, 90);
    const Status written = WriteStereoImage(target, planes);
    ASSERT_TRUE(written.ok()) << written.message();
    const std::vector<uint8_t> tags = PanoramaXmpSegment(c.width, c.height);
    for (const std::string& file : target.files()) {
        const std::vector<uint8_t> bytes = ReadBytes(file);
        ASSERT_FALSE(bytes.empty()) << file;
        EXPECT_EQ(Contains(bytes, tags), c.tagged) << file;
        EXPECT_EQ(Contains(bytes, {'G', 'P', 'a', 'n', 'o'}), c.tagged) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(
    WrappedFiles, SphereTags,
    ::testing::Values(
        SphereTagCase{"Anaglyph", kAnaglyph, false, 64, 32, "a.jpg", true},
        SphereTagCase{"SeparateViews", kSeparateFiles, false, 64, 32, "v.jpg", true},
        SphereTagCase{"NarrowAnaglyph", kAnaglyph, false, 48, 32, "a.jpg", false},
        // A still photo's cut anaglyph is 2:1 but no longer the whole sphere.
        SphereTagCase{"CutAnaglyph", kAnaglyph, false, 82, 32, "a.jpg", false, kStillPhoto},
        // Pairs whose whole picture happens to be 2:1.
        SphereTagCase{"HalfHorizontal", kSideBySideHorizontal, true, 64, 32, "h.jpg", false},
        SphereTagCase{"SquareHorizontal", kSideBySideHorizontal, false, 32, 32, "h.jpg", false},
        SphereTagCase{"WideVertical", kSideBySideVertical, false, 64, 16, "v.jpg", false},
        SphereTagCase{"HalfVertical", kSideBySideVertical, true, 64, 32, "v.jpg", false},
        // Stereo files hold a pair as well.
        SphereTagCase{"Mpo", kAnaglyph, false, 64, 32, "p.mpo", false},
        SphereTagCase{"Jps", kSideBySideHorizontal, true, 64, 32, "p.jps", false}),
    [](const ::testing::TestParamInfo<SphereTagCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace k3v
