#include "align/cubic_warp.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <array>
#include <cstdint>
#include <cstdlib>

#include "tests/support/textured_pair.h"

namespace k3v {
namespace {

// Our warp against OpenCV's bicubic one, which weighs with the same kernel (to 1/32 pixel and
// 15-bit weights where ours takes 1/256 pixel): over a picture whose edges the warp crosses,
// so that both the inside and the clamped edge path are compared.
TEST(CubicWarp, AgreesWithOpenCvsBicubicWarp) {
    const testing::TexturedPair pair = testing::MakeTexturedPair(331, 217, {});
    const PixelPlane& source = pair.first;
    PixelPlane target;
    ASSERT_TRUE(target.allocate(301, 239).ok());
    // Turned by 2 degrees, scaled by 3 %, with a keystone, and shifted past the left edge.
    const std::array<double, 9> h{0.97, -0.034, -6.3, 0.034, 0.97, -9.7, 2e-5, -3e-5, 1};
    ASSERT_TRUE(WarpCubic(source, h, target));

    const cv::Mat from(source.height(), source.width(), CV_8UC4,
                       const_cast<uint32_t*>(source.data()));
    cv::Mat expected;
    cv::warpPerspective(from, expected, cv::Matx33d(h.data()), cv::Size(301, 239),
                        cv::INTER_CUBIC | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    int32_t largest = 0;
    int64_t total = 0;
    for (int32_t y = 0; y < target.height(); ++y) {
        for (int32_t x = 0; x < target.width(); ++x) {
            const uint32_t ours = target.row(y)[x];
            const cv::Vec4b theirs = expected.at<cv::Vec4b>(y, x);
            for (int c = 0; c < 3; ++c) {
                const int32_t difference = std::abs(int32_t((ours >> (8 * c)) & 0xFF) - theirs[c]);
                largest = std::max(largest, difference);
                total += difference;
            }
        }
    }
    EXPECT_LE(largest, 1);
    EXPECT_LT(double(total) / double(target.pixelCount() * 3), 0.06);
    // The spare row stays zero.
    for (int32_t x = 0; x < target.width(); ++x) {
        ASSERT_EQ(target.row(target.height())[x], 0u);
    }
}

}  // namespace
}  // namespace k3v
