#include "stereo/parallel.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace k3v {

namespace {
std::atomic<int> threadCap{0};
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
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t) {
        helpers.emplace_back(body, t);
    }
    body(0);
    for (std::thread& helper : helpers) {
        helper.join();
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

}  // namespace k3v
