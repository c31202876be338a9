#include "stereo/row_pipeline.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

#include "base/thread_runner.h"
#include "stereo/banded_work.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace k3v {

namespace {

struct Band {
    size_t stage;
    size_t index;
};

// The bands in an order every dependency respects: band j of stage s waits for band j - 1 of
// its own stage and band j + ahead(s) of the stage before, so giving it the diagonal
// j + offset(s), with offset(s) = offset(s - 1) + ahead(s) + 1, puts both on earlier diagonals.
// Within a diagonal the bands are independent, which is what lets workers overlap. Stage s has
// bands[s] bands.
std::vector<Band> WavefrontOrder(const std::vector<size_t>& bands,
                                 const std::vector<size_t>& ahead) {
    std::vector<size_t> offset(ahead.size(), 0);
    size_t total = bands[0];
    for (size_t s = 1; s < ahead.size(); ++s) {
        offset[s] = offset[s - 1] + ahead[s] + 1;
        total += bands[s];
    }
    std::vector<Band> order;
    order.reserve(total);
    for (size_t diagonal = 0; order.size() < total; ++diagonal) {
        for (size_t s = 0; s < ahead.size(); ++s) {
            if (diagonal >= offset[s] && diagonal - offset[s] < bands[s]) {
                order.push_back({s, diagonal - offset[s]});
            }
        }
    }
    return order;
}

// Waits until `done` reaches `target`: spinning briefly, as the band is usually nearly done,
// then asleep until the count changes. With fewer cores than workers (an affinity mask, a CPU
// quota) the worker being waited for may itself be waiting for a core, which a spinning or
// yielding waiter would keep from it.
void WaitFor(const std::atomic<uint32_t>& done, uint32_t target) {
    for (int spin = 0; spin < 512; ++spin) {
        if (done.load(std::memory_order_acquire) >= target) {
            return;
        }
#if defined(__SSE2__)
        _mm_pause();
#endif
    }
    for (uint32_t seen; (seen = done.load(std::memory_order_acquire)) < target;) {
        done.wait(seen, std::memory_order_acquire);
    }
}

}  // namespace

bool RunRowPipeline(size_t rows, size_t bandRows, const std::vector<RowStage>& stages, int threads,
                    const Progress& progress) {
    return RunRowPipeline(std::vector<size_t>(stages.size(), rows), bandRows, stages, threads,
                          progress);
}

bool RunRowPipeline(const std::vector<size_t>& rowsOf, size_t bandRows,
                    const std::vector<RowStage>& stages, int threads, const Progress& progress) {
    if (stages.empty() ||
        std::all_of(rowsOf.begin(), rowsOf.end(), [](size_t rows) { return rows == 0; })) {
        progress.report(1.0);
        return true;
    }
    bandRows = std::max<size_t>(1, bandRows);
    std::vector<size_t> bandsOf(stages.size());
    for (size_t s = 0; s < stages.size(); ++s) {
        bandsOf[s] = (rowsOf[s] + bandRows - 1) / bandRows;
    }
    // ahead[s]: how many bands past its own index stage s - 1 must have finished.
    std::vector<size_t> ahead(stages.size(), 0);
    for (size_t s = 1; s < stages.size(); ++s) {
        ahead[s] = (stages[s].lead + bandRows - 1) / bandRows;
    }
    const std::vector<Band> order = WavefrontOrder(bandsOf, ahead);
    // done[s]: bands of stage s finished; each stage finishes its bands in order. 32 bits, the
    // size the kernel's wait takes: a plane has fewer than 2^31 rows.
    const std::unique_ptr<std::atomic<uint32_t>[]> done(new std::atomic<uint32_t>[stages.size()]);
    for (size_t s = 0; s < stages.size(); ++s) {
        done[s].store(0, std::memory_order_relaxed);
    }
    // Progress goes under the name of the first stage with bands still to come, so that the
    // names follow the stages' order although the stages run side by side.
    std::vector<Progress> named;
    std::vector<size_t> lastAt(stages.size(), 0);
    for (size_t s = 0; s < stages.size(); ++s) {
        named.push_back(stages[s].name != nullptr ? progress.part(0, 1, stages[s].name) : progress);
    }
    for (size_t at = 0; at < order.size(); ++at) {
        lastAt[order[at].stage] = at;
    }
    const auto tell = [&](size_t at) {
        size_t s = 0;
        while (s + 1 < stages.size() && lastAt[s] <= at) {
            ++s;
        }
        named[s].report(at + 1, order.size());
    };
    std::atomic<bool> stopped{false};
    std::atomic<size_t> next{0};
    RunOnThreads(std::max(1, threads), [&](int thread) {
        for (size_t at = next.fetch_add(1); at < order.size(); at = next.fetch_add(1)) {
            const Band band = order[at];
            WaitFor(done[band.stage], uint32_t(band.index));
            if (band.stage > 0) {
                WaitFor(done[band.stage - 1],
                        uint32_t(
                            std::min(bandsOf[band.stage - 1], band.index + ahead[band.stage] + 1)));
            }
            if (stopped.load(std::memory_order_relaxed) || progress.cancelled()) {
                stopped.store(true, std::memory_order_relaxed);
            } else {
                const size_t first = band.index * bandRows;
                stages[band.stage].run(first, std::min(rowsOf[band.stage], first + bandRows),
                                       thread);
                // Counted by the bands taken: the few still running on other workers are told
                // a little early, and the last band in the order, which finishes after every
                // other, tells 1. (A count of its own would cost a shared write per band.)
                if (WorkTally::StepReached(at, at + 1, order.size())) {
                    tell(at);
                }
            }
            done[band.stage].store(uint32_t(band.index + 1), std::memory_order_release);
            done[band.stage].notify_all();
        }
    });
    return !stopped.load(std::memory_order_relaxed);
}

}  // namespace k3v
