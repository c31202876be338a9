#include "tests/stereo/reference_engine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

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

// v mod w, never negative.
ptrdiff_t Modulo(ptrdiff_t v, ptrdiff_t w) {
    return ((v % w) + w) % w;
}

void Displace(const ConversionSettings& settings, StereoPlanes& planes) {
    const ptrdiff_t w = planes.SourceWidth;
    const ptrdiff_t n = ptrdiff_t(planes.PixelCount());
    const uint32_t* source = planes.SourceImage1.data();
    uint32_t* first = planes.FirstView.data();
    uint32_t* second = planes.SecondView.data();
    const std::array<int32_t, 256> shift = DisplacementTable(settings.DepthValue);
    const bool mapped = planes.DepthMap.size() == size_t(n);
    const bool wrap = settings.WrapAround;
    // The displacement is decided at the output position, by the colour (red moves the first
    // view's content left, green the second's right) or by the depth map for both. Flat, the
    // bottom row keeps the plain copy; wrapped, every row is a loop.
    for (ptrdiff_t i = wrap ? 0 : w; i < n; ++i) {
        const uint32_t here = source[i];
        uint32_t keyFirst = (here >> 16) & 0xFF;
        uint32_t keySecond = (here >> 8) & 0xFF;
        if (mapped) {
            keyFirst = keySecond = settings.InvertDepthMap ? 255u - planes.DepthMap[size_t(i)]
                                                           : planes.DepthMap[size_t(i)];
        }
        const int32_t dL = shift[keyFirst];
        const int32_t dR = shift[keySecond];
        if (wrap) {
            const ptrdiff_t row = i - i % w;
            first[i] = source[row + Modulo(i - row + dL, w)];
            second[i] = source[row + Modulo(i - row - dR, w)];
        } else {
            first[i] = PixelAt(source, i + dL, n);
            second[i] = PixelAt(source, i - dR, n);
        }
    }
}

// Where the left-eye pixel of output index k is read: s further along the flat index (outside
// the picture: none), or along k's own row as a loop.
ptrdiff_t LeftIndex(ptrdiff_t k, ptrdiff_t s, ptrdiff_t w, bool wrap) {
    if (!wrap) {
        return k + s;
    }
    const ptrdiff_t row = k - k % w;
    return row + Modulo(k - row + s, w);
}

// The second view's red (and fourth) byte replaces the first view's, taken s pixels further
// along; the first 63 pixels keep theirs, so that k + s never falls before the picture.
// Wrapped, every pixel is composed.
void ComposeAnaglyph(const ConversionSettings& settings, StereoPlanes& planes) {
    const ptrdiff_t n = ptrdiff_t(planes.PixelCount());
    const ptrdiff_t s = ptrdiff_t(6) * settings.StereoEffect;
    const bool wrap = settings.WrapAround;
    uint32_t* first = planes.FirstView.data();
    const uint32_t* second = planes.SecondView.data();
    for (ptrdiff_t k = wrap ? 0 : 63; k < n; ++k) {
        const ptrdiff_t from = LeftIndex(k, s, planes.SourceWidth, wrap);
        const uint32_t red = from >= 0 && from < n ? second[from] & 0xFFFF0000u : 0u;
        first[k] = (first[k] & 0x0000FFFFu) | red;
    }
}

// The channels (0 blue, 1 green, 2 red) each pair of glasses shows the left eye.
bool LeftEyeSees(GlassesKind glasses, int channel) {
    switch (glasses) {
        case GlassesKind::GreenMagenta:
            return channel == 1;
        case GlassesKind::AmberBlue:
            return channel != 0;
        default:
            return channel == 2;
    }
}

int32_t Channel(uint32_t pixel, int channel) {
    return int32_t((pixel >> (8 * channel)) & 0xFF);
}

int32_t Luminance(uint32_t p) {
    return (299 * Channel(p, 2) + 587 * Channel(p, 1) + 114 * Channel(p, 0) + 500) / 1000;
}

// Dubois's matrices in thousandths, indexed [glasses][output channel][input channel] with the
// channels in the order red, green, blue.
const int32_t kDuboisLeft[3][3][3] = {
    {{437, 449, 164}, {-62, -62, -24}, {-48, -50, -17}},
    {{-62, -158, -39}, {284, 668, 143}, {-15, -27, 21}},
    {{1062, -205, 299}, {-26, 908, 68}, {-38, -173, 22}},
};
const int32_t kDuboisRight[3][3][3] = {
    {{-11, -32, -7}, {377, 761, 9}, {-26, -93, 1234}},
    {{529, 705, 24}, {-16, -15, -65}, {9, 75, 937}},
    {{-16, -123, -17}, {6, 62, -17}, {94, 185, 911}},
};

int32_t DuboisChannel(GlassesKind glasses, int channel, uint32_t left, uint32_t right) {
    const int row = 2 - channel;  // matrix rows run red, green, blue
    double sum = 500;
    for (int column = 0; column < 3; ++column) {
        sum += kDuboisLeft[size_t(glasses)][row][column] * Channel(left, 2 - column);
        sum += kDuboisRight[size_t(glasses)][row][column] * Channel(right, 2 - column);
    }
    return std::clamp(int32_t(std::floor(sum / 1000)), 0, 255);
}

// Every pixel from the left eye's pixel s further on (black outside) and the right eye's own.
void ComposeWithMethod(const ConversionSettings& settings, StereoPlanes& planes) {
    const ptrdiff_t n = ptrdiff_t(planes.PixelCount());
    const ptrdiff_t s = ptrdiff_t(6) * settings.StereoEffect;
    uint32_t* right = planes.FirstView.data();
    const uint32_t* leftView = planes.SecondView.data();
    for (ptrdiff_t k = 0; k < n; ++k) {
        const uint32_t left =
            PixelAt(leftView, LeftIndex(k, s, planes.SourceWidth, settings.WrapAround), n);
        uint32_t out = 0;
        for (int c = 0; c < 3; ++c) {
            const bool leftEye = LeftEyeSees(settings.Glasses, c);
            int32_t value = 0;
            switch (settings.AnaglyphMethod) {
                case AnaglyphKind::Colour:
                    value = Channel(leftEye ? left : right[k], c);
                    break;
                case AnaglyphKind::HalfColour:
                    value = leftEye ? Luminance(left) : Channel(right[k], c);
                    break;
                case AnaglyphKind::Grey:
                    value = Luminance(leftEye ? left : right[k]);
                    break;
                default:
                    value = DuboisChannel(settings.Glasses, c, left, right[k]);
            }
            out |= uint32_t(value) << (8 * c);
        }
        right[k] = out;
    }
}

}  // namespace

void SynthesizeViews(const ConversionSettings& settings, StereoPlanes& planes) {
    const bool standard = settings.TransformationMode == kStandardStereo;
    planes.FirstView.copyFrom(planes.SourceImage1);
    planes.SecondView.copyFrom(standard ? planes.SourceImage2 : planes.SourceImage1);
    if (!standard && settings.DepthOn != 0 && settings.DepthValue != 0) {
        Displace(settings, planes);
    }
    if (settings.SwapEyes) {
        std::swap(planes.FirstView, planes.SecondView);
    }
    if (settings.StereoLayout != kAnaglyph) {
        return;
    }
    if (settings.AnaglyphMethod == AnaglyphKind::Colour &&
        settings.Glasses == GlassesKind::RedCyan) {
        ComposeAnaglyph(settings, planes);
    } else {
        ComposeWithMethod(settings, planes);
    }
}

}  // namespace k3v::reference
