#pragma once
// PNG files through libpng: every colour type and depth expanded to 8-bit BGRA straight into
// the plane's rows (16-bit samples rounded to nearest), transparent pixels then composited
// over black. Any libpng error refuses the file with libpng's own text; an EXIF orientation
// (eXIf chunk) is honoured.

#include <cstdio>
#include <memory>

#include "base/progress.h"
#include "base/result.h"
#include "base/status.h"
#include "input/row_bands.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// Reads `file` from its position. Progress is reported a band of rows at a time; once
// cancelled the decode stops with Status::Cancelled(). On failure the message is the reason
// alone (DecodePictureFile names the file); on failure or cancel `plane` is unchanged.
Status DecodePngFile(std::FILE* file, PixelPlane& plane, const Progress& progress = {});

// The rows of a file stored without interlacing and upright, top row first, for
// PictureRowReader, the pixels as above; null when the file is to be decoded whole (interlaced,
// or turned by an eXIf chunk before its pixels). One after them fails the last band. On
// failure the message is libpng's reason alone.
Result<std::unique_ptr<RowBands>> OpenPngRows(OwnedStream file);

}  // namespace k3v
