#pragma once
// The conversion's pixel work: restore the working pictures from the decoded ones, sharpen,
// smooth, adjust brightness and contrast, and build the stereo pair. Every run starts again
// from DecodedImage1/2, so settings never compound across runs.

#include "base/progress.h"
#include "base/status.h"
#include "stereo/conversion_settings.h"
#include "stereo/conversion_stages.h"
#include "stereo/stereo_planes.h"

namespace k3v {

// Whether any filter (sharpen, noise, brightness, contrast) changes the picture.
bool AnyFilter(const ConversionSettings& s);

void ConvertPlanes(const ConversionSettings& settings, StereoPlanes& planes);

// The same pixel work, reporting each stage to `progress`: the filter passes (kSharpenStage,
// kNoiseStage, kToneStage; the filters of a picture run side by side, so their progress is one
// share told under the name of the first filter still at work), the building of the views
// (kSynthesisStage) and the anaglyph composition (kCompositionStage), each a part() of the
// whole, ending at exactly 1. progress.cancelled() is polled between bands of rows; when it is
// set the work stops and Status::Cancelled() is returned: FirstView/SecondView/SourceImage1/2
// may then hold partial results (the caller treats the views as stale), DecodedImage1/2 and
// DepthMap are never changed.
Status ConvertPlanes(const ConversionSettings& settings, StereoPlanes& planes,
                     const Progress& progress);

}  // namespace k3v
