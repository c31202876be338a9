// The batch's workers, each job done by a stand-in that reports what it saw.

#include "cli/batch_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <sstream>

#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

std::vector<ConversionJob> Jobs(const testing::TempFolder& folder, int count) {
    std::vector<ConversionJob> jobs;
    for (int i = 0; i < count; ++i) {
        const std::string name = "in" + std::to_string(i);
        jobs.push_back({folder.file(name + ".png"), "", folder.file(name + ".bmp"), "", ""});
    }
    return jobs;
}

// A worker's exception would end the process; it fails its own file, and the others are saved.
TEST(RunJobs, AJobThatThrowsFailsItsFileAlone) {
    const testing::TempFolder folder;
    CliOptions options;
    options.jobs = 2;
    std::ostringstream report, errors;
    const int status = RunJobs(Jobs(folder, 4), options, report, errors, nullptr, nullptr,
                               [](const ConversionJob& job, const CliOptions&, JobOutcome&) {
                                   if (job.first.find("in1.png") != std::string::npos) {
                                       throw std::bad_alloc();
                                   }
                                   return Status::Ok();
                               });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(errors.str(), "k3v-convert: Cannot convert \"" + folder.file("in1.png") +
                                "\": there is not enough memory\n");
    const std::string saved = report.str();
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 3) << saved;
}

}  // namespace
}  // namespace k3v
