#pragma once
// Every format other than JPEG goes through Qt's image readers (PNG, BMP, TIFF and whatever
// image plugins are installed).

#include <string>

#include "base/result.h"
#include "base/status.h"
#include "input/picture_decoder.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// On failure the message is the reader's own reason alone (DecodePictureFile names the file),
// and `plane` is unchanged.
Status DecodeWithQt(const std::string& path, PixelPlane& plane);

// The size Qt's reader finds in the header; fails when it cannot be told.
Result<PictureSize> PeekWithQt(const std::string& path);

}  // namespace k3v
