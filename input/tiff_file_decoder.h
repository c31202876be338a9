#pragma once
// TIFF files through libtiff: the first page, striped or tiled, decoded a strip (or a row of
// tiles) at a time straight into the plane, so no second copy of the picture is ever held.
// 8- and 16-bit grey, RGB and palette pictures, with or without alpha, are converted here;
// every other kind libtiff knows (CMYK, YCbCr, bilevel, separate planes, ...) goes through
// libtiff's RGBA interface a strip at a time. The orientation tag is honoured, and libtiff's
// own error text is the reason a file is refused.

#include <string>

#include "base/result.h"
#include "base/status.h"
#include "input/picture_decoder.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// On failure the message is the reason alone (DecodePictureFile names the file), and `plane`
// is unchanged.
Status DecodeTiffFile(const std::string& path, PixelPlane& plane);

// The size in the first directory, read by libtiff; fails when it cannot be told.
Result<PictureSize> PeekTiffSize(const std::string& path);

}  // namespace k3v
