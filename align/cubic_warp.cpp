#include "align/cubic_warp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/thread_runner.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace k3v {
namespace {

// Positions are taken to 1/256 of a pixel, whose weights come from tables.
constexpr int32_t kPhaseBits = 8;
constexpr int32_t kPhases = 1 << kPhaseBits;
// The vertical weights in whole numbers, 1.0 being 1 << kWeightBits.
constexpr int32_t kWeightBits = 12;
constexpr float kA = -0.75f;

// The kernel's weights of the four neighbours at -1, 0, 1, 2 for a position `t` (0..1) past
// the second of them.
std::array<float, 4> Weights(double t) {
    const double t2 = t * t;
    const double s = 1 - t;
    const double s2 = s * s;
    const double w0 = kA * (t2 * t - 2 * t2 + t);             // at distance 1 + t
    const double w1 = (kA + 2) * t2 * t - (kA + 3) * t2 + 1;  // at distance t
    const double w2 = (kA + 2) * s2 * s - (kA + 3) * s2 + 1;  // at distance 1 - t
    return {float(w0), float(w1), float(w2), float(1 - w0 - w1 - w2)};
}

struct KernelTables {
    // Vertical: for rows 0 and 1, then 2 and 3, each weight pair repeated for the four
    // channels, whole numbers summing to 1 << kWeightBits.
    alignas(16) int16_t vertical[kPhases][2][8];
    // Horizontal: each weight repeated for the four channels, divided by the vertical scale.
    alignas(16) float horizontal[kPhases][4][4];

    KernelTables() {
        for (int32_t p = 0; p < kPhases; ++p) {
            const std::array<float, 4> w = Weights(double(p) / kPhases);
            std::array<int16_t, 4> whole;
            int32_t sum = 0;
            for (int k = 0; k < 4; ++k) {
                whole[size_t(k)] = int16_t(std::lround(w[size_t(k)] * (1 << kWeightBits)));
                sum += whole[size_t(k)];
            }
            whole[1] = int16_t(whole[1] + (1 << kWeightBits) - sum);  // exactly 1 in all
            for (int c = 0; c < 4; ++c) {
                for (int half = 0; half < 2; ++half) {
                    vertical[p][half][2 * c] = whole[size_t(2 * half)];
                    vertical[p][half][2 * c + 1] = whole[size_t(2 * half + 1)];
                }
                for (int k = 0; k < 4; ++k) {
                    horizontal[p][k][c] = w[size_t(k)] / (1 << kWeightBits);
                }
            }
        }
    }
};

const KernelTables& Tables() {
    static const KernelTables tables;
    return tables;
}

// The value at the position whose phases are `px`, `py` from the 4 x 4 neighbours starting at
// `rows[0][column]`.
inline uint32_t SampleAt(const uint32_t* const rows[4], const int32_t columns[4], int32_t px,
                         int32_t py) {
    const KernelTables& t = Tables();
    float sum[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        for (int c = 0; c < 4; ++c) {
            int32_t down = 0;
            for (int j = 0; j < 4; ++j) {
                down +=
                    int32_t((rows[j][columns[k]] >> (8 * c)) & 0xFF) * t.vertical[py][j / 2][j % 2];
            }
            sum[c] += float(down) * t.horizontal[px][k][c];
        }
    }
    uint32_t pixel = 0;
    for (int c = 0; c < 4; ++c) {
        const auto v = int32_t(std::lround(sum[c]));
        pixel |= uint32_t(std::clamp(v, 0, 255)) << (8 * c);
    }
    return pixel;
}

#if defined(__SSE2__)
// Two rows of four neighbours weighed in whole numbers: the sums of each column's channels.
#define K3V_WEIGH_ROWS(a, b, w, d0, d1, d2, d3)                \
    {                                                          \
        const __m128i low = _mm_unpacklo_epi8(a, b);           \
        const __m128i high = _mm_unpackhi_epi8(a, b);          \
        d0 = _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), w);  \
        d1 = _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), w);  \
        d2 = _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), w); \
        d3 = _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), w); \
    }

