#include "stereo/scalar_fallback.h"

#include <algorithm>
#include <array>

namespace k3v::scalar {

namespace {

uint32_t Channel(uint32_t pixel, int shift) {
    return (pixel >> shift) & 0xFFu;
}

}  // namespace

void SmoothNoiseRows(int32_t width, int32_t height, uint32_t* picture, size_t firstRow,
                     size_t endRow, size_t origin) {
    const size_t w = size_t(width);
    // Only rows 1 .. H-2 change; indices count from the window's first row.
    const size_t begin = w * (std::max<size_t>(firstRow, 1) - origin);
    const size_t last = std::min(endRow, size_t(std::max(height, 1)) - 1);
    const size_t end = last > origin ? w * (last - origin) : 0;
    // In place and in increasing order: the left, lower and lower-right neighbours already
    // hold this pass's values. The top row's upper-right reads the zero spare row.
    for (size_t i = begin; i < end; ++i) {
        const uint32_t* p = picture;
        uint32_t result = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t sum = Channel(p[i], shift) + Channel(p[i - 1], shift) +
                                 Channel(p[i + 1], shift) + Channel(p[i + w - 1], shift) +
                                 Channel(p[i + w], shift) + Channel(p[i + w + 1], shift) +
                                 Channel(p[i - w], shift) + Channel(p[i - w + 1], shift);
            result |= (sum / 8) << shift;
        }
        picture[i] = result;
    }
}

namespace {

// The brightness and contrast result for every byte value.
std::array<uint8_t, 256> BrightnessContrastTable(const ConversionSettings& settings) {
    const int32_t b = settings.BrightnessOn != 0 ? settings.Brightness - 127 : 0;
    const bool contrast = settings.ContrastOn == 1;
    const int32_t d = settings.Contrast - 128;
    const bool steep = d > 65;
    const int32_t divisor = 129 - d;
    const int32_t k = steep && divisor > 0 ? 128 / divisor : 0;
    const int32_t m = settings.Contrast;
    std::array<uint8_t, 256> table{};
    for (int32_t x = 0; x < 256; ++x) {
        int32_t t = std::clamp(x + b, 0, 255);
        if (contrast) {
            // The shift rounds toward minus infinity, as an arithmetic shift does.
            t = steep ? (t - 128) * k + 128 : (((t - 128) * m) >> 7) + 128;
            t = std::clamp(t, 0, 255);
        }
        table[size_t(x)] = uint8_t(t);
    }
    return table;
}

}  // namespace

void AdjustBrightnessContrast(size_t pixelCount, uint32_t* picture,
                              const ConversionSettings& settings) {
    if (settings.BrightnessOn == 0 && settings.ContrastOn == 0) {
        return;
    }
    const std::array<uint8_t, 256> table = BrightnessContrastTable(settings);
    // The fourth byte has no meaning; it is left zero so that saved files stay plain.
    for (size_t i = 0; i < pixelCount; ++i) {
        const uint32_t p = picture[i];
        picture[i] = uint32_t(table[p & 0xFF]) | uint32_t(table[(p >> 8) & 0xFF]) << 8 |
                     uint32_t(table[(p >> 16) & 0xFF]) << 16;
    }
}

}  // namespace k3v::scalar
