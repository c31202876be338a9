#include "stereo/view_synthesis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "base/thread_runner.h"
#include "stereo/anaglyph_methods.h"
#include "stereo/filters.h"

namespace k3v {

namespace {

// The displacement of every byte value: v * (1 / depth), both in single precision, rounded to
// the nearest integer with ties to even.
std::array<int32_t, 256> DisplacementTable(int32_t depthValue) {
    const float f = 1.0f / float(depthValue);
    std::array<int32_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        table[size_t(v)] = int32_t(std::nearbyint(float(v) * f));
    }
    return table;
}

struct Geometry {
    ptrdiff_t w;
    ptrdiff_t n;
};

// One view made by displacement: out[i] = source[i + sign * shift(channel of source[i])] for
// i >= W (the bottom row is a plain copy); sources outside the picture read as black.
template <int Sign, int ChannelShift>
void DisplaceRange(const uint32_t* source, uint32_t* out, Geometry g,
                   const std::array<int32_t, 256>& shift, ptrdiff_t begin, ptrdiff_t end) {
    const ptrdiff_t most =
        std::max<ptrdiff_t>(0, std::max(*std::max_element(shift.begin(), shift.end()),
                                        -*std::min_element(shift.begin(), shift.end())));
    // Inside [safeBegin, safeEnd) no source index can leave the picture.
    const ptrdiff_t safeBegin = std::clamp(most, begin, end);
    const ptrdiff_t safeEnd = std::clamp(g.n - most, safeBegin, end);
    auto checked = [&](ptrdiff_t i) {
        const ptrdiff_t from = i + Sign * shift[(source[i] >> ChannelShift) & 0xFF];
        out[i] = from >= 0 && from < g.n ? source[from] : 0u;
    };
    for (ptrdiff_t i = begin; i < safeBegin; ++i) {
        checked(i);
    }
    for (ptrdiff_t i = safeBegin; i < safeEnd; ++i) {
        out[i] = source[i + Sign * shift[(source[i] >> ChannelShift) & 0xFF]];
    }
    for (ptrdiff_t i = safeEnd; i < end; ++i) {
        checked(i);
    }
}

// Runs body(begin, end) over the pixel indices [0, n) on every core.
template <typename Body>
void ForPixels(ptrdiff_t n, Body body) {
    ParallelRanges(size_t(n), ThreadsFor(size_t(n), size_t(1) << 17),
                   [&](size_t begin, size_t end) { body(ptrdiff_t(begin), ptrdiff_t(end)); });
}

// A displaced view over the whole picture, bottom row copied, spare row zero.
template <int Sign, int ChannelShift>
void DisplacedView(const uint32_t* source, uint32_t* out, Geometry g,
                   const std::array<int32_t, 256>& shift) {
    std::memcpy(out, source, size_t(std::min(g.w, g.n)) * sizeof(uint32_t));
    ForPixels(g.n - g.w, [&](ptrdiff_t begin, ptrdiff_t end) {
        DisplaceRange<Sign, ChannelShift>(source, out, g, shift, begin + g.w, end + g.w);
    });
    std::memset(out + g.n, 0, size_t(g.w) * sizeof(uint32_t));
}

// The composite: blue and green of `first`, red and the fourth byte of `second` taken
// 6 * effect pixels further on (black past the end); the first 63 pixels keep `first`.
void Compose(const uint32_t* first, const uint32_t* second, uint32_t* out, Geometry g,
             int32_t effect) {
    const ptrdiff_t s = ptrdiff_t(6) * effect;
    const ptrdiff_t head = std::min<ptrdiff_t>(63, g.n);
    if (out != first) {
        std::memcpy(out, first, size_t(head) * sizeof(uint32_t));
    }
    ForPixels(g.n - head, [&](ptrdiff_t b, ptrdiff_t e) {
        const ptrdiff_t begin = b + head;
        const ptrdiff_t end = e + head;
        const ptrdiff_t inside = std::clamp(g.n - s, begin, end);  // k + s < n below this
        for (ptrdiff_t k = begin; k < inside; ++k) {
            out[k] = (first[k] & 0x0000FFFFu) | (second[k + s] & 0xFFFF0000u);
        }
        for (ptrdiff_t k = inside; k < end; ++k) {
            out[k] = first[k] & 0x0000FFFFu;
        }
    });
    std::memset(out + g.n, 0, size_t(g.w) * sizeof(uint32_t));
}

// The anaglyph in one pass, without building the second view: the composite's blue and green
// come from the first view at k, its red from the second view at k + s, each view displaced by
// the colour at its own position (the bottom row undisplaced, black outside the picture).
void ComposeDisplaced(const uint32_t* source, uint32_t* out, Geometry g,
                      const std::array<int32_t, 256>& shift, int32_t effect) {
    const ptrdiff_t s = ptrdiff_t(6) * effect;
    const ptrdiff_t most =
        std::max<ptrdiff_t>(0, std::max(*std::max_element(shift.begin(), shift.end()),
                                        -*std::min_element(shift.begin(), shift.end())));
    auto firstAt = [&](ptrdiff_t k) {
        if (k < g.w) {
            return source[k];
        }
        const ptrdiff_t from = k + shift[(source[k] >> 16) & 0xFF];
        return from >= 0 && from < g.n ? source[from] : 0u;
    };
    auto secondRedAt = [&](ptrdiff_t j) {
        if (j >= g.n) {
            return 0u;
        }
        if (j < g.w) {
            return source[j] & 0xFFFF0000u;
        }
        const ptrdiff_t from = j - shift[(source[j] >> 8) & 0xFF];
        return from >= 0 && from < g.n ? source[from] & 0xFFFF0000u : 0u;
    };
    const ptrdiff_t head = std::min<ptrdiff_t>(63, g.n);
    // Inside [low, high) every index involved lies in the displaced part of the picture.
    const ptrdiff_t low = std::max({head, g.w, g.w - s, most, most - s});
    const ptrdiff_t high = std::max(low, std::min(g.n - most, g.n - most - s));
    ForPixels(g.n, [&](ptrdiff_t begin, ptrdiff_t end) {
        const ptrdiff_t fastBegin = std::clamp(low, begin, end);
        const ptrdiff_t fastEnd = std::clamp(high, fastBegin, end);
        auto checked = [&](ptrdiff_t k) {
            out[k] = k < head ? firstAt(k) : (firstAt(k) & 0x0000FFFFu) | secondRedAt(k + s);
        };
        for (ptrdiff_t k = begin; k < fastBegin; ++k) {
            checked(k);
        }
        for (ptrdiff_t k = fastBegin; k < fastEnd; ++k) {
            const uint32_t blueGreen = source[k + shift[(source[k] >> 16) & 0xFF]] & 0x0000FFFFu;
            const ptrdiff_t j = k + s;
            const uint32_t red = source[j - shift[(source[j] >> 8) & 0xFF]] & 0xFFFF0000u;
            out[k] = blueGreen | red;
        }
        for (ptrdiff_t k = fastEnd; k < end; ++k) {
            checked(k);
        }
    });
    std::memset(out + g.n, 0, size_t(g.w) * sizeof(uint32_t));
}

}  // namespace

