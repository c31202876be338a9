#include "tests/jpeg/reference_encoder.h"

#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "output/jpeg/bit_writer.h"
#include "output/jpeg/color_conversion.h"
#include "output/jpeg/forward_dct.h"
#include "output/jpeg/segments.h"

namespace k3v::jpeg {

namespace {

uint8_t Expand5(unsigned v) {
    return static_cast<uint8_t>((v << 3) | (v >> 2));
}

void CopyRow(const DibPicture& picture, const uint8_t* row, uint8_t* out) {
    for (size_t x = 0; x < picture.width; ++x) {
        if (picture.bitsPerPixel == 16) {
            const unsigned word = row[2 * x] | (static_cast<unsigned>(row[2 * x + 1]) << 8);
            out[3 * x] = Expand5(word & 31u);
            out[3 * x + 1] = Expand5((word >> 5) & 31u);
            out[3 * x + 2] = Expand5((word >> 10) & 31u);
        } else {
            const size_t bytes = static_cast<size_t>(picture.bitsPerPixel) / 8;
            std::memcpy(out + 3 * x, row + bytes * x, 3);
        }
    }
}

// Calls send(ac, symbol, extra, extraCount) for each symbol of one block in order: the DC
// difference's category, then for each nonzero AC coefficient its run/size symbol after one
// ZRL per 16 zeros before it, then an EOB if the block ends in zeros.
template <class Send>
void WalkBlock(const int16_t* block, int& predictor, const Send& send) {
    const int diff = block[0] - predictor;
    predictor = block[0];
    const unsigned dcCategory = Category(diff);
    send(false, dcCategory, ExtraBits(diff, dcCategory), dcCategory);
    unsigned run = 0;
    for (unsigned k = 1; k < 64; ++k) {
        if (block[k] == 0) {
            ++run;
            continue;
        }
        for (; run > 15; run -= 16) {
            send(true, kZrl, 0, 0);
        }
        const unsigned category = Category(block[k]);
        send(true, 16 * run + category, ExtraBits(block[k], category), category);
        run = 0;
    }
    if (run > 0) {
        send(true, kEob, 0, 0);
    }
}

}  // namespace

void ReadStrip(const DibPicture& picture, size_t blockRow, size_t paddedWidth, uint8_t* strip) {
    const size_t stripBytes = 3 * paddedWidth;
    for (size_t r = 0; r < 8; ++r) {
        uint8_t* out = strip + r * stripBytes;
        std::memset(out, 0, stripBytes);
        const size_t top = 8 * blockRow + r;  // picture row counted from the top
        if (top < picture.height) {
            // Rows are stored bottom-up: the top row is the last stored one.
            CopyRow(picture, picture.pixels + (picture.height - 1 - top) * picture.Stride(), out);
        }
    }
}

void TransformPicture(const DibPicture& picture, const QuantTables& tables,
                      CoefficientPlanes& planes) {
    const size_t paddedWidth = 8 * planes.blocksAcross;
    std::vector<uint8_t> strip(8 * 3 * paddedWidth);
    float y[64];
    float cb[64];
    float cr[64];
    size_t blockIndex = 0;
    for (size_t blockRow = 0; blockRow < planes.blocksDown; ++blockRow) {
        ReadStrip(picture, blockRow, paddedWidth, strip.data());
        for (size_t blockColumn = 0; blockColumn < planes.blocksAcross; ++blockColumn) {
            ConvertBlock(strip.data(), paddedWidth, blockColumn, y, cb, cr);
            ForwardDct(y);
            ForwardDct(cb);
            ForwardDct(cr);
            QuantizeBlock(y, tables.lumaNatural, planes.Block(blockIndex, kY));
            QuantizeBlock(cb, tables.chromaNatural, planes.Block(blockIndex, kCb));
            QuantizeBlock(cr, tables.chromaNatural, planes.Block(blockIndex, kCr));
            ++blockIndex;
        }
    }
}

void CountBlockSymbols(const int16_t* block, int& predictor, SymbolCounts& dc, SymbolCounts& ac) {
    WalkBlock(block, predictor,
              [&](bool isAc, unsigned symbol, uint32_t, unsigned) { ++(isAc ? ac : dc)[symbol]; });
}

PictureTables BuildHuffmanTables(const CoefficientPlanes& planes) {
    SymbolCounts dcCounts[2] = {};
    SymbolCounts acCounts[2] = {};
    int predictor[kComponents] = {0, 0, 0};
    for (size_t b = 0; b < planes.BlockCount(); ++b) {
        CountBlockSymbols(planes.Block(b, kY), predictor[kY], dcCounts[0], acCounts[0]);
        CountBlockSymbols(planes.Block(b, kCb), predictor[kCb], dcCounts[1], acCounts[1]);
        CountBlockSymbols(planes.Block(b, kCr), predictor[kCr], dcCounts[1], acCounts[1]);
    }
    PictureTables tables;
    uint64_t totalBits = 0;
    for (size_t t = 0; t < 2; ++t) {
        const SymbolCounts dc = dcCounts[t];
        const SymbolCounts ac = acCounts[t];
        tables.dc[t] = GenerateOptimalTable(dcCounts[t]);
        tables.ac[t] = GenerateOptimalTable(acCounts[t]);
        for (size_t s = 0; s < 16; ++s) {
            totalBits += dc[s] * (tables.dc[t].length[s] + s);
        }
        for (size_t s = 0; s < 256; ++s) {
            totalBits += ac[s] * (tables.ac[t].length[s] + (s & 15));
        }
    }
    tables.estimatedBytes = (totalBits + 7) / 8;
    return tables;
}

void EncodeScan(const CoefficientPlanes& planes, const EntropyTables& tables,
                std::vector<uint8_t>& out) {
    BitWriter writer(out, 1 << 16);
    int predictor[kComponents] = {0, 0, 0};
    for (size_t b = 0; b < planes.BlockCount(); ++b) {
        for (const Component c : {kY, kCb, kCr}) {
            const HuffmanTable& dc = tables.dc[c == kY ? 0 : 1];
            const HuffmanTable& ac = tables.ac[c == kY ? 0 : 1];
            WalkBlock(planes.Block(b, c), predictor[c],
                      [&](bool isAc, unsigned symbol, uint32_t extra, unsigned extraCount) {
                          const HuffmanTable& table = isAc ? ac : dc;
                          writer.EnsureRoom(BitWriter::kMaxBytesPerPut);
                          writer.Put(table.code[symbol], table.length[symbol]);
                          writer.EnsureRoom(BitWriter::kMaxBytesPerPut);
                          writer.Put(extra, extraCount);
                      });
        }
    }
    writer.Finish();
}

}  // namespace k3v::jpeg

