#include "base/simd_level.h"

#include <algorithm>
#include <atomic>

namespace k3v {

namespace {

SimdLevel DetectedLevel() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) {
        return SimdLevel::Avx2;
    }
#endif
#if defined(__SSE2__)
    return SimdLevel::Sse2;
#else
    return SimdLevel::Scalar;
#endif
}

std::atomic<int>& Limit() {
    static std::atomic<int> limit{int(SimdLevel::Avx2)};
    return limit;
}

}  // namespace

SimdLevel SupportedSimdLevel() {
    static const SimdLevel detected = DetectedLevel();
    return detected;
}

SimdLevel ActiveSimdLevel() {
    return SimdLevel(std::min(int(SupportedSimdLevel()), Limit().load(std::memory_order_relaxed)));
}

void LimitSimdLevel(SimdLevel highest) {
    Limit().store(int(highest));
}

}  // namespace k3v
