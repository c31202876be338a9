#pragma once
// JPEG files through libjpeg-turbo: decoded straight into the plane's rows, bottom row first.
// Any warning from the decoder (a truncated file, corrupt data) refuses the file instead of
// handing on a grey-filled picture.

#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/progress.h"
#include "base/result.h"
#include "base/status.h"
#include "input/row_bands.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// On failure the message is the decoder's own reason alone (DecodePictureFile names the file),
// and `plane` is unchanged.
// A large picture in one scan is decoded by two readers of the file at once, each filling its
// own rows. Progress is reported a band of rows at a time (for a file of many scans, first as
// its scans are read in); once cancelled the decode stops with Status::Cancelled().
Status DecodeJpegFile(std::FILE* file, PixelPlane& plane, const Progress& progress = {});

// The rows of a file in one scan whose EXIF orientation keeps it as stored, top row first, for
// PictureRowReader, read through `file` by one reader with the settings above; null when the
// file is to be decoded whole (a file of many scans, or one to be turned upright). On failure
// the message is the decoder's reason alone.
Result<std::unique_ptr<RowBands>> OpenJpegRows(OwnedStream file);

// The same with the second reader taking the rows from `secondReaderRow` (counted from the
// top) on, whatever the picture's size; for tests.
Status DecodeJpegFileInTwo(std::FILE* file, PixelPlane& plane, int32_t secondReaderRow);

}  // namespace k3v
