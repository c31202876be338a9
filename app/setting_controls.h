#pragma once
// Which setting each check box and slider of the window stands for.

#include <array>
#include <cstdint>

#include "app/control_ids.h"
#include "stereo/conversion_settings.h"

namespace k3v {

// The five flag check boxes: " Depth", " Sharpen", " Brightness", " Contrast", " Noise Median".
inline constexpr std::array<int, 5> kFlagIds = {kCmdDepth, kCmdSharpen, kCmdBrightness,
                                                kCmdContrast, kCmdNoise};
// The flag a check box sets.
int32_t ConversionSettings::*FlagOf(int id);

inline constexpr std::array<int, 6> kSliderIds = {kIdStereoSlider,   kIdSharpenSlider,
                                                  kIdBlendSlider,    kIdBrightnessSlider,
                                                  kIdContrastSlider, kIdNoiseSlider};
// The setting a slider shows and sets, and its range. The stereo effect keeps its sign.
int SliderSetting(const ConversionSettings& settings, int id);
void SetSliderSetting(ConversionSettings& settings, int id, int value);
SettingRange SliderRange(int id);

// The picture of the glasses beside the depth list, a Qt resource path.
const char* GlassesPicture(GlassesKind glasses);

}  // namespace k3v
