#include "stereo/anaglyph_methods.h"

#include "base/simd_level.h"
#include "base/thread_runner.h"
#include "stereo/banded_work.h"

namespace k3v {

namespace sse2 {
void ComposeAnaglyphRange(AnaglyphKind method, GlassesKind glasses, const uint32_t* left,
                          const uint32_t* right, uint32_t* out, ptrdiff_t n, ptrdiff_t s,
                          ptrdiff_t wrapWidth, ptrdiff_t begin, ptrdiff_t end);
}
namespace avx2 {
void ComposeAnaglyphRange(AnaglyphKind method, GlassesKind glasses, const uint32_t* left,
                          const uint32_t* right, uint32_t* out, ptrdiff_t n, ptrdiff_t s,
                          ptrdiff_t wrapWidth, ptrdiff_t begin, ptrdiff_t end);
}

bool IsClassicAnaglyph(const ConversionSettings& settings) {
    return settings.AnaglyphMethod == AnaglyphKind::Colour &&
           settings.Glasses == GlassesKind::RedCyan;
}

namespace {

auto RangeKernel() {
    return ActiveSimdLevel() == SimdLevel::Avx2 ? avx2::ComposeAnaglyphRange
                                                : sse2::ComposeAnaglyphRange;
}

}  // namespace

bool ComposeAnaglyphMethod(const ConversionSettings& settings, const uint32_t* left,
                           const uint32_t* right, uint32_t* out, ptrdiff_t n,
                           const Progress& progress) {
    const ptrdiff_t s = ptrdiff_t(6) * settings.StereoEffect;
    const auto range = RangeKernel();
    return ParallelBands(size_t(n), ThreadsFor(size_t(n), size_t(1) << 17), size_t(1) << 16,
                         progress, [&](size_t begin, size_t end) {
                             range(settings.AnaglyphMethod, settings.Glasses, left, right, out, n,
                                   s, 0, ptrdiff_t(begin), ptrdiff_t(end));
                         });
}

void ComposeAnaglyphPairs(const ConversionSettings& settings, const uint32_t* left,
                          const uint32_t* right, uint32_t* out, ptrdiff_t n) {
    RangeKernel()(settings.AnaglyphMethod, settings.Glasses, left, right, out, n, 0, 0, 0, n);
}

bool ComposeAnaglyphWrapped(const ConversionSettings& settings, const uint32_t* left,
                            const uint32_t* right, uint32_t* out, ptrdiff_t width, ptrdiff_t height,
                            const Progress& progress) {
    const ptrdiff_t s = ptrdiff_t(6) * settings.StereoEffect;
    const AnaglyphKind method =
        IsClassicAnaglyph(settings) ? kClassicComposition : settings.AnaglyphMethod;
    const auto range = RangeKernel();
    const ptrdiff_t n = width * height;
    return ParallelBands(size_t(height), ThreadsFor(size_t(n), size_t(1) << 17),
                         BandRows(size_t(width)), progress, [&](size_t first, size_t last) {
                             range(method, settings.Glasses, left, right, out, n, s, width,
                                   ptrdiff_t(first) * width, ptrdiff_t(last) * width);
                         });
}

}  // namespace k3v
