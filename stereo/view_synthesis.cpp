#include "stereo/view_synthesis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "base/thread_runner.h"
#include "stereo/anaglyph_methods.h"
#include "stereo/banded_work.h"
#include "stereo/conversion_stages.h"
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

// Where a pixel's displacement is read: a byte of its own colour, or the depth map.
template <int ChannelShift>
struct ColourKey {
    const uint32_t* source;
    uint32_t operator()(ptrdiff_t i) const { return (source[i] >> ChannelShift) & 0xFF; }
};
struct MapKey {
    const uint8_t* map;
    uint32_t invert;  // 0, or 0xFF for 255 - m
    uint32_t operator()(ptrdiff_t i) const { return map[i] ^ invert; }
};

ptrdiff_t MostShift(const std::array<int32_t, 256>& shift) {
    return std::max<ptrdiff_t>(0, std::max(*std::max_element(shift.begin(), shift.end()),
                                           -*std::min_element(shift.begin(), shift.end())));
}

// v mod w, for any v.
ptrdiff_t Wrapped(ptrdiff_t v, ptrdiff_t w) {
    v %= w;
    return v < 0 ? v + w : v;
}

// One view made by displacement: out[i] = source[i + sign * shift(key(i))] for i >= W (the
// bottom row is a plain copy); sources outside the picture read as black.
template <int Sign, typename Key>
void DisplaceRange(const uint32_t* source, uint32_t* out, Geometry g,
                   const std::array<int32_t, 256>& shift, Key key, ptrdiff_t begin, ptrdiff_t end) {
    const ptrdiff_t most = MostShift(shift);
    // Inside [safeBegin, safeEnd) no source index can leave the picture.
    const ptrdiff_t safeBegin = std::clamp(most, begin, end);
    const ptrdiff_t safeEnd = std::clamp(g.n - most, safeBegin, end);
    auto checked = [&](ptrdiff_t i) {
        const ptrdiff_t from = i + Sign * shift[key(i)];
        out[i] = from >= 0 && from < g.n ? source[from] : 0u;
    };
    for (ptrdiff_t i = begin; i < safeBegin; ++i) {
        checked(i);
    }
    for (ptrdiff_t i = safeBegin; i < safeEnd; ++i) {
        out[i] = source[i + Sign * shift[key(i)]];
    }
    for (ptrdiff_t i = safeEnd; i < end; ++i) {
        checked(i);
    }
}

// Runs body(begin, end) over the pixel indices [0, n) on every core, in bands that report to
// `progress`; false when it was cancelled.
template <typename Body>
bool ForPixels(ptrdiff_t n, const Progress& progress, Body body) {
    return ParallelBands(size_t(n), ThreadsFor(size_t(n), size_t(1) << 17), size_t(1) << 16,
                         progress,
                         [&](size_t begin, size_t end) { body(ptrdiff_t(begin), ptrdiff_t(end)); });
}

// Runs body(row) for every row of the picture on every core, in the same way.
template <typename Body>
bool ForRows(Geometry g, const Progress& progress, Body body) {
    const ptrdiff_t rows = g.w > 0 ? g.n / g.w : 0;
    return ParallelBands(size_t(rows), ThreadsFor(size_t(g.n), size_t(1) << 17),
                         BandRows(size_t(g.w)), progress, [&](size_t first, size_t last) {
                             for (size_t y = first; y < last; ++y) {
                                 body(ptrdiff_t(y) * g.w);
                             }
                         });
}

// A displaced view over the whole picture, bottom row copied, spare row zero.
template <int Sign, typename Key>
bool DisplacedView(const uint32_t* source, uint32_t* out, Geometry g,
                   const std::array<int32_t, 256>& shift, Key key, const Progress& progress) {
    std::memcpy(out, source, size_t(std::min(g.w, g.n)) * sizeof(uint32_t));
    const bool finished = ForPixels(g.n - g.w, progress, [&](ptrdiff_t begin, ptrdiff_t end) {
        DisplaceRange<Sign>(source, out, g, shift, key, begin + g.w, end + g.w);
    });
    std::memset(out + g.n, 0, size_t(g.w) * sizeof(uint32_t));
    return finished;
}

