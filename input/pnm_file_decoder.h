#pragma once
// Binary PGM (P5) and PPM (P6) files, 8 or 16 bits a sample, read row by row straight into the
// plane; samples are scaled from the file's maximum value to 255, rounded to nearest. The text
// forms and PBM stay with Qt's reader.
//
// A file is refused for what libjpeg-turbo's PPM loader, which read these files before, refused
// it for, in that loader's words.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/progress.h"
#include "base/result.h"
#include "base/status.h"
#include "input/row_bands.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// Whether the file, from its first `got` bytes, is a binary PGM or PPM.
bool IsBinaryPnm(const unsigned char* header, size_t got);

// Width and height from a binary PGM or PPM header, without reading further; false when the
// header holds no two numbers.
bool ReadPnmSize(std::FILE* file, int64_t& width, int64_t& height);

// Progress is reported a block of rows at a time; once cancelled the decode stops with
// Status::Cancelled(). On failure the message is the reason alone (DecodePictureFile names the
// file); on failure or cancel `plane` is unchanged.
Status DecodePnmFile(std::FILE* file, PixelPlane& plane, const Progress& progress = {});

// The rows of such a file for PictureRowReader, read from their places in it in either order,
// the pixels and the checks as above. On failure the message is the reason alone.
Result<std::unique_ptr<RowBands>> OpenPnmRows(OwnedStream file, bool bottomFirst);

}  // namespace k3v
