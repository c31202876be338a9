#include "stereo/conversion.h"

#include "stereo/filter_chain.h"
#include "stereo/view_synthesis.h"

namespace k3v {

namespace {

bool AnyFilter(const ConversionSettings& s) {
    return (s.SharpenOn == 1 && s.SharpenLevel != 0) || (s.NoiseOn == 1 && s.NoisePasses > 0) ||
           s.BrightnessOn != 0 || s.ContrastOn != 0;
}

}  // namespace

void ConvertPlanes(const ConversionSettings& settings, StereoPlanes& planes) {
    if (planes.SourceImage1.empty()) {
        return;
    }
    const bool standard = settings.TransformationMode == kStandardStereo;
    const int32_t w = planes.SourceWidth;
    const int32_t h = planes.SourceHeight;
    // Without filters the working copies would equal the decoded pictures: the views are made
    // from those directly.
    const uint32_t* first = planes.DecodedImage1.data();
    const uint32_t* second = planes.DecodedImage2.data();
    if (AnyFilter(settings)) {
        FilterPicture(settings, w, h, planes.DecodedImage1, planes.SourceImage1);
        first = planes.SourceImage1.data();
        if (standard) {
            FilterPicture(settings, w, h, planes.DecodedImage2, planes.SourceImage2);
            second = planes.SourceImage2.data();
        }
    }
    SynthesizeViewsFrom(settings, first, second, planes);
}

}  // namespace k3v
