#include "stereo/reference_kernels.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace k3v::reference {

namespace {

// The displacement of every byte value: v * (1 / depth), both in single precision, rounded to
// the nearest integer with ties to even (10 * 0.05f gives 0.5, which rounds to 0).
std::array<int32_t, 256> DisplacementTable(int32_t depthValue) {
    const float f = 1.0f / float(depthValue);
    std::array<int32_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        const float product = float(v) * f;
        table[size_t(v)] = int32_t(std::nearbyint(product));
    }
    return table;
}

// A source index outside the picture reads as a black pixel.
uint32_t PixelAt(const uint32_t* picture, ptrdiff_t index, ptrdiff_t count) {
    return index >= 0 && index < count ? picture[index] : 0u;
}

void DisplaceByColour(const ConversionSettings& settings, StereoPlanes& planes) {
    const ptrdiff_t w = planes.SourceWidth;
    const ptrdiff_t n = ptrdiff_t(planes.PixelCount());
    const uint32_t* source = planes.SourceImage1.data();
    uint32_t* first = planes.FirstView.data();
    uint32_t* second = planes.SecondView.data();
    const std::array<int32_t, 256> shift = DisplacementTable(settings.DepthValue);
    // The bottom row keeps the plain copy. The displacement is decided by the colour at the
    // output position: red moves the first view's content left, green the second's right.
    for (ptrdiff_t i = w; i < n; ++i) {
        const uint32_t here = source[i];
        const int32_t dL = shift[(here >> 16) & 0xFF];
        const int32_t dR = shift[(here >> 8) & 0xFF];
        first[i] = PixelAt(source, i + dL, n);
        second[i] = PixelAt(source, i - dR, n);
    }
}

// The second view's red (and fourth) byte replaces the first view's, taken s pixels further
// along; the first 63 pixels keep theirs, so that k + s never falls before the picture.
void ComposeAnaglyph(int32_t stereoEffect, StereoPlanes& planes) {
    const ptrdiff_t n = ptrdiff_t(planes.PixelCount());
    const ptrdiff_t s = ptrdiff_t(6) * stereoEffect;
    uint32_t* first = planes.FirstView.data();
    const uint32_t* second = planes.SecondView.data();
    for (ptrdiff_t k = 63; k < n; ++k) {
        const ptrdiff_t from = k + s;
        const uint32_t red = from >= 0 && from < n ? second[from] & 0xFFFF0000u : 0u;
        first[k] = (first[k] & 0x0000FFFFu) | red;
    }
}

}  // namespace

void SynthesizeViews(const ConversionSettings& settings, StereoPlanes& planes) {
    const bool standard = settings.TransformationMode == kStandardStereo;
    planes.FirstView.copyFrom(planes.SourceImage1);
    planes.SecondView.copyFrom(standard ? planes.SourceImage2 : planes.SourceImage1);
    if (!standard && settings.DepthOn != 0 && settings.DepthValue != 0) {
        DisplaceByColour(settings, planes);
    }
    if (settings.StereoLayout == kAnaglyph) {
        ComposeAnaglyph(settings.StereoEffect, planes);
    }
}

}  // namespace k3v::reference
