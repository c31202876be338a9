#include "stereo/filters.h"

#include <algorithm>
#include <cstring>

#include "stereo/parallel.h"
#include "stereo/reference_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace k3v {

void CopyPixels(const uint32_t* source, uint32_t* target, size_t count) {
    ParallelRanges(count, ThreadsFor(count, size_t(1) << 18), [&](size_t begin, size_t end) {
        std::memcpy(target + begin, source + begin, (end - begin) * sizeof(uint32_t));
    });
}

// ---------------------------------------------------------------------------------------
// Sharpening: every output byte depends only on the same byte of five input pixels, so the
// plane is treated as bytes, 16 at a time, widened to 16-bit lanes (v fits: -5100 .. 5355).

namespace {

uint32_t Channel(uint32_t pixel, int shift) {
    return (pixel >> shift) & 0xFFu;
}

uint32_t SharpenPixel(const uint32_t* p, size_t i, size_t w, int32_t c, int32_t n, int32_t blend) {
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int32_t o = int32_t(Channel(p[i], shift));
        const int32_t around = int32_t(Channel(p[i + w], shift) + Channel(p[i - w], shift) +
                                       Channel(p[i - 1], shift) + Channel(p[i + 1], shift));
        const int32_t s = std::clamp(c * o - n * around, 0, 255);
        const int32_t blended = blend <= 0   ? s
                                : blend == 1 ? (s + o) / 2
                                : blend == 2 ? (s + 3 * o) / 4
                                             : (s + 7 * o) / 8;
        result |= uint32_t(blended) << shift;
    }
    return result;
}

#if defined(__SSE2__)
template <int Blend>
__m128i BlendLanes(__m128i s, __m128i o) {
    if constexpr (Blend == 1) {
        return _mm_srli_epi16(_mm_add_epi16(s, o), 1);
    } else if constexpr (Blend == 2) {
        return _mm_srli_epi16(_mm_add_epi16(s, _mm_add_epi16(o, _mm_add_epi16(o, o))), 2);
    } else {
        return _mm_srli_epi16(_mm_add_epi16(s, _mm_sub_epi16(_mm_slli_epi16(o, 3), o)), 3);
    }
}

template <int Blend>
size_t SharpenVector(const uint32_t* p, uint32_t* out, size_t begin, size_t end, size_t w,
                     int32_t c, int32_t n) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i vc = _mm_set1_epi16(int16_t(c));
    const __m128i vn = _mm_set1_epi16(int16_t(n));
    auto load = [](const uint32_t* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    size_t i = begin;
    for (; i + 4 <= end; i += 4) {
        const __m128i o = load(p + i);
        const __m128i up = load(p + i + w);
        const __m128i down = load(p + i - w);
        const __m128i left = load(p + i - 1);
        const __m128i right = load(p + i + 1);
        const __m128i oLo = _mm_unpacklo_epi8(o, zero);
        const __m128i oHi = _mm_unpackhi_epi8(o, zero);
        const __m128i sumLo = _mm_add_epi16(
            _mm_add_epi16(_mm_unpacklo_epi8(up, zero), _mm_unpacklo_epi8(down, zero)),
            _mm_add_epi16(_mm_unpacklo_epi8(left, zero), _mm_unpacklo_epi8(right, zero)));
        const __m128i sumHi = _mm_add_epi16(
            _mm_add_epi16(_mm_unpackhi_epi8(up, zero), _mm_unpackhi_epi8(down, zero)),
            _mm_add_epi16(_mm_unpackhi_epi8(left, zero), _mm_unpackhi_epi8(right, zero)));
        const __m128i vLo = _mm_sub_epi16(_mm_mullo_epi16(oLo, vc), _mm_mullo_epi16(sumLo, vn));
        const __m128i vHi = _mm_sub_epi16(_mm_mullo_epi16(oHi, vc), _mm_mullo_epi16(sumHi, vn));
        __m128i s = _mm_packus_epi16(vLo, vHi);  // clamps to 0 .. 255
        if constexpr (Blend != 0) {
            s = _mm_packus_epi16(BlendLanes<Blend>(_mm_unpacklo_epi8(s, zero), oLo),
                                 BlendLanes<Blend>(_mm_unpackhi_epi8(s, zero), oHi));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), s);
    }
    return i;
}
#endif

// Sharpens pixels [begin, end) of rows 1 .. H-2 from `p` into `out`.
void SharpenRange(const uint32_t* p, uint32_t* out, size_t begin, size_t end, size_t w, int32_t c,
                  int32_t n, int32_t blend) {
    size_t i = begin;
#if defined(__SSE2__)
    switch (std::clamp(blend, 0, 3)) {
        case 0:
            i = SharpenVector<0>(p, out, begin, end, w, c, n);
            break;
        case 1:
            i = SharpenVector<1>(p, out, begin, end, w, c, n);
            break;
        case 2:
            i = SharpenVector<2>(p, out, begin, end, w, c, n);
            break;
        default:
            i = SharpenVector<3>(p, out, begin, end, w, c, n);
            break;
    }
#endif
    for (; i < end; ++i) {
        out[i] = SharpenPixel(p, i, w, c, n, blend);
    }
}

