#include "base/thread_runner.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "base/cpu_budget.h"

namespace k3v {

namespace {

std::atomic<int> threadCap{0};

// A new thread running `work`, or none when the system refuses one.
std::unique_ptr<std::thread> TryStartThread(std::function<void()> work) {
    try {
        return std::make_unique<std::thread>(std::move(work));
    } catch (const std::exception&) {  // std::system_error (EAGAIN) or std::bad_alloc
        return nullptr;
    }
}

}  // namespace

int LimitThreads(int threads) {
    return threadCap.exchange(std::max(0, threads));
}

int ThreadsFor(size_t items, size_t minItemsPerThread) {
    size_t cores = size_t(CpuBudget());
    if (const int cap = threadCap.load(); cap > 0) {
        cores = std::min(cores, size_t(cap));
    }
    const size_t useful = std::max<size_t>(1, items / std::max<size_t>(1, minItemsPerThread));
    return int(std::min({cores, useful, size_t(16)}));
}

void RunOnThreads(int threads, const std::function<void(int)>& body) {
    // An exception must not leave a thread of its own (that ends the process): it is kept, and
    // the first one reaches the caller once every thread has ended.
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto keep = [&](std::exception_ptr exception) {
        const std::lock_guard lock(failureMutex);
        if (!failure) {
            failure = std::move(exception);
        }
    };
    std::vector<std::unique_ptr<std::thread>> helpers;
    std::vector<int> notStarted;
    for (int t = 1; t < threads; ++t) {
        if (notStarted.empty()) {
            if (auto helper = TryStartThread([&body, &keep, t] {
                    try {
                        body(t);
                    } catch (...) {
                        keep(std::current_exception());
                    }
                })) {
                helpers.push_back(std::move(helper));
                continue;
            }
        }
        notStarted.push_back(t);  // once one thread is refused, the rest would be too
    }
    try {
        body(0);
        for (const int t : notStarted) {
            body(t);
        }
    } catch (...) {
        keep(std::current_exception());
    }
    for (const auto& helper : helpers) {
        helper->join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void ParallelRanges(size_t count, int threads, const std::function<void(size_t, size_t)>& body) {
    threads = std::max(1, threads);
    RunOnThreads(threads, [&](int t) {
        const size_t begin = count * size_t(t) / size_t(threads);
        const size_t end = count * size_t(t + 1) / size_t(threads);
        if (begin < end) {
            body(begin, end);
        }
    });
}

// Help that fails is help not given: the owner does the work anyway.
HelperThread::HelperThread(std::function<void()> work)
    : thread_(TryStartThread([work = std::move(work)] {
          try {
              work();
          } catch (...) {  // (no memory, say) the owner does without the help
          }
      })) {}

HelperThread::~HelperThread() {
    if (thread_ != nullptr) {
        thread_->join();
    }
}

}  // namespace k3v
