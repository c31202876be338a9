#include "output/jpeg/jpeg_encoder.h"

#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>

#include "output/jpeg/streaming_encoder.h"
#include "output/safe_file_writer.h"

namespace k3v {

namespace {

using Reason = std::optional<std::string>;  // why encoding failed; empty on success

// SOF0 holds width and height in 16 bits each.
constexpr int32_t kMaxDimension = 65535;

std::string SizeText(int64_t width, int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

Reason CheckSize(int64_t width, int64_t height) {
    if (width < 1 || height < 1) {
        return "the picture has no pixels (" + SizeText(width, height) + ")";
    }
    if (width > kMaxDimension || height > kMaxDimension) {
        return "the picture is " + SizeText(width, height) +
               "; a JPEG file holds at most 65535 pixels in each direction";
    }
    return std::nullopt;
}

// Runs the streaming encoder into `sink`: the boundary where whatever it throws (in any
// thread, rethrown once all stopped) becomes a reason.
Reason Stream(const JpegRows& rows, int32_t quality, const JpegSink& sink) {
    try {
        jpeg::EncodeStreaming(rows, quality, sink);
    } catch (const std::bad_alloc&) {
        return "not enough memory to encode a picture of " + SizeText(rows.width, rows.height);
    } catch (const std::length_error&) {  // a vector asked for more than it can hold
        return "not enough memory to encode a picture of " + SizeText(rows.width, rows.height);
    } catch (const std::exception& e) {  // from the caller's rows or sink
        return std::string("the encoder stopped: ") + e.what();
    } catch (...) {
        return "the encoder stopped";
    }
    return std::nullopt;
}

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

Status EncodeJpeg(const JpegRows& rows, int32_t quality, const JpegSink& sink) {
    Reason reason = CheckSize(rows.width, rows.height);
    if (!reason) {
        reason = Stream(rows, quality, sink);
    }
    if (reason) {
        return Status::Error("Cannot encode the picture as JPEG: " + *reason);
    }
    return Status::Ok();
}

Status EncodeJpegFile(const std::string& path, const JpegRows& rows, int32_t quality,
                      const JpegSink& sink) {
    Reason reason = CheckSize(rows.width, rows.height);
    if (!reason) {
        reason = Stream(rows, quality, sink);
    }
    if (reason) {
        return CannotWrite(path, *reason);
    }
    return Status::Ok();
}

Status JPEGMAIN(const std::string& path, const JpegRows& rows, int32_t quality) {
    if (Reason reason = CheckSize(rows.width, rows.height)) {
        return CannotWrite(path, *reason);
    }
    SafeFileWriter writer;
    if (Status opened = writer.open(path); !opened.ok()) {
        return opened;
    }
    const JpegSink sink = [&writer](const uint8_t* bytes, size_t count) {
        writer.write(bytes, count);
    };
    if (Status encoded = EncodeJpegFile(path, rows, quality, sink); !encoded) {
        return encoded;
    }
    return writer.commit();
}

}  // namespace k3v
