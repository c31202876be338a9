#include "stereo/conversion.h"

#include "stereo/filter_chain.h"
#include "stereo/view_synthesis.h"

namespace k3v {

bool AnyFilter(const ConversionSettings& s) {
    return (s.SharpenOn == 1 && s.SharpenLevel != 0) || (s.NoiseOn == 1 && s.NoisePasses > 0) ||
           s.BrightnessOn != 0 || s.ContrastOn != 0;
}

namespace {

// The views take about as long as two filter passes over one picture.
constexpr double kViewPasses = 2.0;

}  // namespace

void ConvertPlanes(const ConversionSettings& settings, StereoPlanes& planes) {
    (void)ConvertPlanes(settings, planes, Progress());
}

Status ConvertPlanes(const ConversionSettings& settings, StereoPlanes& planes,
                     const Progress& progress) {
    if (planes.SourceImage1.empty()) {
        progress.report(1.0);
        return Status::Ok();
    }
    const bool standard = settings.TransformationMode == kStandardStereo;
    const int32_t w = planes.SourceWidth;
    const int32_t h = planes.SourceHeight;
    // Without filters the working copies would equal the decoded pictures: the views are made
    // from those directly.
    const uint32_t* first = planes.DecodedImage1.data();
    const uint32_t* second = planes.DecodedImage2.data();
    double viewsFrom = 0.0;
    if (AnyFilter(settings)) {
        const double pictures = standard ? 2.0 : 1.0;
        const double filterPasses = pictures * double(FilterPasses(settings));
        viewsFrom = filterPasses / (filterPasses + kViewPasses);
        const double firstTo = viewsFrom / pictures;
        if (!FilterPicture(settings, w, h, planes.DecodedImage1, planes.SourceImage1,
                           progress.part(0, firstTo))) {
            return Status::Cancelled();
        }
        first = planes.SourceImage1.data();
        if (standard) {
            if (!FilterPicture(settings, w, h, planes.DecodedImage2, planes.SourceImage2,
                               progress.part(firstTo, viewsFrom))) {
                return Status::Cancelled();
            }
            second = planes.SourceImage2.data();
        }
    }
    if (!SynthesizeViewsFrom(settings, first, second, planes, progress.part(viewsFrom, 1))) {
        return Status::Cancelled();
    }
    return Status::Ok();
}

}  // namespace k3v
