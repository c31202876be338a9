#include "base/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace k3v {

void AskForHugePages(void* begin, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    // Below a few huge pages the rounding would leave little to gain.
    if (bytes < 4 * kHuge) {
        return;
    }
    const uintptr_t first = (uintptr_t(begin) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (uintptr_t(begin) + bytes) & ~(kHuge - 1);
    if (end > first) {
        (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
#else
    (void)begin;
    (void)bytes;
#endif
}

}  // namespace k3v
