#include "input/page_prefault.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace k3v {

namespace {

// Worth a thread only for planes of many pages.
constexpr size_t kMinBytes = size_t(64) << 20;
constexpr size_t kChunk = size_t(4) << 20;

}  // namespace

PagePrefault::PagePrefault(void* begin, size_t bytes) {
#if defined(MADV_POPULATE_WRITE)
    const long page = sysconf(_SC_PAGESIZE);
    if (bytes < kMinBytes || page <= 0) {
        return;
    }
    // Whole pages inside the range only.
    const auto mask = ~(uintptr_t(page) - 1);
    const uintptr_t first = (uintptr_t(begin) + uintptr_t(page) - 1) & mask;
    const uintptr_t end = (uintptr_t(begin) + bytes) & mask;
    if (end <= first) {
        return;
    }
    helper_ = std::make_unique<HelperThread>([this, first, end] {
        for (uintptr_t top = end; top > first && !stop_.load(std::memory_order_relaxed);) {
            const uintptr_t bottom = top - first > kChunk ? top - kChunk : first;
            // Fails on kernels before 5.14: then the decoder's own writes map the pages.
            if (madvise(reinterpret_cast<void*>(bottom), top - bottom, MADV_POPULATE_WRITE) != 0) {
                return;
            }
            top = bottom;
        }
    });
#else
    (void)begin;
    (void)bytes;
#endif
}

PagePrefault::~PagePrefault() {
    stop_.store(true, std::memory_order_relaxed);
}

}  // namespace k3v
