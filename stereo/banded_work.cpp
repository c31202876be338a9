#include "stereo/banded_work.h"

#include <algorithm>

#include "base/thread_runner.h"

namespace k3v {

bool ParallelBands(size_t count, int threads, size_t band, const Progress& progress,
                   const std::function<void(size_t begin, size_t end)>& body) {
    if (count == 0) {
        progress.report(1.0);
        return true;
    }
    band = std::max<size_t>(1, band);
    WorkTally tally(count);
    std::atomic<bool> stopped{false};
    ParallelRanges(count, threads, [&](size_t begin, size_t end) {
        for (size_t first = begin; first < end;) {
            if (progress.cancelled()) {
                stopped.store(true, std::memory_order_relaxed);
                return;
            }
            const size_t last = first + std::min(band, end - first);
            body(first, last);
            tally.add(last - first, progress);
            first = last;
        }
    });
    return !stopped.load(std::memory_order_relaxed);
}

}  // namespace k3v
