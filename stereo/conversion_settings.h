#pragma once
// Every choice that shapes a conversion, with the program's start values. Nothing is restored
// from a file: every start, and every batch run without options, begins from these.

#include <cstdint>

namespace k3v {

enum TransformationModeValue : int32_t { kK3vStereo = 0, kStandardStereo = 1 };
enum StereoLayoutValue : int32_t {
    kAnaglyph = 0,
    kSideBySideVertical = 1,
    kSideBySideHorizontal = 2,
    kSeparateFiles = 3  // the two views as two files
};
enum SourceKindValue : int32_t { kPanorama = 0, kStillPhoto = 1 };
// How an anaglyph puts the two views into one picture (anaglyph_methods.h has the rules).
enum class AnaglyphKind { Colour, HalfColour, Grey, Dubois };
// The glasses an anaglyph is made for, named by the left eye's colour first.
enum class GlassesKind { RedCyan, GreenMagenta, AmberBlue };
// Which eye's view a side-by-side horizontal picture shows on the left: the right eye's in the
// cross-eyed order, the left eye's in the parallel order that 3D TVs expect.
enum class EyeOrder { Cross, Parallel };

struct ConversionSettings {
    int32_t TransformationMode = kK3vStereo;
    int32_t StereoLayout = kAnaglyph;
    int32_t SourceKind = kPanorama;

    int16_t StereoEffect = 3;  // -10..10; the anaglyph's red channel moves by 6 * StereoEffect
    int32_t DepthOn = 0;
    int32_t DepthValue = 30;  // the number read from the depth list ("20" .. "90")
    int32_t SharpenOn = 0;
    int32_t SharpenLevel = 1;  // 0..5
    int32_t SharpenBlend = 3;  // 0..3
    int32_t BrightnessOn = 0;
    int32_t Brightness = 127;  // 1..255
    int32_t ContrastOn = 0;
    int32_t Contrast = 127;  // 0..255
    int32_t NoiseOn = 0;
    int32_t NoisePasses = 1;  // 1..5

    // Stereo output. The left-eye view is SecondView (red/cyan glasses put red over the left
    // eye, and the anaglyph's red comes from SecondView), the right-eye view FirstView.
    AnaglyphKind AnaglyphMethod = AnaglyphKind::Colour;
    GlassesKind Glasses = GlassesKind::RedCyan;
    bool SwapEyes = false;  // the views are exchanged before anything is composed or saved
    bool HalfSize = false;  // side-by-side views halved along the layout's axis
    // The horizontal layout's order only; every other output keeps its own (an MPO is left
    // eye first, a JPS cross-eyed, a vertical pair left eye on top).
    EyeOrder PairOrder = EyeOrder::Cross;

    // Depth from a depth map (when one is loaded) instead of the colours; inverted: 255 - m.
    bool InvertDepthMap = false;
    // A 360-degree panorama: every row is a closed loop for the displacement and the
    // anaglyph's shift.
    bool WrapAround = false;

    bool operator==(const ConversionSettings&) const = default;
};

// Whether the horizontal picture, saved or previewed, shows the left eye's view (SecondView)
// on the left.
inline bool LeftEyeOnTheLeft(const ConversionSettings& settings) {
    return settings.StereoLayout == kSideBySideHorizontal &&
           settings.PairOrder == EyeOrder::Parallel;
}

// Slider ranges, shared by the window's sliders and the batch tool's option checks.
struct SettingRange {
    int32_t min;
    int32_t max;
};
inline constexpr SettingRange kStereoEffectRange{-10, 10};
inline constexpr SettingRange kSharpenLevelRange{0, 5};
inline constexpr SettingRange kSharpenBlendRange{0, 3};
inline constexpr SettingRange kBrightnessRange{1, 255};
inline constexpr SettingRange kContrastRange{0, 255};
inline constexpr SettingRange kNoisePassesRange{1, 5};

}  // namespace k3v
