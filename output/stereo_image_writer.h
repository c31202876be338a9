#pragma once
// Writes the current stereo image to a file, as BMP or JPEG by the file's name. Used by the
// window's "Publish 3D Pano" and by the batch tool, so both write the same bytes.

#include <string>

#include "base/status.h"
#include "stereo/conversion_settings.h"
#include "stereo/stereo_planes.h"

namespace k3v {

Status WriteStereoImage(const std::string& path, const ConversionSettings& settings,
                        const StereoPlanes& planes, int jpegQuality);

}  // namespace k3v
