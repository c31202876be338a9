#pragma once
// The vector loops of the fast kernels, once for SSE2 and once for AVX2 (a translation unit of
// its own, built for AVX2 and called only where the processor has it). Each handles whole
// vectors from `begin` on and returns where it stopped; the caller finishes the tail with the
// scalar code.

#include <cstddef>
#include <cstdint>

namespace k3v {

// Sharpening of pixels [begin, end) from p into out (neighbours at +-1 and +-w).
struct SharpenArgs {
    const uint32_t* p;
    uint32_t* out;
    size_t begin;
    size_t end;
    size_t w;
    int32_t c;
    int32_t n;
    int32_t blend;  // 0 .. 3
};

// Brightness and contrast of pixels [begin, end) in place: t = clamp(x + b, 0, 255); with
// contrast t = (t - 128) * factor (shifted right by 7 unless steep) + 128, clamped; the fourth
// byte becomes zero.
struct ToneArgs {
    uint32_t* p;
    size_t begin;
    size_t end;
    int32_t b;
    bool contrast;
    bool steep;
    int32_t factor;
};

namespace sse2 {
size_t Sharpen(const SharpenArgs& a);
size_t Tone(const ToneArgs& a);
// sums[i] = p[i] + p[i+1] + p[i+w-1] + p[i+w] + p[i+w+1] + p[i-w] + p[i-w+1], per channel in
// 16-bit lanes, for i in [from, to).
size_t SevenSums(const uint32_t* p, size_t w, size_t from, size_t to, uint64_t* sums);
}  // namespace sse2

namespace avx2 {
size_t Sharpen(const SharpenArgs& a);
size_t Tone(const ToneArgs& a);
size_t SevenSums(const uint32_t* p, size_t w, size_t from, size_t to, uint64_t* sums);
}  // namespace avx2

}  // namespace k3v
