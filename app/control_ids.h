#pragma once
// The identifiers of the window's controls: a command's number is the same whichever menu item,
// shortcut or button sends it.

#include "stereo/conversion_settings.h"

namespace k3v {

// Command identifiers: the menu items, buttons and boxes that send a command.
enum CommandId : int {
    kCmdLoadFirst = 100,
    kCmdPublish = 101,
    kCmdAbout = 102,
    kCmdDefaults = 104,
    kCmdExit = 108,
    kCmdK3vStereo = 147,
    kCmdStandardStereo = 148,
    kCmdHelp = 159,
    kCmdLoadSecond = 160,
    kCmdResetSharpen = 170,
    kCmdResetBrightness = 171,
    kCmdResetContrast = 172,
    kCmdResetNoise = 173,
    kCmdResetStereo = 174,
    kCmdSharpen = 186,
    kCmdBrightness = 187,
    kCmdContrast = 188,
    kCmdNoise = 189,
    kCmdDepth = 193,
    kCmdDepthList = 194,
    kCmdStillPhoto = 195,
    kCmdPanorama = 196,
    kCmdAuto = 197,
    kCmdAnaglyph = 303,
    kCmdVertical = 304,
    kCmdHorizontal = 305,
    kCmdSeparate = 306,
    kCmdKeepMetadata = 307,
    kCmdOpenSavedFile = 308,  // "Open the saved file after publishing"
    kCmdOpenRecent = 309,     // the "Open Recent" submenu
    // The "&Stereo" menu.
    kCmdColourAnaglyph = 320,  // in AnaglyphKind's order
    kCmdHalfColourAnaglyph = 321,
    kCmdGreyAnaglyph = 322,
    kCmdDuboisAnaglyph = 323,
    kCmdRedCyanGlasses = 330,  // in GlassesKind's order
    kCmdGreenMagentaGlasses = 331,
    kCmdAmberBlueGlasses = 332,
    kCmdSwapEyes = 340,
    kCmdHalfSize = 341,
    kCmdParallelOrder = 342,
    kCmdLoadDepthMap = 350,
    kCmdClearDepthMap = 351,
    kCmdInvertDepthMap = 352,
    kCmdWrapAround = 353,
    kCmdFullSize = 360,
    kCmdAlignPair = 370,     // "Align the pair"
    kCmdStereoWindow = 371,  // "Stereo window at the nearest point"
};

// The "&Stereo" menu's item for an anaglyph method or a pair of glasses.
constexpr int AnaglyphCommand(AnaglyphKind method) {
    return kCmdColourAnaglyph + int(method);
}
constexpr int GlassesCommand(GlassesKind glasses) {
    return kCmdRedCyanGlasses + int(glasses);
}
static_assert(AnaglyphCommand(AnaglyphKind::Dubois) == kCmdDuboisAnaglyph);
static_assert(GlassesCommand(GlassesKind::AmberBlue) == kCmdAmberBlueGlasses);

// Identifiers of the controls that send no command.
enum ControlId : int {
    kIdFirstPath = 103,
    kIdTitle = 105,
    kIdTitleShadow = 106,
    kIdFirstPathCaption = 135,
    kIdModeGroup = 146,
    kIdStereoGroup = 151,
    kIdBuild = 154,
    kIdPreview = 161,
    kIdSecondPathCaption = 162,
    kIdSecondPath = 163,
    kIdStereoSlider = 164,
    kIdSharpenGroup = 165,
    kIdSharpenSlider = 166,
    kIdBlendSlider = 167,
    kIdBrightnessSlider = 168,
    kIdContrastSlider = 169,
    kIdNoiseSlider = 185,
    kIdBrightnessGroup = 190,
    kIdContrastGroup = 191,
    kIdNoiseGroup = 192,
    kIdDepthMapLine = 360,  // below the strip: the depth map's path, empty without one
    kIdGlassesIcon = 361,   // beside the depth list: the glasses chosen in the Stereo menu
};

}  // namespace k3v
