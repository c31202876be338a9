#pragma once
// Every format other than JPEG goes through Qt's image readers (PNG, BMP, TIFF and whatever
// image plugins are installed).

#include <string>

#include "stereo/pixel_plane.h"

namespace k3v {

// `reason` receives the reader's own error text on failure.
bool DecodeWithQt(const std::string& path, PixelPlane& plane, std::string& reason);

}  // namespace k3v
