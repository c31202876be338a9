#pragma once
// Uncompressed BMP files (8, 24 and 32 bits, stored bottom-up) and binary PPM/PGM files
// through libjpeg-turbo's image loader (tjLoadImage), which reads them row by row into a
// bottom-up BGRX buffer; the buffer's rows are then moved into the plane. Other BMP and PNM
// layouts, which the loader does not read, stay with Qt's readers.

#include <cstddef>
#include <string>

#include "base/status.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// Whether the file, from its first `got` bytes (34 hold a BMP's header up to its compression
// field), is a layout the loader reads; when false, Qt's readers take the file as before.
bool TurboLoaderReads(const unsigned char* header, size_t got);

// On failure the message is the loader's own reason alone (DecodePictureFile names the
// file), and `plane` is unchanged.
Status DecodeWithTurboLoader(const std::string& path, PixelPlane& plane);

}  // namespace k3v
