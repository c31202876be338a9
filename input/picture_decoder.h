#pragma once
// Decodes a picture file into a pixel plane: byte 0 blue, byte 1 green, byte 2 red, byte 3
// zero, row 0 the bottom row. Transparent pixels are composited over black, a photo's EXIF
// orientation is applied, a multi-page file gives its first page. The file's first bytes,
// not its name, choose the decoder: JPEG, PNG and TIFF (BigTIFF too) go through libjpeg-turbo,
// libpng and libtiff directly (so a damaged file is refused with the library's own reason,
// not grey-filled); everything else through Qt's image readers.
//
// Both functions open the file for the one question; a load that asks both, or wants to
// report its progress, opens a PictureFile (picture_file.h) once instead.

#include <string>

#include "base/result.h"
#include "base/status.h"
#include "input/picture_file.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// On failure the message names the file and the reason, and `plane` is unchanged.
Status DecodePictureFile(const std::string& path, PixelPlane& plane);

// The picture's size from its header alone, without decoding it; fails when it cannot be told.
Result<PictureSize> PeekPictureSize(const std::string& path);

}  // namespace k3v
