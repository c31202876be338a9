#pragma once
// What the 1000 x 300 preview shows: before the first conversion "Main Window" on dark grey;
// afterwards the stereo image of the current layout, scaled with area averaging, and the size
// text " Image size: WxH " in white on grey at (10, 10).

#include <QImage>

#include "stereo/conversion_settings.h"
#include "stereo/stereo_planes.h"

namespace k3v {

QImage RenderStartPreview();
// The start's black placeholder is no picture of the user's: its size is left out.
enum class SizeText { Shown, Hidden };
QImage RenderPreview(const ConversionSettings& settings, const StereoPlanes& planes,
                     SizeText sizeText = SizeText::Shown);

// A plane's W x H picture, top row first (planes keep the bottom row first), scaled to `size`.
QImage ScaledPlanePicture(const PixelPlane& plane, QSize size);

}  // namespace k3v