namespace k3v {

namespace {

using Reason = std::optional<std::string>;

std::string SizeText(int32_t width, int32_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

Reason CheckArguments(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel) {
    if (width < 1 || height < 1) {
        return "the picture has no pixels (" + SizeText(width, height) + ")";
    }
    if (width > 65535 || height > 65535) {
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

void EncodeWhole(const jpeg::DibPicture& picture, int32_t quality, std::vector<uint8_t>& file) {
    jpeg::CoefficientPlanes planes;
    planes.blocksAcross = jpeg::BlocksFor(picture.width);
    planes.blocksDown = jpeg::BlocksFor(picture.height);
    // At most 8192 x 8192 blocks: the count fits 64 bits, but check where size_t is narrower.
    const uint64_t values = static_cast<uint64_t>(planes.blocksAcross) * planes.blocksDown *
                            jpeg::kComponents * jpeg::kBlockSize;
    if (values > planes.coefficients.max_size() ||
        values > std::numeric_limits<size_t>::max() / sizeof(int16_t)) {
        throw std::bad_alloc();
    }
    planes.coefficients.resize(static_cast<size_t>(values));

    const jpeg::QuantTables quant = jpeg::SetupQuantTables(quality);
    jpeg::TransformPicture(picture, quant, planes);
    const jpeg::PictureTables tables = jpeg::BuildHuffmanTables(planes);
    // Stuffed bytes and headers come on top of the estimate; a third more covers them.
    file.reserve(static_cast<size_t>(tables.estimatedBytes + tables.estimatedBytes / 3 + 1024));
    jpeg::WriteHeaders(file, quant, tables, static_cast<uint16_t>(picture.width),
                       static_cast<uint16_t>(picture.height));
    jpeg::EncodeScan(planes, tables, file);
    jpeg::WriteEoi(file);
}

}  // namespace

Status EncodeJpegReference(const uint8_t* pixels, int32_t width, int32_t height,
                           int32_t bitsPerPixel, int32_t quality, std::vector<uint8_t>& file) {
    file.clear();
    if (Reason reason = CheckArguments(pixels, width, height, bitsPerPixel)) {
        return Status::Error("Cannot encode the picture as JPEG: " + *reason);
    }
    const jpeg::DibPicture picture{pixels, static_cast<size_t>(width), static_cast<size_t>(height),
                                   bitsPerPixel == 0 ? 32 : bitsPerPixel};
    try {
        EncodeWhole(picture, quality, file);
    } catch (const std::bad_alloc&) {
        std::vector<uint8_t>().swap(file);
        return Status::Error(
            "Cannot encode the picture as JPEG: not enough memory to encode a "
            "picture of " +
            SizeText(width, height));
    } catch (const std::length_error&) {
        std::vector<uint8_t>().swap(file);
        return Status::Error(
            "Cannot encode the picture as JPEG: not enough memory to encode a "
            "picture of " +
            SizeText(width, height));
    }
    return Status::Ok();
}

}  // namespace k3v
