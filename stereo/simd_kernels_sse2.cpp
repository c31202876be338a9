#include <cstdint>

#include "stereo/simd_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace k3v::sse2 {

namespace {

struct Ops {
    using V = __m128i;
    static constexpr size_t kPixels = 4;
    static V load(const uint32_t* at) { return _mm_loadu_si128(reinterpret_cast<const V*>(at)); }
    static void store(uint32_t* at, V v) { _mm_storeu_si128(reinterpret_cast<V*>(at), v); }
    static V zero() { return _mm_setzero_si128(); }
    static V set16(int16_t v) { return _mm_set1_epi16(v); }
    static V set32(int32_t v) { return _mm_set1_epi32(v); }
    static V lo8(V v, V z) { return _mm_unpacklo_epi8(v, z); }
    static V hi8(V v, V z) { return _mm_unpackhi_epi8(v, z); }
    static V add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    static V mul16(V a, V b) { return _mm_mullo_epi16(a, b); }
    static V srli16(V a, int n) { return _mm_srli_epi16(a, n); }
    static V slli16(V a, int n) { return _mm_slli_epi16(a, n); }
    static V srai16(V a, int n) { return _mm_srai_epi16(a, n); }
    static V packus(V a, V b) { return _mm_packus_epi16(a, b); }
    static V and_(V a, V b) { return _mm_and_si128(a, b); }
};

#include "stereo/simd_kernels.inl"

}  // namespace

size_t Sharpen(const SharpenArgs& a) {
    return SharpenAny<Ops>(a);
}
size_t Tone(const ToneArgs& a) {
    return ToneLoop<Ops>(a);
}

size_t SevenSums(const uint32_t* p, size_t w, size_t from, size_t to, uint64_t* sums) {
    const __m128i zero = _mm_setzero_si128();
    size_t i = from;
    for (; i + 4 <= to; i += 4) {
        const uint32_t* at = p + i;
        const __m128i v[7] = {Ops::load(at),        Ops::load(at + 1),     Ops::load(at + w - 1),
                              Ops::load(at + w),    Ops::load(at + w + 1), Ops::load(at - w),
                              Ops::load(at - w + 1)};
        __m128i lo = _mm_unpacklo_epi8(v[0], zero);
        __m128i hi = _mm_unpackhi_epi8(v[0], zero);
        for (int k = 1; k < 7; ++k) {
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v[k], zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v[k], zero));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + i), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + i + 2), hi);
    }
    return i;
}

}  // namespace k3v::sse2

#else

namespace k3v::sse2 {
size_t Sharpen(const SharpenArgs& a) {
    return a.begin;
}
size_t Tone(const ToneArgs& a) {
    return a.begin;
}
size_t SevenSums(const uint32_t*, size_t, size_t from, size_t, uint64_t*) {
    return from;
}
}  // namespace k3v::sse2

#endif
