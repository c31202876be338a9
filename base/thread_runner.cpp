#include "base/thread_runner.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

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

void LimitThreads(int threads) {
    threadCap.store(std::max(0, threads));
}

int ThreadsFor(size_t items, size_t minItemsPerThread) {
    size_t cores = std::max(1u, std::thread::hardware_concurrency());
    if (const int cap = threadCap.load(); cap > 0) {
        cores = std::min(cores, size_t(cap));
    }
    const size_t useful = std::max<size_t>(1, items / std::max<size_t>(1, minItemsPerThread));
    return int(std::min({cores, useful, size_t(16)}));
}

void RunOnThreads(int threads, const std::function<void(int)>& body) {
    std::vector<std::unique_ptr<std::thread>> helpers;
    std::vector<int> notStarted;
    for (int t = 1; t < threads; ++t) {
        if (notStarted.empty()) {
            if (auto helper = TryStartThread([&body, t] { body(t); })) {
                helpers.push_back(std::move(helper));
                continue;
            }
        }
        notStarted.push_back(t);  // once one thread is refused, the rest would be too
    }
    std::exception_ptr failure;
    try {
        body(0);
        for (const int t : notStarted) {
            body(t);
        }
    } catch (...) {
        failure = std::current_exception();
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

HelperThread::HelperThread(std::function<void()> work) : thread_(TryStartThread(std::move(work))) {}

HelperThread::~HelperThread() {
    if (thread_ != nullptr) {
        thread_->join();
    }
}

}  // namespace k3v
