#pragma once
// The conversion's pixel work: restore the working pictures from the decoded ones, sharpen,
// smooth, adjust brightness and contrast, and build the stereo pair. Every run starts again
// from DecodedImage1/2, so settings never compound across runs.

#include "stereo/conversion_settings.h"
#include "stereo/stereo_planes.h"

namespace k3v {

void ConvertPlanes(const ConversionSettings& settings, StereoPlanes& planes);

}  // namespace k3v
