#include "output/jpeg/jpeg_encoder.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "output/jpeg/entropy_coder.h"
#include "output/jpeg/huffman.h"
#include "output/jpeg/picture_transform.h"
#include "output/jpeg/segments.h"
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

Reason CheckArguments(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel) {
    if (width < 1 || height < 1) {
        return "the picture has no pixels (" + SizeText(width, height) + ")";
    }
    if (width > kMaxDimension || height > kMaxDimension) {
        return "the picture is " + SizeText(width, height) +
               "; a JPEG file holds at most 65535 pixels in each direction";
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

Reason Encode(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel,
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

}  // namespace

Status EncodeJpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel,
                  int32_t quality, std::vector<uint8_t>& file) {
    if (Reason reason = Encode(pixels, width, height, bitsPerPixel, quality, file)) {
        return Status::Error("Cannot encode the picture as JPEG: " + *reason);
    }
    return Status::Ok();
}

Status JPEGMAIN(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height,
                int32_t bitsPerPixel, int32_t quality) {
    std::vector<uint8_t> file;
    if (Reason reason = Encode(pixels, width, height, bitsPerPixel, quality, file)) {
        return Status::Error("Cannot write \"" + path + "\": " + *reason);
    }
    return WriteFileSafely(path, file);
}

}  // namespace k3v
