#pragma once
// JPEG files through libjpeg-turbo: decoded straight into the plane's rows, bottom row first.
// Any warning from the decoder (a truncated file, corrupt data) refuses the file instead of
// handing on a grey-filled picture.

#include <cstdio>

#include "base/status.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// On failure the message is the decoder's own reason alone (DecodePictureFile names the file),
// and `plane` is unchanged.
Status DecodeJpegFile(std::FILE* file, PixelPlane& plane);

}  // namespace k3v
