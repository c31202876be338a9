// Progress and cancel of a JPEG save: the bands report as they are done, a cancel stops every
// thread after its band, and the file that was there before stays as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/thread_runner.h"
#include "output/jpeg/jpeg_encoder.h"
#include "tests/jpeg/encode_to_memory.h"
#include "tests/jpeg/test_pictures.h"
#include "tests/support/jpeg_test_encoding.h"
#include "tests/support/progress_recorder.h"
#include "tests/support/temp_folder.h"

namespace k3v::jpeg {
namespace {

using k3v::testing::ProgressRecorder;

// 2048 pixels wide, a band is 16 block rows: 8 bands in each pass, on two threads.
constexpr int kWidth = 2048;
constexpr int kHeight = 1024;

class JpegSave : public ::testing::Test {
  protected:
    void SetUp() override {
        LimitThreads(2);
        ASSERT_TRUE(k3v::testing::BitmapRows(dib_.data(), kWidth, kHeight, 32, rows_).ok());
    }
    void TearDown() override { LimitThreads(0); }

    const k3v::testing::TempFolder folder_;
    const std::string path_ = folder_.file("out.jpg");
    const std::vector<uint8_t> dib_ =
        testing::MakePicture(kWidth, kHeight, testing::Content("noise", kWidth, kHeight)).Dib(32);
    JpegRows rows_;
};

using JpegSaveProgress = JpegSave;

TEST_F(JpegSaveProgress, RisesBandByBandToOneAndChangesNoByte) {
    ProgressRecorder recorder;
    ASSERT_TRUE(JPEGMAIN(path_, rows_, 100, recorder.progress()).ok());
    const std::vector<double>& fractions = recorder.fractions();
    EXPECT_GE(fractions.size(), 4u);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_GT(fractions.front(), 0.0);
    EXPECT_EQ(fractions.back(), 1.0);
    std::vector<uint8_t> unreported;
    ASSERT_TRUE(testing::EncodeRows(rows_, 100, unreported).ok());
    EXPECT_EQ(k3v::testing::ReadBytes(path_), unreported);
}

// Cancelled at the first report of at least this fraction: the first pass takes 0 to 0.8.
class JpegSaveCancel : public JpegSave, public ::testing::WithParamInterface<double> {};

TEST_P(JpegSaveCancel, KeepsTheOldFileAndLeavesNoTemporaryFile) {
    const std::vector<uint8_t> old = {'o', 'l', 'd', 0, 0xFF, 0xD8};
    k3v::testing::WriteBytes(path_, old);
    ProgressRecorder recorder(GetParam());
    const Status status = JPEGMAIN(path_, rows_, 100, recorder.progress());
    EXPECT_TRUE(status.cancelled()) << status.message();
    EXPECT_EQ(k3v::testing::ReadBytes(path_), old);
    EXPECT_EQ(folder_.entries(), std::vector<std::string>{"out.jpg"});
    // The other thread finishes the band it is on and begins no other.
    EXPECT_LE(recorder.reportsAfterCancel(), 1u);
}

std::string ReportName(const ::testing::TestParamInfo<double>& at) {
    const char* const names[] = {"First", "InTheFirstPass", "InTheSecondPass", "Last"};
    return names[at.index];
}

INSTANTIATE_TEST_SUITE_P(Reports, JpegSaveCancel, ::testing::Values(0.0, 0.4, 0.9, 1.0),
                         ReportName);

}  // namespace
}  // namespace k3v::jpeg
