#include "stereo/filters.h"

#include <algorithm>
#include <cstring>

#include "base/simd_level.h"
#include "base/thread_runner.h"
#include "stereo/banded_work.h"
#include "stereo/scalar_fallback.h"
#include "stereo/simd_kernels.h"

namespace k3v {

bool CopyPixels(const uint32_t* source, uint32_t* target, size_t count, const Progress& progress) {
    // Bands of 256K pixels (1 MiB): a copy is quick.
    return ParallelBands(count, ThreadsFor(count, size_t(1) << 18), size_t(1) << 18, progress,
                         [&](size_t begin, size_t end) {
                             std::memcpy(target + begin, source + begin,
                                         (end - begin) * sizeof(uint32_t));
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

// Sharpens pixels [begin, end) of rows 1 .. H-2 from `p` into `out`.
void SharpenRange(const uint32_t* p, uint32_t* out, size_t begin, size_t end, size_t w, int32_t c,
                  int32_t n, int32_t blend) {
    const SharpenArgs args{p, out, begin, end, w, c, n, std::clamp(blend, 0, 3)};
    size_t i = begin;
    switch (ActiveSimdLevel()) {
        case SimdLevel::Avx2:
            i = avx2::Sharpen(args);
            break;
        case SimdLevel::Sse2:
            i = sse2::Sharpen(args);
            break;
        case SimdLevel::Scalar:
            break;
    }
    for (; i < end; ++i) {
        out[i] = SharpenPixel(p, i, w, c, n, blend);
    }
}

void SharpenWeights(int32_t level, int32_t& c, int32_t& n) {
    n = level >= 1 && level <= 5 ? level : 1;
    c = 4 * n + 1;
}

bool SharpenAll(int32_t width, int32_t height, const uint32_t* source, uint32_t* target,
                int32_t level, int32_t blend, const Progress& progress) {
    int32_t c = 0;
    int32_t n = 0;
    SharpenWeights(level, c, n);
    const size_t w = size_t(width);
    const size_t rows = size_t(height) - 2;
    return ParallelBands(rows, ThreadsFor(rows * w, size_t(1) << 17), BandRows(w), progress,
                         [&](size_t r0, size_t r1) {
                             SharpenRange(source, target, (r0 + 1) * w, (r1 + 1) * w, w, c, n,
                                          blend);
                         });
}

}  // namespace

bool SharpenInto(int32_t width, int32_t height, const uint32_t* source, uint32_t* target,
                 int32_t level, int32_t blend, const Progress& progress) {
    const size_t w = size_t(width);
    const size_t stored = w * (size_t(height) + 1);
    if (level == 0 || height < 3) {
        return CopyPixels(source, target, stored, progress);
    }
    std::memcpy(target, source, w * sizeof(uint32_t));                         // row 0
    std::memcpy(target + stored - 2 * w, source + stored - 2 * w, 2 * w * 4);  // row H-1, spare
    return SharpenAll(width, height, source, target, level, blend, progress);
}

void SharpenRowsInto(int32_t width, int32_t height, const uint32_t* source, uint32_t* target,
                     int32_t level, int32_t blend, size_t firstRow, size_t endRow, size_t origin) {
    const size_t w = size_t(width);
    const size_t h = size_t(height);
    endRow = std::min(endRow, h);
    if (firstRow >= endRow) {
        return;
    }
    // Indices from here on count from the window's first row.
    const size_t o = origin * w;
    if (level == 0 || height < 3) {
        std::memcpy(target + (firstRow * w - o), source + (firstRow * w - o),
                    (endRow - firstRow) * w * 4);
        return;
    }
    int32_t c = 0;
    int32_t n = 0;
    SharpenWeights(level, c, n);
    const size_t from = std::max<size_t>(firstRow, 1);
    const size_t to = std::min(endRow, h - 1);
    if (from < to) {
        SharpenRange(source, target, from * w - o, to * w - o, w, c, n, blend);
    }
    // The bottom and top rows keep their values.
    for (const size_t edge : {size_t(0), h - 1}) {
        if (edge >= firstRow && edge < endRow) {
            std::memcpy(target + (edge * w - o), source + (edge * w - o), w * sizeof(uint32_t));
        }
    }
}

void SharpenPicture(int32_t width, int32_t height, uint32_t* picture, uint32_t* scratch,
                    int32_t level, int32_t blend) {
    if (level == 0 || height < 3) {
        return;
    }
    SharpenAll(width, height, picture, scratch, level, blend, Progress());
    const size_t w = size_t(width);
    CopyPixels(scratch + w, picture + w, w * (size_t(height) - 2));
}

// ---------------------------------------------------------------------------------------
// Brightness and contrast, in 16-bit lanes: t = clamp(x + b); then (t - 128) * m >> 7 or
// (t - 128) * k, plus 128, clamped by the final pack.

namespace {

// The tone of pixels [begin, end), on the calling thread.
void ToneRange(uint32_t* picture, size_t begin, size_t end, const ConversionSettings& settings) {
    const int32_t b = settings.BrightnessOn != 0 ? settings.Brightness - 127 : 0;
    const bool contrast = settings.ContrastOn == 1;
    const int32_t d = settings.Contrast - 128;
    const bool steep = d > 65;
    // Settings beyond the sliders' ranges would overflow 16-bit lanes.
    if (b < -255 || b > 255 || settings.Contrast < 0 || settings.Contrast > 255 ||
        ActiveSimdLevel() == SimdLevel::Scalar) {
        scalar::AdjustBrightnessContrast(end - begin, picture + begin, settings);
        return;
    }
    const int32_t factor = steep ? 128 / (129 - d) : settings.Contrast;
    const ToneArgs args{picture, begin, end, b, contrast, steep, factor};
    const size_t done = ActiveSimdLevel() == SimdLevel::Avx2 ? avx2::Tone(args) : sse2::Tone(args);
    if (done < end) {
        scalar::AdjustBrightnessContrast(end - done, picture + done, settings);
    }
}

}  // namespace

void AdjustBrightnessContrast(size_t pixelCount, uint32_t* picture,
                              const ConversionSettings& settings) {
    if (settings.BrightnessOn == 0 && settings.ContrastOn == 0) {
        return;
    }
    ParallelRanges(pixelCount, ThreadsFor(pixelCount),
                   [&](size_t begin, size_t end) { ToneRange(picture, begin, end, settings); });
}

void AdjustBrightnessContrastRange(uint32_t* picture, size_t begin, size_t end,
                                   const ConversionSettings& settings) {
    if ((settings.BrightnessOn == 0 && settings.ContrastOn == 0) || begin >= end) {
        return;
    }
    ToneRange(picture, begin, end, settings);
}

}  // namespace k3v
