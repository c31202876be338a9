#include "app/setting_controls.h"

namespace k3v {

int32_t ConversionSettings::*FlagOf(int id) {
    switch (id) {
        case kCmdDepth:
            return &ConversionSettings::DepthOn;
        case kCmdSharpen:
            return &ConversionSettings::SharpenOn;
        case kCmdBrightness:
            return &ConversionSettings::BrightnessOn;
        case kCmdContrast:
            return &ConversionSettings::ContrastOn;
        default:
            return &ConversionSettings::NoiseOn;
    }
}

int SliderSetting(const ConversionSettings& settings, int id) {
    switch (id) {
        case kIdStereoSlider:
            return settings.StereoEffect;
        case kIdSharpenSlider:
            return settings.SharpenLevel;
        case kIdBlendSlider:
            return settings.SharpenBlend;
        case kIdBrightnessSlider:
            return settings.Brightness;
        case kIdContrastSlider:
            return settings.Contrast;
        default:
            return settings.NoisePasses;
    }
}

void SetSliderSetting(ConversionSettings& settings, int id, int value) {
    switch (id) {
        case kIdStereoSlider:
            settings.StereoEffect = static_cast<int16_t>(value);
            break;
        case kIdSharpenSlider:
            settings.SharpenLevel = value;
            break;
        case kIdBlendSlider:
            settings.SharpenBlend = value;
            break;
        case kIdBrightnessSlider:
            settings.Brightness = value;
            break;
        case kIdContrastSlider:
            settings.Contrast = value;
            break;
        default:
            settings.NoisePasses = value;
            break;
    }
}

SettingRange SliderRange(int id) {
    switch (id) {
        case kIdStereoSlider:
            return kStereoEffectRange;
        case kIdSharpenSlider:
            return kSharpenLevelRange;
        case kIdBlendSlider:
            return kSharpenBlendRange;
        case kIdBrightnessSlider:
            return kBrightnessRange;
        case kIdContrastSlider:
            return kContrastRange;
        default:
            return kNoisePassesRange;
    }
}

const char* GlassesPicture(GlassesKind glasses) {
    switch (glasses) {
        case GlassesKind::GreenMagenta:
            return ":/k3v/glasses_green_magenta";
        case GlassesKind::AmberBlue:
            return ":/k3v/glasses_amber_blue";
        default:
            return ":/k3v/glasses";
    }
}

}  // namespace k3v
