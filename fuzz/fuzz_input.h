#pragma once
// Reads fuzzer bytes as a stream of small numbers; past the end every read gives 0, so any
// input, however short, describes a complete case.

#include <cstddef>
#include <cstdint>

#include "stereo/conversion_settings.h"
#include "stereo/pixel_plane.h"

namespace k3v::fuzzing {

class ByteStream {
  public:
    ByteStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }

    // A value in [min, max].
    int32_t in(int32_t min, int32_t max) {
        const uint32_t span = uint32_t(max - min) + 1;
        const uint32_t raw = uint32_t(byte()) | uint32_t(byte()) << 8;
        return min + int32_t(raw % span);
    }

    // Fills the plane's picture rows from the remaining bytes (three per pixel), repeating
    // them when they run out; the spare row stays zero.
    void fill(PixelPlane& plane) {
        const size_t start = at_;
        const size_t left = size_ - start;
        for (size_t i = 0; i < plane.pixelCount(); ++i) {
            uint32_t pixel = 0;
            for (int c = 0; c < 3; ++c) {
                const size_t k = 3 * i + size_t(c);
                pixel |= uint32_t(left == 0 ? uint8_t(k * 37) : data_[start + k % left]) << (8 * c);
            }
            plane.data()[i] = pixel;
        }
        at_ = size_;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Any settings the window's controls or the batch tool's options can produce.
inline ConversionSettings ReadSettings(ByteStream& in) {
    ConversionSettings s;
    s.TransformationMode = in.in(0, 1);
    s.StereoLayout = in.in(0, 2);
    s.SourceKind = in.in(0, 1);
    s.StereoEffect = int16_t(in.in(kStereoEffectRange.min, kStereoEffectRange.max));
    s.DepthOn = in.in(0, 1);
    s.DepthValue = 20 + 5 * in.in(0, 14);
    s.SharpenOn = in.in(0, 1);
    s.SharpenLevel = in.in(kSharpenLevelRange.min, kSharpenLevelRange.max);
    s.SharpenBlend = in.in(kSharpenBlendRange.min, kSharpenBlendRange.max);
    s.BrightnessOn = in.in(0, 1);
    s.Brightness = in.in(kBrightnessRange.min, kBrightnessRange.max);
    s.ContrastOn = in.in(0, 1);
    s.Contrast = in.in(kContrastRange.min, kContrastRange.max);
    s.NoiseOn = in.in(0, 1);
    s.NoisePasses = in.in(kNoisePassesRange.min, kNoisePassesRange.max);
    return s;
}

}  // namespace k3v::fuzzing
