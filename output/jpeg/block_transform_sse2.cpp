// The vector block transform built for SSE2; see block_transform_kernel.inc.
#include <cstring>

#if defined(__AVX__)
#include <immintrin.h>
#endif

#include "output/jpeg/block_transform.h"

namespace k3v::jpeg::sse2 {
#include "output/jpeg/block_transform_kernel.inc"
}  // namespace k3v::jpeg::sse2
