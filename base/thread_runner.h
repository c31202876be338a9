#pragma once
// The one way this program runs work on several threads. Work on small pictures stays on the
// calling thread: starting threads would cost more than it saves. A thread that cannot be
// started (a process or thread limit, as in containers, or no memory for its stack) never ends
// the process: its share of the work runs on the calling thread instead, with the same result.

#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

namespace k3v {

// Caps the threads any kernel uses (0: no cap), for a batch that shares the cores between its
// jobs and for benchmarks that compare one core with two; returns the cap it replaces.
int LimitThreads(int threads);

// Threads to use for `items` units of work: 1 below `minItemsPerThread` per thread, and no more
// than the cores this process may use (cpu_budget.h).
int ThreadsFor(size_t items, size_t minItemsPerThread = size_t(1) << 16);

// Runs body(t) for t = 0 .. threads-1 and returns when all have finished. Body 0 runs on the
// caller's thread, the others on threads of their own; a body whose thread could not be
// started runs on the caller's thread after body 0. So every body must be able to finish
// without waiting for a body with a higher number, as bodies that share their work through
// a counter can. An exception from any body, on whichever thread, reaches the caller once every
// thread has ended (the first one, when several throw).
void RunOnThreads(int threads, const std::function<void(int)>& body);

// Runs body(begin, end) over [0, count) split into `threads` contiguous ranges.
void ParallelRanges(size_t count, int threads, const std::function<void(size_t, size_t)>& body);

// Work that merely helps (mapping pages ahead, say) on a thread of its own while the owner
// goes on; when no thread can be started, or the work throws, the help is not given. The
// destructor waits for it.
class HelperThread {
  public:
    explicit HelperThread(std::function<void()> work);
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    bool running() const { return thread_ != nullptr; }

  private:
    std::unique_ptr<std::thread> thread_;
};

}  // namespace k3v
