#include "tests/support/jpeg_test_encoding.h"

#include <cstring>
#include <string>

#include "output/jpeg/encode_to_sink.h"

namespace k3v::testing {

namespace {

inline uint32_t Expand5(uint32_t v) {
    return (v << 3) | (v >> 2);
}

}  // namespace

Status BitmapRows(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel,
                  JpegRows& rows) {
    if (bitsPerPixel != 0 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
        return Status::Error("Cannot encode the picture as JPEG: pictures of " +
                             std::to_string(bitsPerPixel) +
                             " bits per pixel cannot be saved (16, 24 or 32 only)");
    }
    if (pixels == nullptr) {
        return Status::Error("Cannot encode the picture as JPEG: no pixels were given");
    }
    const int bits = bitsPerPixel == 0 ? 32 : bitsPerPixel;
    rows.width = width;
    rows.height = height;
    rows.readRow = [pixels, width, bits](int32_t y, uint32_t* out) {
        const auto count = static_cast<size_t>(width);
        const size_t stride = (count * static_cast<size_t>(bits) + 31) / 32 * 4;
        const uint8_t* row = pixels + static_cast<size_t>(y) * stride;
        switch (bits) {
            case 32:
                std::memcpy(out, row, 4 * count);
                break;
            case 24:
                for (size_t x = 0; x < count; ++x) {
                    out[x] = row[3 * x] | (uint32_t{row[3 * x + 1]} << 8) |
                             (uint32_t{row[3 * x + 2]} << 16);
                }
                break;
            default:  // 16
                for (size_t x = 0; x < count; ++x) {
                    const uint32_t word = row[2 * x] | (uint32_t{row[2 * x + 1]} << 8);
                    out[x] = Expand5(word & 31u) | (Expand5((word >> 5) & 31u) << 8) |
                             (Expand5((word >> 10) & 31u) << 16);
                }
                break;
        }
    };
    return Status::Ok();
}

Status EncodeJpeg(const JpegRows& rows, int32_t quality, const JpegSink& sink,
                  const Progress& progress) {
    return jpeg::EncodeToSink(rows, quality, sink, progress, [](const std::string& reason) {
        return Status::Error("Cannot encode the picture as JPEG: " + reason);
    });
}

}  // namespace k3v::testing