// The same for a 360-degree panorama: every row, the bottom one too, is a closed loop,
// out[y][x] = source[y][(x + sign * shift(key)) mod W].
template <int Sign, typename Key>
bool DisplacedViewWrapped(const uint32_t* source, uint32_t* out, Geometry g,
                          const std::array<int32_t, 256>& shift, Key key,
                          const Progress& progress) {
    const ptrdiff_t most = MostShift(shift);
    // Inside [low, high) of a row no source leaves it.
    const ptrdiff_t low = std::min(most, g.w);
    const ptrdiff_t high = std::max(low, g.w - most);
    const bool finished = ForRows(g, progress, [&](ptrdiff_t row) {
        auto checked = [&](ptrdiff_t x) {
            out[row + x] = source[row + Wrapped(x + Sign * shift[key(row + x)], g.w)];
        };
        for (ptrdiff_t x = 0; x < low; ++x) {
            checked(x);
        }
        for (ptrdiff_t x = low; x < high; ++x) {
            out[row + x] = source[row + x + Sign * shift[key(row + x)]];
        }
        for (ptrdiff_t x = high; x < g.w; ++x) {
            checked(x);
        }
    });
    std::memset(out + g.n, 0, size_t(g.w) * sizeof(uint32_t));
    return finished;
}