// The same for a position whose neighbours all lie inside the picture, from `at`, the bottom
// left one, and rows `stride` pixels apart: a row's four neighbours are one 16-byte load, each
// pair of rows is weighed in whole numbers, the columns then in floating point.
inline uint32_t SampleInside(const KernelTables& t, const uint32_t* at, ptrdiff_t stride,
                             int32_t px, int32_t py) {
    const __m128i zero = _mm_setzero_si128();
    const auto row = [&](int j) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + j * stride));
    };
    const __m128i w01 = _mm_load_si128(reinterpret_cast<const __m128i*>(t.vertical[py][0]));
    const __m128i w23 = _mm_load_si128(reinterpret_cast<const __m128i*>(t.vertical[py][1]));
    __m128i a0, a1, a2, a3, b0, b1, b2, b3;
    K3V_WEIGH_ROWS(row(0), row(1), w01, a0, a1, a2, a3)
    K3V_WEIGH_ROWS(row(2), row(3), w23, b0, b1, b2, b3)
    const float* w = t.horizontal[px][0];
    const __m128 sum = _mm_add_ps(
        _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(_mm_add_epi32(a0, b0)), _mm_load_ps(w)),
                   _mm_mul_ps(_mm_cvtepi32_ps(_mm_add_epi32(a1, b1)), _mm_load_ps(w + 4))),
        _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(_mm_add_epi32(a2, b2)), _mm_load_ps(w + 8)),
                   _mm_mul_ps(_mm_cvtepi32_ps(_mm_add_epi32(a3, b3)), _mm_load_ps(w + 12))));
    // Rounded to the nearest whole value, then saturated to bytes by the two packs.
    const __m128i whole = _mm_cvtps_epi32(sum);
    const __m128i words = _mm_packs_epi32(whole, whole);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}
#undef K3V_WEIGH_ROWS
#endif

void WarpRows(const PixelPlane& source, const std::array<double, 9>& h, int32_t tw, int32_t from,
              int32_t to, uint32_t* into) {
    const KernelTables& tables = Tables();
    const int32_t sw = source.width();
    const int32_t sh = source.height();
    // A row's source positions first, in whole 1/256 pixels, in a loop the compiler
    // vectorises: clamped to a few pixels outside the picture (where every neighbour is an
    // edge pixel), then moved by a bias so that truncation rounds down.
    constexpr double kFar = 8.0 * kPhases;
    constexpr int32_t kBias = 16 * kPhases;
    const double highestU = sw * double(kPhases) + kFar;
    const double highestV = sh * double(kPhases) + kFar;
    std::vector<int32_t> us(static_cast<size_t>(tw));
    std::vector<int32_t> vs(static_cast<size_t>(tw));
    for (int32_t y = from; y < to; ++y) {
        const double w0 = h[7] * y + h[8];
        const double u0 = h[1] * y + h[2];
        const double v0 = h[4] * y + h[5];
        for (int32_t x = 0; x < tw; ++x) {
            const double scale = kPhases / (h[6] * x + w0);
            const double u = std::min(std::max((h[0] * x + u0) * scale, -kFar), highestU);
            const double v = std::min(std::max((h[3] * x + v0) * scale, -kFar), highestV);
            us[size_t(x)] = int32_t(u + kBias) - kBias;
            vs[size_t(x)] = int32_t(v + kBias) - kBias;
        }
        uint32_t* out = into + size_t(y - from) * size_t(tw);
        for (int32_t x = 0; x < tw; ++x) {
            const int32_t uf = us[size_t(x)];
            const int32_t vf = vs[size_t(x)];
            const int32_t ui = uf >> kPhaseBits;
            const int32_t vi = vf >> kPhaseBits;
#if defined(__SSE2__)
            if (ui >= 1 && vi >= 1 && ui + 2 < sw && vi + 2 < sh) {
                out[x] = SampleInside(tables, source.row(vi - 1) + (ui - 1), sw, uf & (kPhases - 1),
                                      vf & (kPhases - 1));
                continue;
            }
#endif
            const uint32_t* rows[4];
            int32_t columns[4];
            for (int k = 0; k < 4; ++k) {
                rows[k] = source.row(std::clamp(vi - 1 + k, 0, sh - 1));
                columns[k] = std::clamp(ui - 1 + k, 0, sw - 1);
            }
            out[x] = SampleAt(rows, columns, uf & (kPhases - 1), vf & (kPhases - 1));
        }
    }
}

}  // namespace

void WarpCubicRows(const PixelPlane& source, const std::array<double, 9>& toSource, int32_t width,
                   int32_t from, int32_t to, uint32_t* out) {
    WarpRows(source, toSource, width, from, to, out);
}

bool WarpCubic(const PixelPlane& source, const std::array<double, 9>& toSource, PixelPlane& target,
               const Progress& progress) {
    Tables();  // made once, before the threads share them
    // Bands of rows, to report and to stop between them; the rows of a band on every core.
    constexpr int32_t kBands = 16;
    const int32_t height = target.height();
    const int threads = ThreadsFor(target.pixelCount());
    for (int32_t band = 0; band < kBands; ++band) {
        const int32_t top = int32_t(int64_t(height) * band / kBands);
        const int32_t bottom = int32_t(int64_t(height) * (band + 1) / kBands);
        ParallelRanges(size_t(bottom - top), threads, [&](size_t begin, size_t end) {
            WarpRows(source, toSource, target.width(), top + int32_t(begin), top + int32_t(end),
                     target.row(top + int32_t(begin)));
        });
        progress.report(uint64_t(band + 1), uint64_t(kBands));
        if (progress.cancelled()) {
            return false;
        }
    }
    return true;
}

}  // namespace k3v
