#include "stereo/row_pipeline.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "base/thread_runner.h"

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
// Within a diagonal the bands are independent, which is what lets workers overlap.
std::vector<Band> WavefrontOrder(size_t bands, const std::vector<size_t>& ahead) {
    std::vector<size_t> offset(ahead.size(), 0);
    for (size_t s = 1; s < ahead.size(); ++s) {
        offset[s] = offset[s - 1] + ahead[s] + 1;
    }
    std::vector<Band> order;
    order.reserve(bands * ahead.size());
    for (size_t diagonal = 0; order.size() < bands * ahead.size(); ++diagonal) {
        for (size_t s = 0; s < ahead.size(); ++s) {
            if (diagonal >= offset[s] && diagonal - offset[s] < bands) {
                order.push_back({s, diagonal - offset[s]});
            }
        }
    }
    return order;
}

// Waits until `done` reaches `target`: spinning briefly, then giving the core away, since the
// worker being waited for may itself be waiting for a core.
void WaitFor(const std::atomic<size_t>& done, size_t target) {
    for (int spin = 0; done.load(std::memory_order_acquire) < target; ++spin) {
        if (spin < 512) {
#if defined(__SSE2__)
            _mm_pause();
#endif
        } else {
            std::this_thread::yield();
        }
    }
}

}  // namespace

void RunRowPipeline(size_t rows, size_t bandRows, const std::vector<RowStage>& stages,
                    int threads) {
    if (rows == 0 || stages.empty()) {
        return;
    }
    bandRows = std::max<size_t>(1, bandRows);
    const size_t bands = (rows + bandRows - 1) / bandRows;
    // ahead[s]: how many bands past its own index stage s - 1 must have finished.
    std::vector<size_t> ahead(stages.size(), 0);
    for (size_t s = 1; s < stages.size(); ++s) {
        ahead[s] = (stages[s].lead + bandRows - 1) / bandRows;
    }
    const std::vector<Band> order = WavefrontOrder(bands, ahead);
    // done[s]: bands of stage s finished; each stage finishes its bands in order.
    const std::unique_ptr<std::atomic<size_t>[]> done(new std::atomic<size_t>[stages.size()]);
    for (size_t s = 0; s < stages.size(); ++s) {
        done[s].store(0, std::memory_order_relaxed);
    }
    std::atomic<size_t> next{0};
    RunOnThreads(std::max(1, threads), [&](int thread) {
        for (size_t at = next.fetch_add(1); at < order.size(); at = next.fetch_add(1)) {
            const Band band = order[at];
            WaitFor(done[band.stage], band.index);
            if (band.stage > 0) {
                WaitFor(done[band.stage - 1], std::min(bands, band.index + ahead[band.stage] + 1));
            }
            const size_t first = band.index * bandRows;
            stages[band.stage].run(first, std::min(rows, first + bandRows), thread);
            done[band.stage].store(band.index + 1, std::memory_order_release);
        }
    });
}

}  // namespace k3v
