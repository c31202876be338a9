#pragma once
// The program's own baseline JPEG encoder (sequential DCT, optimised Huffman tables, 4:4:4):
// all that a save needs. The picture is read row by row as the encoder goes, never held whole,
// and the file leaves in order as it is coded, never assembled in memory (streaming_encoder.h
// says how). Every failure, running out of memory included, comes back as a Status; no
// exception leaves these functions.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "base/progress.h"
#include "base/status.h"

namespace k3v {

// A picture handed over row by row, so that it need not be one block of memory:
// readRow(y, out) writes the `width` pixels of stored row y (0 is the bottom row, as in a
// bitmap) to out[0 .. width - 1] as 32-bit words, blue in the low byte, then green, then red
// (the high byte is ignored).
//
// Each row is read exactly once, in bands of consecutive rows from the top of the picture
// (stored row height - 1) down: the bands are begun in order, and each is read top to bottom
// by one thread. Several threads read different bands at once, so rows of the next few bands
// may be asked for before a band above is done; readRow must allow calls from several threads
// for different rows.
struct JpegRows {
    int64_t width = 0;  // 64-bit so that any picture's size can be checked and named
    int64_t height = 0;
    std::function<void(int32_t y, uint32_t* out)> readRow;
};

// Receives the file's bytes in order.
using JpegSink = std::function<void(const uint8_t* bytes, size_t count)>;

// Encodes the picture (width and height 1..65535) into a JFIF file sent to `sink`, for a file
// that will be `path`: a failure is worded "Cannot write "<path>": ...". Quality 50..100 is used
// as it is; any other value means 75. Reports to `progress` as the rows are coded and stops with
// Status::Cancelled() when it is cancelled. After a failure or a cancel the sink may have had
// the start of a file.
Status EncodeJpegFile(const std::string& path, const JpegRows& rows, int32_t quality,
                      const JpegSink& sink, const Progress& progress = {});

// Ok when a picture of width x height pixels can be a JPEG file (1..65535 pixels either way);
// otherwise "Cannot write "<path>": ..." with the reason. A save refuses such a picture before it
// looks at the target.
Status CheckJpegSize(const std::string& path, int64_t width, int64_t height);

// Encodes and writes the file safely: a failure or a cancel leaves any existing file untouched
// and no temporary file behind.
Status JPEGMAIN(const std::string& path, const JpegRows& rows, int32_t quality,
                const Progress& progress = {});

}  // namespace k3v