void SynthesizeViewsFrom(const ConversionSettings& settings, const uint32_t* first,
                         const uint32_t* second, StereoPlanes& planes) {
    const Geometry g{planes.SourceWidth, ptrdiff_t(planes.PixelCount())};
    const size_t stored = planes.FirstView.storedCount();
    const bool standard = settings.TransformationMode == kStandardStereo;
    const bool depth = !standard && settings.DepthOn != 0 && settings.DepthValue != 0;
    const bool anaglyph = settings.StereoLayout == kAnaglyph;
    const bool classic = IsClassicAnaglyph(settings);
    const bool swap = settings.SwapEyes != 0;
    uint32_t* rightView = planes.FirstView.data();
    uint32_t* leftView = planes.SecondView.data();
    // With the eyes swapped each view is built where the other one goes.
    uint32_t* builtFirst = swap ? leftView : rightView;
    uint32_t* builtSecond = swap ? rightView : leftView;

    // The composite goes into FirstView, from the right-eye view (FirstView's own) and the
    // left-eye view (SecondView's).
    const auto compose = [&](const uint32_t* right, const uint32_t* left) {
        if (classic) {
            Compose(right, left, rightView, g, settings.StereoEffect);
        } else {
            ComposeAnaglyphMethod(settings, left, right, rightView, g.n);
            std::memset(rightView + g.n, 0, size_t(g.w) * sizeof(uint32_t));
        }
    };

    if (!depth) {
        const uint32_t* secondSource = standard ? second : first;
        if (anaglyph) {
            swap ? compose(secondSource, first) : compose(first, secondSource);
        } else {
            CopyPixels(first, builtFirst, stored);
            CopyPixels(secondSource, builtSecond, stored);
        }
        return;
    }
    const std::array<int32_t, 256> shift = DisplacementTable(settings.DepthValue);
    if (anaglyph && classic && !swap) {
        ComposeDisplaced(first, rightView, g, shift, settings.StereoEffect);
        return;
    }
    // Red moves the first view's content left, green the second view's right.
    DisplacedView<-1, 8>(first, builtSecond, g, shift);
    DisplacedView<+1, 16>(first, builtFirst, g, shift);
    if (anaglyph) {
        compose(rightView, leftView);
    }
}

void SynthesizeViews(const ConversionSettings& settings, StereoPlanes& planes) {
    SynthesizeViewsFrom(settings, planes.SourceImage1.data(), planes.SourceImage2.data(), planes);
}

}  // namespace k3v
