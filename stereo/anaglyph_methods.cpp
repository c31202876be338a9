#include "stereo/anaglyph_methods.h"

#include <algorithm>
#include <array>

#include "base/thread_runner.h"

namespace k3v {

namespace {

// The channels each eye sees, as masks over a pixel (blue in byte 0, red in byte 2).
constexpr std::array<uint32_t, 3> kLeftEyeMask = {
    0x00FF0000u,  // red/cyan: red
    0x0000FF00u,  // green/magenta: green
    0x00FFFF00u,  // amber/blue: red and green
};
constexpr uint32_t kColourMask = 0x00FFFFFFu;

// Rows: output red, green, blue; columns: input red, green, blue; in thousandths.
using Matrix = std::array<std::array<int32_t, 3>, 3>;
struct DuboisMatrices {
    Matrix left;
    Matrix right;
};
constexpr std::array<DuboisMatrices, 3> kDubois = {{
    {{{{437, 449, 164}, {-62, -62, -24}, {-48, -50, -17}}},
     {{{-11, -32, -7}, {377, 761, 9}, {-26, -93, 1234}}}},
    {{{{-62, -158, -39}, {284, 668, 143}, {-15, -27, 21}}},
     {{{529, 705, 24}, {-16, -15, -65}, {9, 75, 937}}}},
    {{{{1062, -205, 299}, {-26, 908, 68}, {-38, -173, 22}}},
     {{{-16, -123, -17}, {6, 62, -17}, {94, 185, 911}}}},
}};

uint32_t Grey(uint32_t y) {
    return y * 0x010101u;
}

// floor((sum + 500) / 1000) clamped to 0..255. No row of the matrices sums below
// -400 * 255 000, so the bias keeps the division's operand positive.
uint32_t RoundedChannel(int32_t sum) {
    constexpr int32_t kBias = 400;
    const int32_t value = (sum + 500 + kBias * 1000) / 1000 - kBias;
    return uint32_t(std::clamp(value, 0, 255));
}

template <int Method, int Glasses>
uint32_t ComposePixel(uint32_t l, uint32_t r) {
    constexpr uint32_t leftMask = kLeftEyeMask[Glasses];
    constexpr uint32_t rightMask = kColourMask & ~leftMask;
    if constexpr (Method == kColourAnaglyph) {
        return (l & leftMask) | (r & rightMask);
    } else if constexpr (Method == kHalfColourAnaglyph) {
        return (Grey(Luma(l)) & leftMask) | (r & rightMask);
    } else if constexpr (Method == kGreyAnaglyph) {
        return (Grey(Luma(l)) & leftMask) | (Grey(Luma(r)) & rightMask);
    } else {
        constexpr DuboisMatrices m = kDubois[Glasses];
        const int32_t lr = int32_t((l >> 16) & 0xFF), lg = int32_t((l >> 8) & 0xFF);
        const int32_t lb = int32_t(l & 0xFF);
        const int32_t rr = int32_t((r >> 16) & 0xFF), rg = int32_t((r >> 8) & 0xFF);
        const int32_t rb = int32_t(r & 0xFF);
        uint32_t out = 0;
        for (int c = 0; c < 3; ++c) {
            const int32_t sum = m.left[c][0] * lr + m.left[c][1] * lg + m.left[c][2] * lb +
                                m.right[c][0] * rr + m.right[c][1] * rg + m.right[c][2] * rb;
            out |= RoundedChannel(sum) << (16 - 8 * c);
        }
        return out;
    }
}

template <int Method, int Glasses>
void ComposeRange(const uint32_t* left, const uint32_t* right, uint32_t* out, ptrdiff_t n,
                  ptrdiff_t s, ptrdiff_t begin, ptrdiff_t end) {
    // Inside [inBegin, inEnd) the left-eye index k + s lies in the picture.
    const ptrdiff_t inBegin = std::clamp(-s, begin, end);
    const ptrdiff_t inEnd = std::clamp(n - s, inBegin, end);
    for (ptrdiff_t k = begin; k < inBegin; ++k) {
        out[k] = ComposePixel<Method, Glasses>(0, right[k]);
    }
    for (ptrdiff_t k = inBegin; k < inEnd; ++k) {
        out[k] = ComposePixel<Method, Glasses>(left[k + s], right[k]);
    }
    for (ptrdiff_t k = inEnd; k < end; ++k) {
        out[k] = ComposePixel<Method, Glasses>(0, right[k]);
    }
}

template <int Method, int Glasses>
void Compose(const uint32_t* left, const uint32_t* right, uint32_t* out, ptrdiff_t n, ptrdiff_t s) {
    ParallelRanges(
        size_t(n), ThreadsFor(size_t(n), size_t(1) << 17), [&](size_t begin, size_t end) {
            ComposeRange<Method, Glasses>(left, right, out, n, s, ptrdiff_t(begin), ptrdiff_t(end));
        });
}

template <int Method>
void ComposeFor(int32_t glasses, const uint32_t* left, const uint32_t* right, uint32_t* out,
                ptrdiff_t n, ptrdiff_t s) {
    switch (glasses) {
        case kGreenMagentaGlasses:
            return Compose<Method, kGreenMagentaGlasses>(left, right, out, n, s);
        case kAmberBlueGlasses:
            return Compose<Method, kAmberBlueGlasses>(left, right, out, n, s);
        default:
            return Compose<Method, kRedCyanGlasses>(left, right, out, n, s);
    }
}

}  // namespace

bool IsClassicAnaglyph(const ConversionSettings& settings) {
    return settings.AnaglyphMethod == kColourAnaglyph && settings.Glasses == kRedCyanGlasses;
}

void ComposeAnaglyphMethod(const ConversionSettings& settings, const uint32_t* left,
                           const uint32_t* right, uint32_t* out, ptrdiff_t n) {
    const ptrdiff_t s = ptrdiff_t(6) * settings.StereoEffect;
    switch (settings.AnaglyphMethod) {
        case kHalfColourAnaglyph:
            return ComposeFor<kHalfColourAnaglyph>(settings.Glasses, left, right, out, n, s);
        case kGreyAnaglyph:
            return ComposeFor<kGreyAnaglyph>(settings.Glasses, left, right, out, n, s);
        case kDuboisAnaglyph:
            return ComposeFor<kDuboisAnaglyph>(settings.Glasses, left, right, out, n, s);
        default:
            return ComposeFor<kColourAnaglyph>(settings.Glasses, left, right, out, n, s);
    }
}

}  // namespace k3v
