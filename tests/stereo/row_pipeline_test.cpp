// The row pipeline's promise: each stage does every row once, in order, and only after the
// stage before it has finished the rows it needs, whatever the band size and worker count.

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/progress.h"
#include "stereo/row_pipeline.h"

namespace k3v {
namespace {

struct Trace {
    explicit Trace(size_t stages, size_t rowCount)
        : rows(rowCount), runs(new std::atomic<int>[stages * rowCount]) {
        for (size_t i = 0; i < stages * rows; ++i) {
            runs[i].store(0);
        }
    }
    bool finished(size_t stage, size_t row) const { return runs[stage * rows + row].load() > 0; }
    size_t rows;
    std::unique_ptr<std::atomic<int>[]> runs;
    std::atomic<int> faults{0};
};

void RunTraced(size_t rows, size_t bandRows, const std::vector<size_t>& leads, int threads) {
    const std::string where = std::to_string(rows) + " rows, bands of " + std::to_string(bandRows) +
                              ", " + std::to_string(threads) + " threads";
    Trace trace(leads.size(), rows);
    std::vector<RowStage> stages;
    for (size_t s = 0; s < leads.size(); ++s) {
        stages.push_back({leads[s], [&, s](size_t first, size_t end, int thread) {
                              if (thread < 0 || thread >= threads || first >= end || end > rows) {
                                  ++trace.faults;
                                  return;
                              }
                              // Every earlier row of this stage is done.
                              for (size_t r = 0; r < first; ++r) {
                                  trace.faults += trace.finished(s, r) ? 0 : 1;
                              }
                              // The stage before is done up to `lead` rows past the band.
                              const size_t needed = std::min(rows, end + leads[s]);
                              for (size_t r = 0; s > 0 && r < needed; ++r) {
                                  trace.faults += trace.finished(s - 1, r) ? 0 : 1;
                              }
                              // Slow early stages down, so a band let in too soon shows.
                              if (s == 0 && first % 3 == 0) {
                                  std::this_thread::sleep_for(std::chrono::microseconds(30));
                              }
                              for (size_t r = first; r < end; ++r) {
                                  trace.runs[s * rows + r].fetch_add(1);
                              }
                          }});
    }
    RunRowPipeline(rows, bandRows, stages, threads);
    EXPECT_EQ(trace.faults.load(), 0) << where;
    for (size_t i = 0; i < leads.size() * rows; ++i) {
        ASSERT_EQ(trace.runs[i].load(), 1)
            << where << ": stage " << i / rows << " row " << i % rows;
    }
}

TEST(RowPipeline, EveryRowOnceAndOnlyAfterWhatItNeeds) {
    const std::vector<size_t> leads = {0, 2, 2, 2, 1, 0, 5};
    for (const int threads : {1, 2, 3, 4}) {
        for (const size_t bandRows : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(50)}) {
            for (const size_t rows : {size_t(1), size_t(2), size_t(5), size_t(41)}) {
                RunTraced(rows, bandRows, leads, threads);
            }
        }
    }
}

TEST(RowPipeline, OneStageAndNoRowsAreFine) {
    RunTraced(9, 2, {0}, 2);
    RunTraced(0, 1, {0, 2}, 2);
    RunTraced(4, 0, {0, 1}, 2);  // a band of no rows is taken as one row
}

// A cancel seen where a band starts stops every stage: the workers pass the remaining bands
// without running them (none waits for a band that never comes), only the bands already under
// way finish, and the pipeline says it did not finish.
TEST(RowPipeline, ACancelStopsEveryStageAndEveryWorker) {
    for (const int threads : {1, 2, 3, 4}) {
        std::atomic<bool> cancel{false};
        const Progress progress([](const char*, double) {}, &cancel);
        std::atomic<int> ranAfterCancel{0};
        std::atomic<int> ran{0};
        std::vector<RowStage> stages;
        for (const size_t lead : {size_t(0), size_t(2), size_t(1)}) {
            stages.push_back({lead, [&](size_t first, size_t, int) {
                                  ranAfterCancel += cancel ? 1 : 0;
                                  ++ran;
                                  if (first == 20) {
                                      cancel = true;
                                  }
                              }});
        }
        EXPECT_FALSE(RunRowPipeline(60, 1, stages, threads, progress)) << threads;
        EXPECT_LT(ran.load(), 3 * 60) << threads;
        EXPECT_LT(ranAfterCancel.load(), threads) << threads;
    }
    EXPECT_TRUE(RunRowPipeline(5, 1, {{0, [](size_t, size_t, int) {}}}, 2, Progress()));
}

// Whether every other thread of this process is asleep (state S in /proc), as a waiting
// thread is; one that spins or yields stays runnable (R).
bool OthersAsleep() {
    const std::string self = std::to_string(syscall(SYS_gettid));
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        if (task.path().filename() == self) {
            continue;
        }
        std::ifstream in(task.path() / "stat");
        const std::string stat((std::istreambuf_iterator<char>(in)), {});
        const size_t name = stat.rfind(')');  // the state follows the name in parentheses
        if (name != std::string::npos && name + 2 < stat.size() && stat[name + 2] != 'S') {
            return false;
        }
    }
    return true;
}

// A worker waiting for another's band sleeps: with fewer cores than workers (an affinity mask,
// a CPU quota), a waiter that spins or yields keeps the core from the band it waits for. The
// first band holds on until the other worker, which waits for it, is asleep.
TEST(RowPipeline, AWorkerWaitingForABandSleeps) {
    bool asleep = false;
    const RowStage stage{
        0, [&](size_t first, size_t, int) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (first == 0 && !asleep && std::chrono::steady_clock::now() < until) {
                asleep = OthersAsleep();
            }
        }};
    RunRowPipeline(2, 1, {stage}, 2);
    EXPECT_TRUE(asleep);
}

}  // namespace
}  // namespace k3v