// The composite: blue and green of `first`, red and the fourth byte of `second` taken
// 6 * effect pixels further on (black past the end); the first 63 pixels keep `first`.
bool Compose(const uint32_t* first, const uint32_t* second, uint32_t* out, Geometry g,
             int32_t effect, const Progress& progress) {
    const ptrdiff_t s = ptrdiff_t(6) * effect;
    const ptrdiff_t head = std::min<ptrdiff_t>(63, g.n);
    if (out != first) {
        std::memcpy(out, first, size_t(head) * sizeof(uint32_t));
    }
    const bool finished = ForPixels(g.n - head, progress, [&](ptrdiff_t b, ptrdiff_t e) {
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
    return finished;
}

// The anaglyph in one pass, without building the second view: the composite's blue and green
// come from the first view at k, its red from the second view at k + s, each view displaced by
// its own key at its own position (the bottom row undisplaced, black outside the picture).
template <typename KeyFirst, typename KeySecond>
bool ComposeDisplaced(const uint32_t* source, uint32_t* out, Geometry g,
                      const std::array<int32_t, 256>& shift, int32_t effect, KeyFirst keyFirst,
                      KeySecond keySecond, const Progress& progress) {
    const ptrdiff_t s = ptrdiff_t(6) * effect;
    const ptrdiff_t most = MostShift(shift);
    auto firstAt = [&](ptrdiff_t k) {
        if (k < g.w) {
            return source[k];
        }
        const ptrdiff_t from = k + shift[keyFirst(k)];
        return from >= 0 && from < g.n ? source[from] : 0u;
    };
    auto secondRedAt = [&](ptrdiff_t j) {
        if (j >= g.n) {
            return 0u;
        }
        if (j < g.w) {
            return source[j] & 0xFFFF0000u;
        }
        const ptrdiff_t from = j - shift[keySecond(j)];
        return from >= 0 && from < g.n ? source[from] & 0xFFFF0000u : 0u;
    };
    const ptrdiff_t head = std::min<ptrdiff_t>(63, g.n);
    // Inside [low, high) every index involved lies in the displaced part of the picture.
    const ptrdiff_t low = std::max({head, g.w, g.w - s, most, most - s});
    const ptrdiff_t high = std::max(low, std::min(g.n - most, g.n - most - s));
    const bool finished = ForPixels(g.n, progress, [&](ptrdiff_t begin, ptrdiff_t end) {
        const ptrdiff_t fastBegin = std::clamp(low, begin, end);
        const ptrdiff_t fastEnd = std::clamp(high, fastBegin, end);
        auto checked = [&](ptrdiff_t k) {
            out[k] = k < head ? firstAt(k) : (firstAt(k) & 0x0000FFFFu) | secondRedAt(k + s);
        };
        for (ptrdiff_t k = begin; k < fastBegin; ++k) {
            checked(k);
        }
        for (ptrdiff_t k = fastBegin; k < fastEnd; ++k) {
            const uint32_t blueGreen = source[k + shift[keyFirst(k)]] & 0x0000FFFFu;
            const ptrdiff_t j = k + s;
            const uint32_t red = source[j - shift[keySecond(j)]] & 0xFFFF0000u;
            out[k] = blueGreen | red;
        }
        for (ptrdiff_t k = fastEnd; k < end; ++k) {
            checked(k);
        }
    });
    std::memset(out + g.n, 0, size_t(g.w) * sizeof(uint32_t));
    return finished;
}

// The same for a 360-degree panorama: every row is a closed loop for both displacements and
// the red shift, and every pixel is composed.
template <typename KeyFirst, typename KeySecond>
bool ComposeDisplacedWrapped(const uint32_t* source, uint32_t* out, Geometry g,
                             const std::array<int32_t, 256>& shift, int32_t effect,
                             KeyFirst keyFirst, KeySecond keySecond, const Progress& progress) {
    const ptrdiff_t s = ptrdiff_t(6) * effect;
    const ptrdiff_t most = MostShift(shift);
    // Inside [low, high) of a row neither displacement nor the red shift leaves it.
    const ptrdiff_t low = std::min(g.w, std::max(most, most - s));
    const ptrdiff_t high = std::max(low, std::min(g.w - most, g.w - most - s));
    const bool finished = ForRows(g, progress, [&](ptrdiff_t row) {
        auto checked = [&](ptrdiff_t x) {
            const uint32_t blueGreen =
                source[row + Wrapped(x + shift[keyFirst(row + x)], g.w)] & 0x0000FFFFu;
            const ptrdiff_t j = Wrapped(x + s, g.w);
            const uint32_t red =
                source[row + Wrapped(j - shift[keySecond(row + j)], g.w)] & 0xFFFF0000u;
            out[row + x] = blueGreen | red;
        };
        for (ptrdiff_t x = 0; x < low; ++x) {
            checked(x);
        }
        for (ptrdiff_t x = low; x < high; ++x) {
            const uint32_t blueGreen = source[row + x + shift[keyFirst(row + x)]] & 0x0000FFFFu;
            const ptrdiff_t j = row + x + s;
            const uint32_t red = source[j - shift[keySecond(j)]] & 0xFFFF0000u;
            out[row + x] = blueGreen | red;
        }
        for (ptrdiff_t x = high; x < g.w; ++x) {
            checked(x);
        }
    });
    std::memset(out + g.n, 0, size_t(g.w) * sizeof(uint32_t));
    return finished;
}

// A flat displaced view's pixel at index i, worked out where it is needed instead of read
// from a built view: the bottom row undisplaced, black outside the picture.
template <int Sign, typename Key>
struct ViewPixel {
    const uint32_t* source;
    Geometry g;
    const std::array<int32_t, 256>& shift;
    Key key;

    // Where i and its source lie inside the displaced part of the picture.
    uint32_t inside(ptrdiff_t i) const { return source[i + Sign * shift[key(i)]]; }
    uint32_t operator()(ptrdiff_t i) const {
        if (i < 0 || i >= g.n) {
            return 0u;
        }
        if (i < g.w) {
            return source[i];
        }
        const ptrdiff_t from = i + Sign * shift[key(i)];
        return from >= 0 && from < g.n ? source[from] : 0u;
    }
};

// The flat anaglyph of any method but the classic one, with displaced views, without building
// them: for each run of output pixels the right-eye pixels and the left-eye pixels s further
// on are worked out into small buffers, which the vectorised kernels then compose.
template <typename RightView, typename LeftView>
bool ComposeGathered(const ConversionSettings& settings, uint32_t* out, Geometry g,
                     const std::array<int32_t, 256>& shift, RightView rightView, LeftView leftView,
                     const Progress& progress) {
    const ptrdiff_t s = ptrdiff_t(6) * settings.StereoEffect;
    const ptrdiff_t most = MostShift(shift);
    // Inside [low, high) every index involved lies in the displaced part of the picture.
    const ptrdiff_t low = std::max({g.w, g.w - s, most, most - s});
    const ptrdiff_t high = std::min(g.n - most, g.n - most - s);
    const bool finished = ForPixels(g.n, progress, [&](ptrdiff_t begin, ptrdiff_t end) {
        constexpr ptrdiff_t kRun = 1024;
        std::array<uint32_t, kRun> left;
        std::array<uint32_t, kRun> right;
        for (ptrdiff_t first = begin; first < end; first += kRun) {
            const ptrdiff_t count = std::min(kRun, end - first);
            if (first >= low && first + count <= high) {
                for (ptrdiff_t i = 0; i < count; ++i) {
                    right[size_t(i)] = rightView.inside(first + i);
                    left[size_t(i)] = leftView.inside(first + i + s);
                }
            } else {
                for (ptrdiff_t i = 0; i < count; ++i) {
                    right[size_t(i)] = rightView(first + i);
                    left[size_t(i)] = leftView(first + i + s);
                }
            }
            ComposeAnaglyphPairs(settings, left.data(), right.data(), out + first, count);
        }
    });
    std::memset(out + g.n, 0, size_t(g.w) * sizeof(uint32_t));
    return finished;
}

// The gathered anaglyph with the eyes in their places or swapped.
template <typename KeyFirst, typename KeySecond>
bool ComposeGatheredViews(const ConversionSettings& settings, const uint32_t* source, uint32_t* out,
                          Geometry g, const std::array<int32_t, 256>& shift, KeyFirst keyFirst,
                          KeySecond keySecond, const Progress& progress) {
    const ViewPixel<+1, KeyFirst> first{source, g, shift, keyFirst};
    const ViewPixel<-1, KeySecond> second{source, g, shift, keySecond};
    return settings.SwapEyes ? ComposeGathered(settings, out, g, shift, second, first, progress)
                             : ComposeGathered(settings, out, g, shift, first, second, progress);
}

// Both displaced views (red moves the first view's content left, green the second's right),
// built where `firstOut` and `secondOut` say, each half of `progress`.
template <typename KeyFirst, typename KeySecond>
bool DisplacedViews(const uint32_t* source, uint32_t* firstOut, uint32_t* secondOut, Geometry g,
                    const std::array<int32_t, 256>& shift, bool wrap, KeyFirst keyFirst,
                    KeySecond keySecond, const Progress& progress) {
    const Progress secondHalf = progress.part(0, 0.5);
    const Progress firstHalf = progress.part(0.5, 1);
    if (wrap) {
        return DisplacedViewWrapped<-1>(source, secondOut, g, shift, keySecond, secondHalf) &&
               DisplacedViewWrapped<+1>(source, firstOut, g, shift, keyFirst, firstHalf);
    }
    return DisplacedView<-1>(source, secondOut, g, shift, keySecond, secondHalf) &&
           DisplacedView<+1>(source, firstOut, g, shift, keyFirst, firstHalf);
}

// The one-pass anaglyph, flat or wrapped.
template <typename KeyFirst, typename KeySecond>
bool ComposeDisplacedEither(const uint32_t* source, uint32_t* out, Geometry g,
                            const std::array<int32_t, 256>& shift, int32_t effect, bool wrap,
                            KeyFirst keyFirst, KeySecond keySecond, const Progress& progress) {
    return wrap ? ComposeDisplacedWrapped(source, out, g, shift, effect, keyFirst, keySecond,
                                          progress)
                : ComposeDisplaced(source, out, g, shift, effect, keyFirst, keySecond, progress);
}

}  // namespace

bool SynthesizeViewsFrom(const ConversionSettings& settings, const uint32_t* first,
                         const uint32_t* second, StereoPlanes& planes, const Progress& progress) {
    const Geometry g{planes.SourceWidth, ptrdiff_t(planes.PixelCount())};
    const size_t stored = size_t(g.n + g.w);  // the picture and its spare row
    const bool standard = settings.TransformationMode == kStandardStereo;
    const bool depth = !standard && settings.DepthOn != 0 && settings.DepthValue != 0;
    const bool anaglyph = settings.StereoLayout == kAnaglyph;
    const bool classic = IsClassicAnaglyph(settings);
    const bool swap = settings.SwapEyes;
    const bool wrap = settings.WrapAround && g.w > 0;
    uint32_t* rightView = planes.FirstView.data();
    uint32_t* leftView = planes.SecondView.data();
    // With the eyes swapped each view is built where the other one goes.
    uint32_t* builtFirst = swap ? leftView : rightView;
    uint32_t* builtSecond = swap ? rightView : leftView;
    const Progress synthesis = progress.part(0, 1, kSynthesisStage);
    const Progress composition = progress.part(0, 1, kCompositionStage);

    // The composite goes into FirstView, from the right-eye view (FirstView's own) and the
    // left-eye view (SecondView's).
    const auto compose = [&](const uint32_t* right, const uint32_t* left, const Progress& part) {
        if (wrap) {
            const bool finished =
                ComposeAnaglyphWrapped(settings, left, right, rightView, g.w, g.n / g.w, part);
            std::memset(rightView + g.n, 0, size_t(g.w) * sizeof(uint32_t));
            return finished;
        }
        if (classic) {
            return Compose(right, left, rightView, g, settings.StereoEffect, part);
        }
        const bool finished = ComposeAnaglyphMethod(settings, left, right, rightView, g.n, part);
        std::memset(rightView + g.n, 0, size_t(g.w) * sizeof(uint32_t));
        return finished;
    };

    if (!depth) {
        const uint32_t* secondSource = standard ? second : first;
        if (anaglyph) {
            return swap ? compose(secondSource, first, composition)
                        : compose(first, secondSource, composition);
        }
        return CopyPixels(first, builtFirst, stored, synthesis.part(0, 0.5)) &&
               CopyPixels(secondSource, builtSecond, stored, synthesis.part(0.5, 1));
    }
    const std::array<int32_t, 256> shift = DisplacementTable(settings.DepthValue);
    const bool mapped = planes.DepthMap.size() == size_t(g.n) && g.n > 0;
    const MapKey mapKey{planes.DepthMap.data(), settings.InvertDepthMap ? 0xFFu : 0u};
    const ColourKey<16> redKey{first};
    const ColourKey<8> greenKey{first};
    // The anaglyphs made in one pass from the picture, without the views.
    if (anaglyph && !classic && !wrap) {
        return mapped ? ComposeGatheredViews(settings, first, rightView, g, shift, mapKey, mapKey,
                                             composition)
                      : ComposeGatheredViews(settings, first, rightView, g, shift, redKey, greenKey,
                                             composition);
    }
    if (anaglyph && classic && !swap) {
        return mapped ? ComposeDisplacedEither(first, rightView, g, shift, settings.StereoEffect,
                                               wrap, mapKey, mapKey, composition)
                      : ComposeDisplacedEither(first, rightView, g, shift, settings.StereoEffect,
                                               wrap, redKey, greenKey, composition);
    }
    // Two views, then (for the anaglyph) one pass over both: the views take two thirds.
    const double viewsShare = anaglyph ? 2.0 / 3.0 : 1.0;
    const Progress views = progress.part(0, viewsShare, kSynthesisStage);
    const bool built = mapped ? DisplacedViews(first, builtFirst, builtSecond, g, shift, wrap,
                                               mapKey, mapKey, views)
                              : DisplacedViews(first, builtFirst, builtSecond, g, shift, wrap,
                                               redKey, greenKey, views);
    if (!built || !anaglyph) {
        return built;
    }
    return compose(rightView, leftView, progress.part(viewsShare, 1, kCompositionStage));
}

void SynthesizeViews(const ConversionSettings& settings, StereoPlanes& planes) {
    SynthesizeViewsFrom(settings, planes.SourceImage1.data(), planes.SourceImage2.data(), planes);
}

}  // namespace k3v
