#pragma once
// TIFF files through libtiff: the first page, striped or tiled, decoded a strip (or a row of
// tiles) at a time straight into the plane, so no second copy of the picture is ever held.
// 8- and 16-bit grey, RGB and palette pictures, with or without alpha, are converted here;
// every other kind libtiff knows (CMYK, YCbCr, bilevel, separate planes, ...) goes through
// libtiff's RGBA interface a strip at a time. The orientation tag is honoured, and libtiff's
// own error text is the reason a file is refused.

#include <memory>
#include <string>

#include "base/progress.h"
#include "base/result.h"
#include "base/status.h"
#include "input/picture_file.h"
#include "input/row_bands.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// Reads the open file `fd` by position (its shared position stays where it was), on every
// decoding thread; `path` names it in libtiff's messages. Reports progress a band of rows (or
// a row of tiles) at a time and stops with Status::Cancelled() once cancelled. On failure the
// message is the reason alone (DecodePictureFile names the file); on failure or cancel `plane`
// is unchanged.
Status DecodeTiffFile(int fd, const std::string& path, PixelPlane& plane,
                      const Progress& progress = {});

// The rows of the open file `fd`'s first page for PictureRowReader, top or bottom row first,
// a row (or, bottom row first, a strip) or a row of tiles decoded at a time; null when the page
// is of a kind only decoded whole: turned by its orientation tag, or read through libtiff's
// RGBA interface. On failure the message is the reason alone.
Result<std::unique_ptr<RowBands>> OpenTiffRows(int fd, const std::string& path, bool bottomFirst);

// The same for the file `path` names, opened here; for the fuzz target.
Status DecodeTiffFile(const std::string& path, PixelPlane& plane);

// The size in the first directory of the open file `fd`, read by libtiff; fails, naming
// `path`, when it cannot be told.
Result<PictureSize> PeekTiffSize(int fd, const std::string& path);

}  // namespace k3v
