#pragma once
// The program's JPEG encoder as the tests, the fuzz target and the benchmark drive it: a
// bitmap held in memory handed over as rows, and a file encoded into a sink of the caller's
// with no path to name in a message. The programs themselves only ever save to a file
// (jpeg_encoder.h).

#include <cstdint>

#include "base/progress.h"
#include "base/status.h"
#include "output/jpeg/jpeg_encoder.h"

namespace k3v::testing {

// The rows of a bitmap of width x height pixels held in memory: rows bottom row first, each
// padded to whole 32-bit words, of `bitsPerPixel` 16 (one little-endian word 0RRRRRGGGGGBBBBB;
// each 5-bit value v becomes (v << 3) | (v >> 2), so 31 gives 255), 24 (blue, green, red) or
// 32 (blue, green, red, unused byte); 0 means 32. `pixels` must outlive `rows`.
Status BitmapRows(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel,
                  JpegRows& rows);

// Encodes the picture as EncodeJpegFile does, with failures worded "Cannot encode the picture
// as JPEG: ...". After a failure or a cancel the sink may have had the start of a file.
Status EncodeJpeg(const JpegRows& rows, int32_t quality, const JpegSink& sink,
                  const Progress& progress = {});

}  // namespace k3v::testing
