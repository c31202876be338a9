// The eight-pixel mean, fast. One pass is a single chain through the picture: every pixel's
// new value depends on its left neighbour's new value, x_i = (x_{i-1} + s_i) >> 3, where s_i
// sums the other seven neighbours (per channel). The chain is split into segments that run at
// the same time: a segment that starts before its predecessor has finished runs twice, from
// the lowest (0) and the highest (255) possible left value. The step is monotone, so the true
// values lie between the two runs, and once they meet (after a handful of pixels, as each
// step divides the difference by 8) they are the true values. The few pixels before the
// meeting point are recomputed once the predecessor's last value is known.
//
// The seven sums of a row need this pass's values of the row below, so rows run in order;
// within a row, the segments give the processor independent chains to overlap. Several passes
// share the cores through the row pipeline (filter_chain.cpp).

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "base/simd_level.h"
#include "stereo/filters.h"
#include "stereo/noise_rows.h"
#include "stereo/scalar_fallback.h"
#include "stereo/simd_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace k3v {

namespace {

// Channels spread into four 16-bit lanes of a 64-bit word: blue, green, red, fourth byte.
constexpr uint64_t kLaneMask = 0x00FF00FF00FF00FFull;

uint64_t Spread(uint32_t p) {
    return uint64_t(p & 0xFF) | uint64_t(p >> 8 & 0xFF) << 16 | uint64_t(p >> 16 & 0xFF) << 32 |
           uint64_t(p >> 24) << 48;
}

uint32_t Pack(uint64_t x) {
    return uint32_t((x & 0xFF) | (x >> 8 & 0xFF00) | (x >> 16 & 0xFF0000) | (x >> 24 & 0xFF000000));
}

// Lanes hold at most 255 + 7 * 255, so nothing carries between them; the mask drops what the
// shift moves in from the lane above.
uint64_t Step(uint64_t x, uint64_t sum) {
    return ((x + sum) >> 3) & kLaneMask;
}

// sums[i] = the seven neighbours of pixel i other than the left one, for i in [from, to):
// itself and its right neighbour (old), the three above (old), below and below-right (new).
void SevenSums(const uint32_t* p, size_t w, size_t from, size_t to, uint64_t* sums) {
    size_t i = from;
    switch (ActiveSimdLevel()) {
        case SimdLevel::Avx2:
            i = avx2::SevenSums(p, w, from, to, sums);
            break;
        case SimdLevel::Sse2:
            i = sse2::SevenSums(p, w, from, to, sums);
            break;
        case SimdLevel::Scalar:
            break;
    }
    // The row below through its own pointer: p[i - w] would wrap the unsigned index.
    const uint32_t* below = p - w;
    for (; i < to; ++i) {
        sums[i] = Spread(p[i]) + Spread(p[i + 1]) + Spread(p[i + w - 1]) + Spread(p[i + w]) +
                  Spread(p[i + w + 1]) + Spread(below[i]) + Spread(below[i + 1]);
    }
}

// Packs lanes[i] into p[i] for i in [from, to).
void PackRange(const uint64_t* lanes, uint32_t* p, size_t from, size_t to) {
    size_t i = from;
#if defined(__SSE2__)
    if (ActiveSimdLevel() != SimdLevel::Scalar) {
        for (; i + 4 <= to; i += 4) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + i + 2));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_packus_epi16(a, b));
        }
    }
#endif
    for (; i < to; ++i) {
        p[i] = Pack(lanes[i]);
    }
}

struct Segment {
    size_t begin = 0;
    size_t end = 0;
    size_t settled = 0;  // first pixel whose value is known to be exact
    uint64_t last = 0;   // the value of pixel end - 1, once exact
};

// Runs a segment whose left value is unknown from both extremes until they meet; writes the
// exact values from there on into `lanes` (over the sums, which are no longer needed).
void RunFromBothEnds(uint64_t* lanes, Segment& segment) {
    // Saturated areas can keep the two runs apart for good (254 and 255 are both fixed points
    // of x = (x + 7 * 255) >> 3); such a segment is recomputed whole once its left is known.
    constexpr size_t kGiveUp = 256;
    uint64_t low = 0;
    uint64_t high = kLaneMask;
    const size_t limit = std::min(segment.end, segment.begin + kGiveUp);
    for (size_t i = segment.begin; i < limit; ++i) {
        low = Step(low, lanes[i]);
        high = Step(high, lanes[i]);
        if (low == high) {
            segment.settled = i;
            lanes[i] = low;
            return;
        }
    }
    segment.settled = segment.end;
}

// Four chains side by side keep the processor busy while each waits for its previous step.
constexpr size_t kSegments = 4;
constexpr size_t kMinSegment = 64;

