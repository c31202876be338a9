#include "output/jpeg/jpeg_encoder.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "output/jpeg/entropy_coder.h"
#include "output/jpeg/huffman.h"
#include "output/jpeg/picture_transform.h"
#include "output/jpeg/segments.h"
#include "output/jpeg/streaming_encoder.h"
#include "output/safe_file_writer.h"

namespace k3v {

namespace {

using Reason = std::optional<std::string>;  // why encoding failed; empty on success

// SOF0 holds width and height in 16 bits each.
constexpr int32_t kMaxDimension = 65535;

// The maker line, CR LF, and the encoder's credit.
constexpr std::string_view kComment =
    "Quorvex Inc.\r\nBaseline JPEG encoder by the Quorvex K3V team";

std::string SizeText(int32_t width, int32_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

Reason CheckSize(int32_t width, int32_t height);

Reason CheckArguments(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel) {
    if (Reason reason = CheckSize(width, height)) {
        return reason;
    }
    if (bitsPerPixel != 0 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
        return "pictures of " + std::to_string(bitsPerPixel) +
               " bits per pixel cannot be saved (16, 24 or 32 only)";
    }
    if (pixels == nullptr) {
        return "no pixels were given";
    }
    return std::nullopt;
}

// Releases whatever was assembled and says why nothing was.
Reason OutOfMemory(int32_t width, int32_t height, std::vector<uint8_t>& file) {
    std::vector<uint8_t>().swap(file);
    return "not enough memory to encode a picture of " + SizeText(width, height);
}

// The file's segments in their fixed order, the entropy-coded data and EOI.
void AssembleFile(const jpeg::CoefficientPlanes& planes, const jpeg::QuantTables& quant,
                  const jpeg::EntropyTables& entropy, int32_t width, int32_t height,
                  std::vector<uint8_t>& file) {
    // Headers, comment and stuffed bytes fit the margin of this first guess in practice; the
    // scan writer grows the buffer anyway whenever it would not.
    const double expected =
        std::nearbyint(1.3 * static_cast<double>(entropy.estimatedBytes) + 1000.0) + 1.0;
    file.reserve(static_cast<size_t>(expected));
    jpeg::WriteSoi(file);
    jpeg::WriteApp0(file);
    jpeg::WriteComment(file, kComment);
    jpeg::WriteDqt(file, 0, quant.luma);
    jpeg::WriteDqt(file, 1, quant.chroma);
    jpeg::WriteSof0(file, static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    jpeg::WriteDht(file, 0, 0, entropy.dc[0]);
    jpeg::WriteDht(file, 1, 0, entropy.ac[0]);
    jpeg::WriteDht(file, 0, 1, entropy.dc[1]);
    jpeg::WriteDht(file, 1, 1, entropy.ac[1]);
    jpeg::WriteSos(file);
    jpeg::EncodeScan(planes, entropy, file);
    jpeg::WriteEoi(file);
}

Reason EncodeWhole(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel,
                   int32_t quality, std::vector<uint8_t>& file) {
    file.clear();
    if (Reason reason = CheckArguments(pixels, width, height, bitsPerPixel)) {
        return reason;
    }
    const jpeg::DibPicture picture{pixels, static_cast<size_t>(width), static_cast<size_t>(height),
                                   bitsPerPixel == 0 ? 32 : bitsPerPixel};
    try {
        jpeg::CoefficientPlanes planes;
        planes.blocksAcross = jpeg::BlocksFor(picture.width);
        planes.blocksDown = jpeg::BlocksFor(picture.height);
        // At most 8192 x 8192 blocks: the count fits 64 bits, but check where size_t is
        // narrower.
        const uint64_t values = static_cast<uint64_t>(planes.blocksAcross) * planes.blocksDown *
                                jpeg::kComponents * jpeg::kBlockSize;
        if (values > planes.coefficients.max_size() ||
            values > std::numeric_limits<size_t>::max() / sizeof(int16_t)) {
            throw std::bad_alloc();
        }
        planes.coefficients.resize(static_cast<size_t>(values));

        const jpeg::QuantTables quant = jpeg::SetupQuantTables(quality);
        jpeg::TransformPicture(picture, quant, planes);
        const jpeg::EntropyTables entropy = jpeg::BuildHuffmanTables(planes);
        AssembleFile(planes, quant, entropy, width, height, file);
    } catch (const std::bad_alloc&) {
        return OutOfMemory(width, height, file);
    } catch (const std::length_error&) {  // a vector asked for more than it can hold
        return OutOfMemory(width, height, file);
    }
    return std::nullopt;
}

Reason CheckSize(int32_t width, int32_t height) {
    if (width < 1 || height < 1) {
        return "the picture has no pixels (" + SizeText(width, height) + ")";
    }
    if (width > kMaxDimension || height > kMaxDimension) {
        return "the picture is " + SizeText(width, height) +
               "; a JPEG file holds at most 65535 pixels in each direction";
    }
    return std::nullopt;
}

inline uint32_t Expand5(uint32_t v) {
    return (v << 3) | (v >> 2);
}

// The bitmap's rows as the streaming encoder reads them, top row first.
jpeg::RowSource DibRows(const uint8_t* pixels, int32_t width, int32_t height,
                        int32_t bitsPerPixel) {
    const jpeg::DibPicture dib{pixels, static_cast<size_t>(width), static_cast<size_t>(height),
                               bitsPerPixel == 0 ? 32 : bitsPerPixel};
    jpeg::RowSource rows;
    rows.width = dib.width;
    rows.height = dib.height;
    rows.readRow = [dib](size_t top, uint32_t* out) {
        const uint8_t* row = dib.pixels + (dib.height - 1 - top) * dib.Stride();
        switch (dib.bitsPerPixel) {
            case 32:
                std::memcpy(out, row, 4 * dib.width);
                break;
            case 24:
                for (size_t x = 0; x < dib.width; ++x) {
                    out[x] = row[3 * x] | (uint32_t{row[3 * x + 1]} << 8) |
                             (uint32_t{row[3 * x + 2]} << 16);
                }
                break;
            default:  // 16: 5-5-5, expanded as ReadStrip does
                for (size_t x = 0; x < dib.width; ++x) {
                    const uint32_t word = row[2 * x] | (uint32_t{row[2 * x + 1]} << 8);
                    out[x] = Expand5(word & 31u) | (Expand5((word >> 5) & 31u) << 8) |
                             (Expand5((word >> 10) & 31u) << 16);
                }
                break;
        }
    };
    return rows;
}

jpeg::RowSource StoredRows(const JpegRows& rows) {
    jpeg::RowSource source;
    source.width = static_cast<size_t>(rows.width);
    source.height = static_cast<size_t>(rows.height);
    source.readRow = [&rows](size_t top, uint32_t* out) {
        rows.readRow(rows.height - 1 - static_cast<int32_t>(top), out);
    };
    return source;
}

// Runs the streaming encoder into `sink`; the reason if memory ran out.
Reason Stream(const jpeg::RowSource& rows, int32_t quality, const jpeg::ByteSink& sink) {
    const auto width = static_cast<int32_t>(rows.width);
    const auto height = static_cast<int32_t>(rows.height);
    try {
        jpeg::EncodeStreaming(rows, quality, kComment, sink);
    } catch (const std::bad_alloc&) {
        return "not enough memory to encode a picture of " + SizeText(width, height);
    } catch (const std::length_error&) {
        return "not enough memory to encode a picture of " + SizeText(width, height);
    }
    return std::nullopt;
}

Reason StreamToMemory(const jpeg::RowSource& rows, int32_t quality, std::vector<uint8_t>& file) {
    file.clear();
    Reason reason = Stream(rows, quality, [&file](const uint8_t* bytes, size_t count) {
        file.insert(file.end(), bytes, bytes + count);
    });
    if (reason) {
        std::vector<uint8_t>().swap(file);
    }
    return reason;
}

Status StreamToFile(const std::string& path, const jpeg::RowSource& rows, int32_t quality) {
    SafeFileWriter writer;
    if (Status opened = writer.open(path); !opened.ok()) {
        return opened;
    }
    if (Reason reason = Stream(rows, quality, [&writer](const uint8_t* bytes, size_t count) {
            writer.write(bytes, count);
        })) {
        return Status::Error("Cannot write \"" + path + "\": " + *reason);
    }
    return writer.commit();
}

}  // namespace

Status EncodeJpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel,
                  int32_t quality, std::vector<uint8_t>& file) {
    file.clear();
    if (Reason reason = CheckArguments(pixels, width, height, bitsPerPixel)) {
        return Status::Error("Cannot encode the picture as JPEG: " + *reason);
    }
    if (Reason reason =
            StreamToMemory(DibRows(pixels, width, height, bitsPerPixel), quality, file)) {
        return Status::Error("Cannot encode the picture as JPEG: " + *reason);
    }
    return Status::Ok();
}

Status JPEGMAIN(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height,
                int32_t bitsPerPixel, int32_t quality) {
    if (Reason reason = CheckArguments(pixels, width, height, bitsPerPixel)) {
        return Status::Error("Cannot write \"" + path + "\": " + *reason);
    }
    return StreamToFile(path, DibRows(pixels, width, height, bitsPerPixel), quality);
}

Status EncodeJpeg(const JpegRows& rows, int32_t quality, std::vector<uint8_t>& file) {
    file.clear();
    if (Reason reason = CheckSize(rows.width, rows.height)) {
        return Status::Error("Cannot encode the picture as JPEG: " + *reason);
    }
    if (Reason reason = StreamToMemory(StoredRows(rows), quality, file)) {
        return Status::Error("Cannot encode the picture as JPEG: " + *reason);
    }
    return Status::Ok();
}

Status JPEGMAIN(const std::string& path, const JpegRows& rows, int32_t quality) {
    if (Reason reason = CheckSize(rows.width, rows.height)) {
        return Status::Error("Cannot write \"" + path + "\": " + *reason);
    }
    return StreamToFile(path, StoredRows(rows), quality);
}

Status EncodeJpegReference(const uint8_t* pixels, int32_t width, int32_t height,
                           int32_t bitsPerPixel, int32_t quality, std::vector<uint8_t>& file) {
    if (Reason reason = EncodeWhole(pixels, width, height, bitsPerPixel, quality, file)) {
        return Status::Error("Cannot encode the picture as JPEG: " + *reason);
    }
    return Status::Ok();
}

}  // namespace k3v
