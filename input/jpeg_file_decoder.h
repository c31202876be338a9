#pragma once
// JPEG files through libjpeg-turbo: decoded straight into the plane's rows, bottom row first.
// Any warning from the decoder (a truncated file, corrupt data) refuses the file instead of
// handing on a grey-filled picture.

#include <cstdio>
#include <string>

#include "base/status.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// `reason` receives the decoder's own error text on failure.
bool DecodeJpegFile(std::FILE* file, PixelPlane& plane, std::string& reason);

}  // namespace k3v