// Continues the exact chains of four segments side by side, so that the processor can overlap
// their dependent steps.
void RunSettledChains(uint64_t* lanes, std::array<Segment, kSegments>& segments) {
    size_t common = SIZE_MAX;
    std::array<uint64_t, kSegments> x{};
    std::array<size_t, kSegments> at{};
    for (size_t k = 0; k < segments.size(); ++k) {
        const Segment& s = segments[k];
        at[k] = s.settled;
        x[k] = s.settled < s.end ? lanes[s.settled] : 0;
        common = std::min(common, s.settled < s.end ? s.end - s.settled - 1 : 0);
    }
    for (size_t t = 1; t <= common; ++t) {
        x[0] = lanes[at[0] + t] = Step(x[0], lanes[at[0] + t]);
        x[1] = lanes[at[1] + t] = Step(x[1], lanes[at[1] + t]);
        x[2] = lanes[at[2] + t] = Step(x[2], lanes[at[2] + t]);
        x[3] = lanes[at[3] + t] = Step(x[3], lanes[at[3] + t]);
    }
    for (size_t k = 0; k < segments.size(); ++k) {
        Segment& s = segments[k];
        if (s.settled >= s.end) {
            continue;
        }
        uint64_t v = x[k];
        for (size_t i = s.settled + common + 1; i < s.end; ++i) {
            v = lanes[i] = Step(v, lanes[i]);
        }
        s.last = lanes[s.end - 1];
    }
}

// Recomputes the pixels of a segment before its settled point from the true left value.
void SettleSegment(uint64_t* lanes, Segment& segment, uint64_t left) {
    uint64_t v = left;
    for (size_t i = segment.begin; i < segment.settled; ++i) {
        v = lanes[i] = Step(v, lanes[i]);
    }
    if (segment.settled >= segment.end) {
        segment.last = v;
    }
}

}  // namespace

// The chain of one row, cut into segments that run side by side.
class NoiseRowChains {
  public:
    explicit NoiseRowChains(size_t width) : w_(width), lanes_(width + 4) {
        // The first W - 1 pixels of a row are split evenly; the last pixel (whose lower-right
        // neighbour is the row's own first pixel, new) is done on its own.
        const size_t chain = w_ - 1;
        for (size_t k = 0; k < kSegments; ++k) {
            segments_[k].begin = chain * k / kSegments;
            segments_[k].end = chain * (k + 1) / kSegments;
        }
    }

    void runRow(uint32_t* row) {
        // Relative to `row`, so pixel i of the row is row[i] and lanes_[i].
        SevenSums(row, w_, 0, segments_[kSegments - 1].end, lanes_.data());
        // The very first pixel continues from the last pixel of the row below.
        segments_[0].settled = 0;
        lanes_[0] = Step(Spread(row[-1]), lanes_[0]);
        for (size_t k = 1; k < kSegments; ++k) {
            segments_[k].settled = segments_[k].begin;
            RunFromBothEnds(lanes_.data(), segments_[k]);
        }
        RunSettledChains(lanes_.data(), segments_);
        uint64_t left = segments_[0].last;
        for (size_t k = 1; k < kSegments; ++k) {
            SettleSegment(lanes_.data(), segments_[k], left);
            left = segments_[k].last;
        }
        const size_t w = w_;
        const size_t i = w - 1;
        // Reads the old values of this pixel, the pixel after it and the row above, and the
        // new values of the pixel before it, the pixel below (the last of the row below) and
        // the one below-right, which is this row's own first pixel.
        PackRange(lanes_.data(), row, 0, i);
        const uint64_t sum = Spread(row[i]) + Spread(row[i + 1]) + Spread(row[i + w - 1]) +
                             Spread(row[i + w]) + Spread(row[i + w + 1]) + Spread((row - w)[i]) +
                             Spread(row[0]);
        row[i] = Pack(Step(left, sum));
    }

  private:
    size_t w_;
    std::vector<uint64_t> lanes_;
    std::array<Segment, kSegments> segments_{};
};

void SmoothNoise(int32_t width, int32_t height, uint32_t* picture) {
    if (height < 3) {
        return;
    }
    NoiseRowSmoother(width).smoothRows(height, picture, 1, size_t(height) - 1);
}

NoiseRowSmoother::NoiseRowSmoother(int32_t width)
    : width_(width),
      chains_(size_t(width) >= kSegments * kMinSegment
                  ? std::make_unique<NoiseRowChains>(size_t(width))
                  : nullptr) {}

NoiseRowSmoother::~NoiseRowSmoother() = default;
NoiseRowSmoother::NoiseRowSmoother(NoiseRowSmoother&&) noexcept = default;
NoiseRowSmoother& NoiseRowSmoother::operator=(NoiseRowSmoother&&) noexcept = default;

void NoiseRowSmoother::smoothRows(int32_t height, uint32_t* picture, size_t firstRow, size_t endRow,
                                  size_t origin) {
    if (!chains_) {
        scalar::SmoothNoiseRows(width_, height, picture, firstRow, endRow, origin);
        return;
    }
    const size_t last = std::min(endRow, size_t(std::max(height, 1)) - 1);
    for (size_t y = std::max<size_t>(firstRow, 1); y < last; ++y) {
        chains_->runRow(picture + (y - origin) * size_t(width_));
    }
}

}  // namespace k3v
