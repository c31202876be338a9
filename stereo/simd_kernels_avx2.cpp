// Built with AVX2 enabled; called only when the processor reports AVX2.

#include <cstdint>

#include "stereo/simd_kernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace k3v::avx2 {

namespace {

// 256-bit lanes: unpack and pack work within each 128-bit half, so a pack undoes an unpack
// and the pixel order is kept.
struct Ops {
    using V = __m256i;
    static constexpr size_t kPixels = 8;
    static V load(const uint32_t* at) { return _mm256_loadu_si256(reinterpret_cast<const V*>(at)); }
    static void store(uint32_t* at, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(at), v); }
    static V zero() { return _mm256_setzero_si256(); }
    static V set16(int16_t v) { return _mm256_set1_epi16(v); }
    static V set32(int32_t v) { return _mm256_set1_epi32(v); }
    static V lo8(V v, V z) { return _mm256_unpacklo_epi8(v, z); }
    static V hi8(V v, V z) { return _mm256_unpackhi_epi8(v, z); }
    static V add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V mul16(V a, V b) { return _mm256_mullo_epi16(a, b); }
    static V srli16(V a, int n) { return _mm256_srli_epi16(a, n); }
    static V slli16(V a, int n) { return _mm256_slli_epi16(a, n); }
    static V srai16(V a, int n) { return _mm256_srai_epi16(a, n); }
    static V packus(V a, V b) { return _mm256_packus_epi16(a, b); }
    static V and_(V a, V b) { return _mm256_and_si256(a, b); }
};

#include "stereo/simd_kernels.inl"

__m256i Widen(const uint32_t* at) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
}

}  // namespace

size_t Sharpen(const SharpenArgs& a) {
    return SharpenAny<Ops>(a);
}
size_t Tone(const ToneArgs& a) {
    return ToneLoop<Ops>(a);
}

// Four pixels at a time: each load of four pixels widens to sixteen 16-bit lanes, exactly
// the layout of four sums.
size_t SevenSums(const uint32_t* p, size_t w, size_t from, size_t to, uint64_t* sums) {
    size_t i = from;
    for (; i + 4 <= to; i += 4) {
        const uint32_t* at = p + i;
        __m256i s = _mm256_add_epi16(Widen(at), Widen(at + 1));
        s = _mm256_add_epi16(s, _mm256_add_epi16(Widen(at + w - 1), Widen(at + w)));
        s = _mm256_add_epi16(s, _mm256_add_epi16(Widen(at + w + 1), Widen(at - w)));
        s = _mm256_add_epi16(s, Widen(at - w + 1));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + i), s);
    }
    return i;
}

}  // namespace k3v::avx2

#else

namespace k3v::avx2 {
size_t Sharpen(const SharpenArgs& a) {
    return a.begin;
}
size_t Tone(const ToneArgs& a) {
    return a.begin;
}
size_t SevenSums(const uint32_t*, size_t, size_t from, size_t, uint64_t*) {
    return from;
}
}  // namespace k3v::avx2

#endif
