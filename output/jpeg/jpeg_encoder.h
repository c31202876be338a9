#pragma once
// The program's own baseline JPEG encoder (sequential DCT, optimised Huffman tables, 4:4:4).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"

namespace k3v {

// Encodes a bottom-up bitmap (rows bottom row first, each row padded to whole 32-bit words) of
// width x height pixels with `bitsPerPixel` 16, 24 or 32 (0 means 32) into a JFIF file in
// memory. Quality 50..100 is used as it is; any other value means 75.
Status EncodeJpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel,
                  int32_t quality, std::vector<uint8_t>& file);

// Encodes and writes the file safely: a failure leaves any existing file untouched.
Status JPEGMAIN(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height,
                int32_t bitsPerPixel, int32_t quality);

// A picture handed over row by row, so that it need not be one block of memory:
// readRow(y, out) writes the `width` pixels of stored row y (0 is the bottom row, as in a
// bitmap) to out[0 .. width - 1] as 32-bit words, blue in the low byte, then green, then red
// (the high byte is ignored). It is called from several threads at once, for different rows.
struct JpegRows {
    int32_t width = 0;
    int32_t height = 0;
    std::function<void(int32_t y, uint32_t* out)> readRow;
};

// The same file as for the bitmap with these rows. The rows are read as the first of two
// passes goes (and again in the second only for bands whose symbols exceeded the memory
// limit of streaming_encoder.h); the file is written as it is coded, on both cores.
Status EncodeJpeg(const JpegRows& rows, int32_t quality, std::vector<uint8_t>& file);
Status JPEGMAIN(const std::string& path, const JpegRows& rows, int32_t quality);

// The straightforward encoder the fast one is checked against: the whole picture transformed
// into coefficient planes one block at a time with the scalar functions, then counted, then
// coded into memory. Same arguments and bytes as EncodeJpeg.
Status EncodeJpegReference(const uint8_t* pixels, int32_t width, int32_t height,
                           int32_t bitsPerPixel, int32_t quality, std::vector<uint8_t>& file);

}  // namespace k3v
