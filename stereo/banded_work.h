#pragma once
// Work shared by several threads that tells its progress and can be stopped: each thread's
// share is cut into bands, a cancel is seen where a band starts, and what is done is told as
// bands finish. Bands are whole runs of the same kernel calls the threads would make anyway,
// so the cost without a listener is a counter per band.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "base/progress.h"

namespace k3v {

// Counts the units of work finished on any thread and passes the fraction on in at most
// kSteps reports, the last one at exactly 1: a callback per band of a large picture would
// cost more than the band.
class WorkTally {
  public:
    static constexpr uint64_t kSteps = 256;

    explicit WorkTally(uint64_t total) : total_(total) {}  // total > 0

    // `units` more are done; a report, if due, goes to `progress` (under its stage name).
    void add(uint64_t units, const Progress& progress) {
        const uint64_t done = done_.fetch_add(units, std::memory_order_relaxed) + units;
        if (StepReached(done - units, done, total_)) {
            progress.report(done, total_);
        }
    }

    // Whether going from `before` to `after` of `total` units crosses one of the steps.
    static bool StepReached(uint64_t before, uint64_t after, uint64_t total) {
        return after * kSteps / total != before * kSteps / total;
    }

  private:
    uint64_t total_;
    std::atomic<uint64_t> done_{0};
};

// Runs body(begin, end) over [0, count) split into `threads` contiguous shares (as
// ParallelRanges does), each share in bands of `band` items. Once `progress` is cancelled no
// further band starts, and false is returned: some items were then never done. An empty range
// reports 1 at once.
bool ParallelBands(size_t count, int threads, size_t band, const Progress& progress,
                   const std::function<void(size_t begin, size_t end)>& body);

// The band, in rows of `width` pixels, for kernels that read a few rows per output row: about
// 64K pixels, so that a band takes a fraction of a millisecond.
inline size_t BandRows(size_t width) {
    constexpr size_t kBandPixels = size_t(1) << 16;
    return width == 0 ? 1 : (kBandPixels + width - 1) / width;
}

}  // namespace k3v
