#include "tests/stereo/reference_engine.h"

namespace k3v::reference {

void ConvertPlanes(const ConversionSettings& settings, StereoPlanes& planes) {
    if (planes.SourceImage1.empty()) {
        return;
    }
    const bool standard = settings.TransformationMode == kStandardStereo;
    const int32_t w = planes.SourceWidth;
    const int32_t h = planes.SourceHeight;

    planes.SourceImage1.copyFrom(planes.DecodedImage1);
    if (standard) {
        planes.SourceImage2.copyFrom(planes.DecodedImage2);
    }
    // The view planes serve as scratch here; the synthesis overwrites them afterwards.
    if (settings.SharpenOn == 1) {
        SharpenPicture(w, h, planes.SourceImage1.data(), planes.FirstView.data(),
                       settings.SharpenLevel, settings.SharpenBlend);
        if (standard) {
            SharpenPicture(w, h, planes.SourceImage2.data(), planes.SecondView.data(),
                           settings.SharpenLevel, settings.SharpenBlend);
        }
    }
    // Each pass works on the previous pass's result. In "K3V Stereo" mode nothing reads the
    // second picture, so it is not smoothed.
    if (settings.NoiseOn == 1) {
        for (int32_t pass = 0; pass < settings.NoisePasses; ++pass) {
            SmoothNoise(w, h, planes.SourceImage1.data());
            if (standard) {
                SmoothNoise(w, h, planes.SourceImage2.data());
            }
        }
    }
    AdjustBrightnessContrast(planes.PixelCount(), planes.SourceImage1.data(), settings);
    if (standard) {
        AdjustBrightnessContrast(planes.PixelCount(), planes.SourceImage2.data(), settings);
    }
    SynthesizeViews(settings, planes);
}

}  // namespace k3v::reference
