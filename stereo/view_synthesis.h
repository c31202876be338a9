#pragma once
// Builds the two views from the filtered working pictures and, in the anaglyph layout, folds
// them into one composite in FirstView.

#include <cstdint>

#include "base/progress.h"
#include "stereo/conversion_settings.h"
#include "stereo/stereo_planes.h"

namespace k3v {

// Reads SourceImage1 (and SourceImage2 in "Standard Stereo" mode).
void SynthesizeViews(const ConversionSettings& settings, StereoPlanes& planes);

// The same from any two pictures of the planes' size (the decoded pictures themselves when no
// filter is on). In the anaglyph layout only FirstView is the result: SecondView, which is
// neither shown nor saved there, is left as scratch. Only the first SourceWidth x
// (SourceHeight + 1) pixels of the views are written, so a conversion in bands can make the
// views of windows of rows of any height in the same two planes.
//
// Reports to `progress` as the views are built (kSynthesisStage) and composed
// (kCompositionStage, conversion_stages.h); false when it was cancelled, the views then
// holding partial results.
bool SynthesizeViewsFrom(const ConversionSettings& settings, const uint32_t* first,
                         const uint32_t* second, StereoPlanes& planes,
                         const Progress& progress = Progress());

}  // namespace k3v