void SharpenWeights(int32_t level, int32_t& c, int32_t& n) {
    n = level >= 1 && level <= 5 ? level : 1;
    c = 4 * n + 1;
}

void SharpenAll(int32_t width, int32_t height, const uint32_t* source, uint32_t* target,
                int32_t level, int32_t blend) {
    int32_t c = 0;
    int32_t n = 0;
    SharpenWeights(level, c, n);
    const size_t w = size_t(width);
    const size_t rows = size_t(height) - 2;
    ParallelRanges(rows, ThreadsFor(rows * w, size_t(1) << 17), [&](size_t r0, size_t r1) {
        SharpenRange(source, target, (r0 + 1) * w, (r1 + 1) * w, w, c, n, blend);
    });
}

}  // namespace

void SharpenInto(int32_t width, int32_t height, const uint32_t* source, uint32_t* target,
                 int32_t level, int32_t blend) {
    const size_t w = size_t(width);
    const size_t stored = w * (size_t(height) + 1);
    if (level == 0 || height < 3) {
        CopyPixels(source, target, stored);
        return;
    }
    SharpenAll(width, height, source, target, level, blend);
    std::memcpy(target, source, w * sizeof(uint32_t));                         // row 0
    std::memcpy(target + stored - 2 * w, source + stored - 2 * w, 2 * w * 4);  // row H-1, spare
}

void SharpenPicture(int32_t width, int32_t height, uint32_t* picture, uint32_t* scratch,
                    int32_t level, int32_t blend) {
    if (level == 0 || height < 3) {
        return;
    }
    SharpenAll(width, height, picture, scratch, level, blend);
    const size_t w = size_t(width);
    CopyPixels(scratch + w, picture + w, w * (size_t(height) - 2));
}

// ---------------------------------------------------------------------------------------
// Brightness and contrast, in 16-bit lanes: t = clamp(x + b); then (t - 128) * m >> 7 or
// (t - 128) * k, plus 128, clamped by the final pack.

void AdjustBrightnessContrast(size_t pixelCount, uint32_t* picture,
                              const ConversionSettings& settings) {
    if (settings.BrightnessOn == 0 && settings.ContrastOn == 0) {
        return;
    }
    const int32_t b = settings.BrightnessOn != 0 ? settings.Brightness - 127 : 0;
    const bool contrast = settings.ContrastOn == 1;
    const int32_t d = settings.Contrast - 128;
    const bool steep = d > 65;
#if defined(__SSE2__)
    // Settings beyond the sliders' ranges would overflow 16-bit lanes.
    if (b < -255 || b > 255 || settings.Contrast < 0 || settings.Contrast > 255) {
        reference::AdjustBrightnessContrast(pixelCount, picture, settings);
        return;
    }
    const int32_t factor = steep ? 128 / (129 - d) : settings.Contrast;
    ParallelRanges(pixelCount, ThreadsFor(pixelCount), [&](size_t begin, size_t end) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i vb = _mm_set1_epi16(int16_t(b));
        const __m128i v128 = _mm_set1_epi16(128);
        const __m128i vf = _mm_set1_epi16(int16_t(factor));
        const __m128i keep = _mm_set1_epi32(0x00FFFFFF);
        auto tone = [&](__m128i t) {  // t: 16-bit lanes of 0 .. 255
            const __m128i centred = _mm_mullo_epi16(_mm_sub_epi16(t, v128), vf);
            return _mm_add_epi16(steep ? centred : _mm_srai_epi16(centred, 7), v128);
        };
        size_t i = begin;
        for (; i + 4 <= end; i += 4) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(picture + i));
            __m128i t = _mm_packus_epi16(_mm_add_epi16(_mm_unpacklo_epi8(x, zero), vb),
                                         _mm_add_epi16(_mm_unpackhi_epi8(x, zero), vb));
            if (contrast) {
                t = _mm_packus_epi16(tone(_mm_unpacklo_epi8(t, zero)),
                                     tone(_mm_unpackhi_epi8(t, zero)));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(picture + i), _mm_and_si128(t, keep));
        }
        if (i < end) {
            reference::AdjustBrightnessContrast(end - i, picture + i, settings);
        }
    });
#else
    (void)b;
    (void)contrast;
    (void)steep;
    reference::AdjustBrightnessContrast(pixelCount, picture, settings);
#endif
}

}  // namespace k3v
