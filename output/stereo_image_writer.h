#pragma once
// Writes the stereo image to the files of an output target, as BMP, JPEG, TIFF, MPO or JPS. Used
// by the conversion job that both programs run, so both write the same bytes.

#include "base/photo_metadata.h"
#include "base/progress.h"
#include "base/status.h"
#include "output/output_target.h"
#include "stereo/stereo_planes.h"

namespace k3v {

// Writes every file of the target from planes converted with target.settings(). Each JPEG
// file (each image of an MPO) carries `metadata`; a TIFF file carries its colour profile alone,
// and a BMP file has no place for it. No file replaces its target unless all could be written;
// a failed or cancelled save leaves every target as it was and no temporary file behind.
// Progress runs over the encoding of each picture and the writing of the files.
Status WriteStereoImage(const OutputTarget& target, const StereoPlanes& planes,
                        const PhotoMetadata& metadata = {}, const Progress& progress = {});

}  // namespace k3v
