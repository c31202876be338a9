#pragma once
// Splitting pixel work over the machine's cores. Work on small pictures stays on the calling
// thread: starting threads would cost more than it saves.

#include <atomic>
#include <cstddef>
#include <functional>

namespace k3v {

// Caps the threads any kernel uses (0: no cap); for benchmarks that compare one core with two.
void LimitThreads(int threads);

// Threads to use for `items` units of work: 1 below `minItemsPerThread` per thread.
int ThreadsFor(size_t items, size_t minItemsPerThread = size_t(1) << 16);

// Runs body(t) for t = 0 .. threads-1, each on its own thread (t = 0 on the caller's), and
// returns when all have finished.
void RunOnThreads(int threads, const std::function<void(int)>& body);

// Runs body(begin, end) over [0, count) split into `threads` contiguous ranges.
void ParallelRanges(size_t count, int threads, const std::function<void(size_t, size_t)>& body);

}  // namespace k3v
