#pragma once
// A photo's EXIF orientation (tag 0x0112): how the stored pixels must be turned to show the
// picture upright, as every current viewer shows it.

#include <cstddef>
#include <cstdint>

#include "base/status.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// The orientation 1..8 from the body of an APP1 segment ("Exif\0\0" and a TIFF block);
// 1 (upright) when there is none or the block is damaged.
int ExifOrientation(const uint8_t* app1, size_t length);

// Turns `plane` upright for orientation 2..8 (mirrors and quarter turns; 5..8 swap width and
// height). Needs a second plane of the same size; on failure `plane` is unchanged.
Status ApplyOrientation(PixelPlane& plane, int orientation);

// A decoder's last step: `decoded` turned upright becomes `plane`; on failure `plane` is
// unchanged.
Status InstallUpright(PixelPlane&& decoded, int orientation, PixelPlane& plane);

}  // namespace k3v
