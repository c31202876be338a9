#pragma once
// The program's encoder (jpeg_encoder.h) as the tests call it: files collected in memory, and
// bitmaps handed over through BitmapRows (jpeg_test_encoding.h).

#include <string>
#include <vector>

#include "output/jpeg/jpeg_encoder.h"
#include "tests/support/jpeg_test_encoding.h"

namespace k3v::jpeg::testing {

// Whatever the encoder sent, also after a failure.
inline Status EncodeRows(const JpegRows& rows, int32_t quality, std::vector<uint8_t>& file) {
    file.clear();
    return k3v::testing::EncodeJpeg(rows, quality, [&file](const uint8_t* bytes, size_t count) {
        file.insert(file.end(), bytes, bytes + count);
    });
}

inline Status EncodeBitmap(const uint8_t* pixels, int32_t width, int32_t height,
                           int32_t bitsPerPixel, int32_t quality, std::vector<uint8_t>& file) {
    file.clear();
    JpegRows rows;
    if (Status status = k3v::testing::BitmapRows(pixels, width, height, bitsPerPixel, rows);
        !status.ok()) {
        return status;
    }
    return EncodeRows(rows, quality, file);
}

inline Status WriteBitmap(const std::string& path, const uint8_t* pixels, int32_t width,
                          int32_t height, int32_t bitsPerPixel, int32_t quality) {
    JpegRows rows;
    if (Status status = k3v::testing::BitmapRows(pixels, width, height, bitsPerPixel, rows);
        !status.ok()) {
        return status;
    }
    return JPEGMAIN(path, rows, quality);
}

}  // namespace k3v::jpeg::testing
