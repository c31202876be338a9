#pragma once
// JPEG files through libjpeg-turbo: decoded straight into the plane's rows, bottom row first.
// Any warning from the decoder (a truncated file, corrupt data) refuses the file instead of
// handing on a grey-filled picture.

#include <cstdint>
#include <cstdio>

#include "base/progress.h"
#include "base/status.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// On failure the message is the decoder's own reason alone (DecodePictureFile names the file),
// and `plane` is unchanged.
// A large picture in one scan is decoded by two readers of the file at once, each filling its
// own rows. Progress is reported a band of rows at a time (for a file of many scans, first as
// its scans are read in); once cancelled the decode stops with Status::Cancelled().
Status DecodeJpegFile(std::FILE* file, PixelPlane& plane, const Progress& progress = {});

// The same with the second reader taking the rows from `secondReaderRow` (counted from the
// top) on, whatever the picture's size; for tests.
Status DecodeJpegFileInTwo(std::FILE* file, PixelPlane& plane, int32_t secondReaderRow);

}  // namespace k3v
