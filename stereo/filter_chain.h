#pragma once
// The filters of a conversion applied to one picture, in their order: sharpening, the mean
// passes, brightness and contrast.

#include <cstdint>

#include "base/progress.h"
#include "stereo/conversion_settings.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// Filters `decoded` into `working` (same size, W x H plus the spare row) as `settings` ask:
// sharpened (or copied), smoothed NoisePasses times, then toned. `decoded` is not changed.
// Reports to `progress` under each filter's stage name (conversion_stages.h); false when it
// was cancelled, `working` then holding a partial result.
bool FilterPicture(const ConversionSettings& settings, int32_t width, int32_t height,
                   const PixelPlane& decoded, PixelPlane& working,
                   const Progress& progress = Progress());

// The passes over the picture FilterPicture makes (the sharpening or copy, each mean pass, the
// tone), to weigh its share of a conversion's progress.
int FilterPasses(const ConversionSettings& settings);

}  // namespace k3v
