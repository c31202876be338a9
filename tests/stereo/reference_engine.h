#pragma once
// The plain scalar version of every conversion kernel: each follows the program's arithmetic
// in the most obvious way, one pixel and one channel at a time. They are the reference the
// fast kernels (filters.h, view_synthesis.h, conversion.h) must equal bit for bit, and the
// tests and the engine's fuzz target compare them over sweeps of sizes and settings.
//
// The mean and the tone are the program's own scalar fallback (stereo/scalar_fallback.h),
// which is already written this way; the rest exists only here.

#include <cstddef>
#include <cstdint>

#include "stereo/conversion_settings.h"
#include "stereo/scalar_fallback.h"
#include "stereo/stereo_planes.h"

namespace k3v::reference {

void SharpenPicture(int32_t width, int32_t height, uint32_t* picture, uint32_t* scratch,
                    int32_t level, int32_t blend);
void SmoothNoise(int32_t width, int32_t height, uint32_t* picture);
inline void AdjustBrightnessContrast(size_t pixelCount, uint32_t* picture,
                                     const ConversionSettings& settings) {
    scalar::AdjustBrightnessContrast(pixelCount, picture, settings);
}
void SynthesizeViews(const ConversionSettings& settings, StereoPlanes& planes);
void ConvertPlanes(const ConversionSettings& settings, StereoPlanes& planes);

}  // namespace k3v::reference
