#include "tests/jpeg/reference_encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/jpeg/reference_transform.h"
#include "tests/jpeg/test_pictures.h"

namespace k3v::jpeg {
namespace {

using Params = std::tuple<std::pair<int, int>, int, int, const char*>;  // size, bpp, quality

class TransformAgainstReference : public ::testing::TestWithParam<Params> {};

TEST_P(TransformAgainstReference, GivesTheSameCoefficients) {
    const auto [size, bitsPerPixel, quality, content] = GetParam();
    const auto [width, height] = size;
    const testing::TestPicture picture =
        testing::MakePicture(width, height, testing::Content(content, width, height));
    const std::vector<uint8_t> dib = picture.Dib(bitsPerPixel, 0x42);

    CoefficientPlanes planes;
    planes.blocksAcross = BlocksFor(static_cast<size_t>(width));
    planes.blocksDown = BlocksFor(static_cast<size_t>(height));
    planes.coefficients.assign(planes.BlockCount() * 3 * 64, 0x5555);
    TransformPicture(DibPicture{dib.data(), static_cast<size_t>(width), static_cast<size_t>(height),
                                bitsPerPixel},
                     SetupQuantTables(quality), planes);

    const testing::ReferencePlanes reference =
        testing::ReferenceTransform(dib.data(), width, height, bitsPerPixel, quality);
    const std::vector<int>* referencePlane[3] = {&reference.y, &reference.cb, &reference.cr};
    for (size_t b = 0; b < planes.BlockCount(); ++b) {
        for (size_t c = 0; c < 3; ++c) {
            const int16_t* ours = planes.Block(b, static_cast<Component>(c));
            for (size_t z = 0; z < 64; ++z) {
                ASSERT_EQ(ours[z], (*referencePlane[c])[64 * b + z])
                    << "block " << b << " component " << c << " position " << z;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    SizesDepthsQualities, TransformAgainstReference,
    ::testing::Combine(::testing::Values(std::make_pair(1, 1), std::make_pair(7, 9),
                                         std::make_pair(33, 17), std::make_pair(64, 8),
                                         std::make_pair(23, 40)),
                       ::testing::Values(16, 24, 32), ::testing::Values(100, 75, 50, 0),
                       ::testing::Values("noise", "gradient")));

}  // namespace
}  // namespace k3v::jpeg
