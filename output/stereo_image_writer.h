#pragma once
// Writes the current stereo image to a file, as BMP, JPEG, MPO or JPS by the file's name. Used
// by the window's "Publish 3D Pano" and by the batch tool, so both write the same bytes.

#include <string>
#include <vector>

#include "base/photo_metadata.h"
#include "base/status.h"
#include "stereo/conversion_settings.h"
#include "stereo/stereo_planes.h"

namespace k3v {

// The settings the conversion for saving `path` runs with. MPO and JPS files hold both views,
// so whatever the layout they are built as for the side-by-side pair.
ConversionSettings SettingsForSaving(const ConversionSettings& settings, const std::string& path);

// The files a save to `path` writes: `path` itself, or with separate files NAME_left.EXT and
// NAME_right.EXT for the name NAME.EXT (an MPO or JPS file is always one file).
std::vector<std::string> SavedFileNames(const std::string& path,
                                        const ConversionSettings& settings);

// Writes every file of SavedFileNames from planes converted with SettingsForSaving. When
// several files are written, none replaces its target unless all could be written. Each JPEG
// file (each image of an MPO) carries `metadata`; a BMP file has no place for it.
Status WriteStereoImage(const std::string& path, const ConversionSettings& settings,
                        const StereoPlanes& planes, int jpegQuality,
                        const PhotoMetadata& metadata = {});

}  // namespace k3v
