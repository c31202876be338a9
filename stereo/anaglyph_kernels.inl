// The anaglyph methods' pixel loops, included once into a file built for the baseline
// instruction set and once into one built for AVX2 (chosen at run time): plain loops the
// compiler vectorises, so each build uses its widest integer multiplies and comparisons.
// K3V_ANAGLYPH_NAMESPACE names the namespace of the build.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "stereo/anaglyph_methods.h"

namespace k3v::K3V_ANAGLYPH_NAMESPACE {

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

// t div 1000 for 0 <= t < 256 000, without a division so that loops of it vectorise:
// t div 1000 = (t div 8) div 125, and for u < 32 000, u div 125 = (u * 33 555) >> 22 exactly
// (the product overshoots u / 125 by less than 0.005, and u / 125 is never within that of
// the next whole number).
constexpr int32_t DivideBy1000(int32_t t) {
    return ((t >> 3) * 33555) >> 22;
}

// clamp(0, 255, floor((sum + 500) / 1000)): clamping the dividend first gives the same.
uint32_t RoundedChannel(int32_t sum) {
    return uint32_t(DivideBy1000(std::clamp(sum + 500, 0, 255999)));
}

uint32_t FastLuma(uint32_t p) {
    return uint32_t(DivideBy1000(
        int32_t(299 * ((p >> 16) & 0xFF) + 587 * ((p >> 8) & 0xFF) + 114 * (p & 0xFF) + 500)));
}

// Always inlined: a call per pixel would keep the loops below from being vectorised, and the
// compiler stops inlining the large Dubois body once it is used from several loops.
template <AnaglyphKind Method, GlassesKind Glasses>
[[gnu::always_inline]] inline uint32_t ComposePixel(uint32_t l, uint32_t r) {
    constexpr uint32_t leftMask = kLeftEyeMask[size_t(Glasses)];
    constexpr uint32_t rightMask = kColourMask & ~leftMask;
    if constexpr (Method == kClassicComposition) {
        return (r & 0x0000FFFFu) | (l & 0xFFFF0000u);
    } else if constexpr (Method == AnaglyphKind::Colour) {
        return (l & leftMask) | (r & rightMask);
    } else if constexpr (Method == AnaglyphKind::HalfColour) {
        return (Grey(FastLuma(l)) & leftMask) | (r & rightMask);
    } else if constexpr (Method == AnaglyphKind::Grey) {
        return (Grey(FastLuma(l)) & leftMask) | (Grey(FastLuma(r)) & rightMask);
    } else {
        // The sums are whole numbers below 2^24 in size at every step, so single precision
        // holds them exactly, and its multiplies are far cheaper than 32-bit integer ones.
        constexpr DuboisMatrices m = kDubois[size_t(Glasses)];
        const float lr = float((l >> 16) & 0xFF), lg = float((l >> 8) & 0xFF);
        const float lb = float(l & 0xFF);
        const float rr = float((r >> 16) & 0xFF), rg = float((r >> 8) & 0xFF);
        const float rb = float(r & 0xFF);
        const auto channel = [&](int c) {
            const auto k = [&](int32_t v) { return float(v); };
            return RoundedChannel(int32_t(k(m.left[c][0]) * lr + k(m.left[c][1]) * lg +
                                          k(m.left[c][2]) * lb + k(m.right[c][0]) * rr +
                                          k(m.right[c][1]) * rg + k(m.right[c][2]) * rb));
        };
        return channel(0) << 16 | channel(1) << 8 | channel(2);
    }
}

template <AnaglyphKind Method, GlassesKind Glasses>
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

// Rows [begin / w, end / w) of a 360-degree panorama: the left-eye pixel of (y, x) is
// (y, (x + s) mod w), so each row splits into two runs of consecutive pixels.
template <AnaglyphKind Method, GlassesKind Glasses>
void ComposeRowsWrapped(const uint32_t* left, const uint32_t* right, uint32_t* out, ptrdiff_t w,
                        ptrdiff_t s, ptrdiff_t begin, ptrdiff_t end) {
    const ptrdiff_t shift = ((s % w) + w) % w;
    for (ptrdiff_t row = begin; row < end; row += w) {
        for (ptrdiff_t x = 0; x < w - shift; ++x) {
            out[row + x] = ComposePixel<Method, Glasses>(left[row + x + shift], right[row + x]);
        }
        for (ptrdiff_t x = w - shift; x < w; ++x) {
            out[row + x] = ComposePixel<Method, Glasses>(left[row + x + shift - w], right[row + x]);
        }
    }
}

template <AnaglyphKind Method, GlassesKind Glasses>
void ComposeEither(const uint32_t* left, const uint32_t* right, uint32_t* out, ptrdiff_t n,
                   ptrdiff_t s, ptrdiff_t wrapWidth, ptrdiff_t begin, ptrdiff_t end) {
    if (wrapWidth > 0) {
        ComposeRowsWrapped<Method, Glasses>(left, right, out, wrapWidth, s, begin, end);
    } else {
        ComposeRange<Method, Glasses>(left, right, out, n, s, begin, end);
    }
}

template <AnaglyphKind Method>
void ComposeRangeFor(GlassesKind glasses, const uint32_t* left, const uint32_t* right,
                     uint32_t* out, ptrdiff_t n, ptrdiff_t s, ptrdiff_t wrapWidth, ptrdiff_t begin,
                     ptrdiff_t end) {
    switch (glasses) {
        case GlassesKind::GreenMagenta:
            return ComposeEither<Method, GlassesKind::GreenMagenta>(left, right, out, n, s,
                                                                    wrapWidth, begin, end);
        case GlassesKind::AmberBlue:
            return ComposeEither<Method, GlassesKind::AmberBlue>(left, right, out, n, s, wrapWidth,
                                                                 begin, end);
        default:
            return ComposeEither<Method, GlassesKind::RedCyan>(left, right, out, n, s, wrapWidth,
                                                               begin, end);
    }
}

}  // namespace

void ComposeAnaglyphRange(AnaglyphKind method, GlassesKind glasses, const uint32_t* left,
                          const uint32_t* right, uint32_t* out, ptrdiff_t n, ptrdiff_t s,
                          ptrdiff_t wrapWidth, ptrdiff_t begin, ptrdiff_t end) {
    // By number, since the classic composition is none of the four named methods.
    switch (int(method)) {
        case int(kClassicComposition):
            return ComposeRangeFor<kClassicComposition>(GlassesKind::RedCyan, left, right, out, n,
                                                        s, wrapWidth, begin, end);
        case int(AnaglyphKind::HalfColour):
            return ComposeRangeFor<AnaglyphKind::HalfColour>(glasses, left, right, out, n, s,
                                                             wrapWidth, begin, end);
        case int(AnaglyphKind::Grey):
            return ComposeRangeFor<AnaglyphKind::Grey>(glasses, left, right, out, n, s, wrapWidth,
                                                       begin, end);
        case int(AnaglyphKind::Dubois):
            return ComposeRangeFor<AnaglyphKind::Dubois>(glasses, left, right, out, n, s, wrapWidth,
                                                         begin, end);
        default:
            return ComposeRangeFor<AnaglyphKind::Colour>(glasses, left, right, out, n, s, wrapWidth,
                                                         begin, end);
    }
}

}  // namespace k3v::K3V_ANAGLYPH_NAMESPACE
