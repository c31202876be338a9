#pragma once
// The filters of a conversion applied to one picture, in their order: sharpening, the mean
// passes, brightness and contrast.

#include <cstdint>

#include "stereo/conversion_settings.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// Filters `decoded` into `working` (same size, W x H plus the spare row) as `settings` ask:
// sharpened (or copied), smoothed NoisePasses times, then toned. `decoded` is not changed.
void FilterPicture(const ConversionSettings& settings, int32_t width, int32_t height,
                   const PixelPlane& decoded, PixelPlane& working);

}  // namespace k3v
