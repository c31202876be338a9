#pragma once
// Builds the two views from the filtered working pictures and, in the anaglyph layout, folds
// them into one composite in FirstView.

#include "stereo/conversion_settings.h"
#include "stereo/stereo_planes.h"

namespace k3v {

void SynthesizeViews(const ConversionSettings& settings, StereoPlanes& planes);

}  // namespace k3v
