// The batch's workers, each job done by a stand-in that reports what it saw.

#include "cli/batch_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <sstream>

#include "base/cpu_budget.h"
#include "base/thread_runner.h"
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

// Jobs x threads stay within the cores the process may use: two jobs at once take half of
// them each, a job alone all of them (up to the kernels' 16).
TEST(RunJobs, JobsShareTheCoresThisProcessMayUse) {
    const testing::TempFolder folder;
    const int cores = CpuBudget();
    for (const auto& [jobs, share] :
         {std::pair{1, std::min(16, cores)}, {2, std::max(1, cores / 2)}}) {
        CliOptions options;
        options.jobs = jobs;
        std::atomic<int> threads{0};
        std::ostringstream report, errors;
        RunJobs(Jobs(folder, 4), options, report, errors, nullptr, nullptr,
                [&](const ConversionJob&, const CliOptions&, JobOutcome&) {
                    threads.store(ThreadsFor(size_t(1) << 30), std::memory_order_relaxed);
                    return Status::Ok();
                });
        EXPECT_EQ(threads.load(), share) << jobs << " jobs";
    }
    EXPECT_EQ(ThreadsFor(size_t(1) << 30), std::min(16, cores));  // the share ends with the batch
}

}  // namespace
}  // namespace k3v
