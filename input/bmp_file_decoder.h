#pragma once
// Uncompressed Windows BMP files with 8 (a palette of up to 256 colours), 24 or 32 bits a
// pixel, read row by row straight into the plane. 8-bit files are read bottom-up only, as
// they always were; their top-down form, run-length encoded files, 1, 4 and 16 bits, OS/2 1.x
// headers and 32-bit files with a longer header (which may declare an alpha mask) stay with
// Qt's reader.
//
// A file is refused for what libjpeg-turbo's BMP loader, which read these files before, refused
// it for, in that loader's words.

#include <cstddef>
#include <cstdio>
#include <memory>

#include "base/progress.h"
#include "base/result.h"
#include "base/status.h"
#include "input/row_bands.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// Whether the file, from its first `got` bytes (34 hold a BMP's header up to its compression
// field), is a layout this decoder reads.
bool BmpDecoderReads(const unsigned char* header, size_t got);

// Progress is reported a block of rows at a time; once cancelled the decode stops with
// Status::Cancelled(). On failure the message is the reason alone (DecodePictureFile names the
// file); on failure or cancel `plane` is unchanged.
Status DecodeBmpFile(std::FILE* file, PixelPlane& plane, const Progress& progress = {});

// The rows of such a file for PictureRowReader, read from their places in it in either order,
// the pixels and the checks as above. On failure the message is the reason alone.
Result<std::unique_ptr<RowBands>> OpenBmpRows(OwnedStream file, bool bottomFirst);

}  // namespace k3v
