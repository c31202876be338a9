// Progress and cancel of a BMP save: the bands of rows report as they are written, and a
// cancel leaves the file that was there before as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "output/bmp_writer.h"
#include "tests/support/plane_builders.h"
#include "tests/support/progress_recorder.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::ProgressRecorder;
using testing::ReadBytes;

// 512 pixels wide, a band is 512 rows: four bands.
class BmpSave : public ::testing::Test {
  protected:
    const testing::TempFolder folder_;
    const std::string path_ = folder_.file("out.bmp");
    const StereoPlanes planes_ = testing::PlanesWith(testing::NoisePlane(512, 2048, 3));
    const OutputPicture picture_{ConversionSettings{}, planes_};
};

using BmpSaveProgress = BmpSave;

TEST_F(BmpSaveProgress, RisesBandByBandToOneAndChangesNoByte) {
    ProgressRecorder recorder;
    ASSERT_TRUE(WriteBmpFile(path_, picture_, recorder.progress()).ok());
    const std::vector<double>& fractions = recorder.fractions();
    EXPECT_GE(fractions.size(), 4u);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_EQ(fractions.back(), 1.0);
    const std::vector<uint8_t> reported = ReadBytes(path_);
    ASSERT_TRUE(WriteBmpFile(path_, picture_).ok());
    EXPECT_EQ(reported, ReadBytes(path_));
}

// Cancelled at the first report of at least this fraction.
class BmpSaveCancel : public BmpSave, public ::testing::WithParamInterface<double> {};

TEST_P(BmpSaveCancel, KeepsTheOldFileAndLeavesNoTemporaryFile) {
    const std::vector<uint8_t> old = {'B', 'M', 'o', 'l', 'd'};
    testing::WriteBytes(path_, old);
    ProgressRecorder recorder(GetParam());
    const Status status = WriteBmpFile(path_, picture_, recorder.progress());
    EXPECT_TRUE(status.cancelled()) << status.message();
    EXPECT_EQ(ReadBytes(path_), old);
    EXPECT_EQ(folder_.entries(), std::vector<std::string>{"out.bmp"});
    EXPECT_EQ(recorder.reportsAfterCancel(), 0u);
}

std::string ReportName(const ::testing::TestParamInfo<double>& at) {
    const char* const names[] = {"First", "Middle", "Last"};
    return names[at.index];
}

INSTANTIATE_TEST_SUITE_P(Reports, BmpSaveCancel, ::testing::Values(0.0, 0.5, 1.0), ReportName);

}  // namespace
}  // namespace k3v
