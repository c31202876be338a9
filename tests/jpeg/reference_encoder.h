#pragma once
// The slow, obvious encoder the program's streaming encoder is checked against: the whole
// picture is read from a bitmap, transformed block by block with the scalar functions into
// coefficient planes, then counted, then coded into memory. It shares with the product only
// the scalar per-block arithmetic (ConvertBlock, ForwardDct, QuantizeBlock), the table
// builder, the bit writer and the header writer, each tested on its own; what the fast
// encoder adds (vector transforms, bands on several threads, kept symbols, joined bit
// strings, rows read on demand) is all absent here.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/status.h"
#include "output/jpeg/block_transform.h"
#include "output/jpeg/huffman.h"
#include "output/jpeg/quantization.h"

namespace k3v::jpeg {

// A device-independent bitmap: rows stored bottom row first, each padded to a whole number of
// 32-bit words; 32 bits per pixel (blue, green, red, unused byte), 24 (blue, green, red) or 16
// (one little-endian word 0RRRRRGGGGGBBBBB; each 5-bit value v expands to (v << 3) | (v >> 2)).
struct DibPicture {
    const uint8_t* pixels = nullptr;
    size_t width = 0;
    size_t height = 0;
    int bitsPerPixel = 32;  // 16, 24 or 32

    // Bytes per stored row: whole 32-bit words.
    size_t Stride() const { return (width * static_cast<size_t>(bitsPerPixel) + 31) / 32 * 4; }
};

// Fills `strip` with picture rows 8 * blockRow .. 8 * blockRow + 7 (counted from the top), each
// `paddedWidth` pixels of 3 bytes (blue, green, red); pixels outside the picture are black.
void ReadStrip(const DibPicture& picture, size_t blockRow, size_t paddedWidth, uint8_t* strip);

// Blocks needed to cover `pixels` pixels.
inline size_t BlocksFor(size_t pixels) {
    return (pixels + 7) / 8;
}

// The quantised DCT coefficients of the whole picture. Blocks in raster order (left to right,
// top row of blocks first); for each block position the Y, Cb and Cr blocks follow each other
// (one MCU); each block holds 64 coefficients in zig-zag order, position 0 the DC coefficient.
struct CoefficientPlanes {
    size_t blocksAcross = 0;
    size_t blocksDown = 0;
    std::vector<int16_t> coefficients;  // blocksAcross * blocksDown * 3 * 64 values

    size_t BlockCount() const { return blocksAcross * blocksDown; }

    int16_t* Block(size_t blockIndex, Component component) {
        return coefficients.data() + (blockIndex * kComponents + component) * kBlockSize;
    }
    const int16_t* Block(size_t blockIndex, Component component) const {
        return coefficients.data() + (blockIndex * kComponents + component) * kBlockSize;
    }
};

// Fills `planes` (already sized: blocksAcross and blocksDown of the picture, coefficients
// allocated) block by block: Y, Cb and Cr are each converted, transformed and quantised with
// the luminance (Y) or chrominance (Cb, Cr) divisors.
void TransformPicture(const DibPicture& picture, const QuantTables& tables,
                      CoefficientPlanes& planes);

// Counts the DC symbol of one block (the category of its difference to `predictor`, which
// then becomes the block's DC value) and its AC symbols: run/size symbols, a ZRL for each 16
// zeros before a nonzero coefficient, and an EOB when the block ends in zeros.
void CountBlockSymbols(const int16_t* block, int& predictor, SymbolCounts& dc, SymbolCounts& ac);

struct PictureTables : EntropyTables {
    uint64_t estimatedBytes = 0;  // size of the entropy-coded data without stuffed bytes
};

// Gathers the statistics of all blocks, builds the four tables and estimates the size of the
// entropy-coded data (code lengths plus additional bits, rounded up to whole bytes).
PictureTables BuildHuffmanTables(const CoefficientPlanes& planes);

// Appends the entropy-coded data of the whole scan (T.81 F.1.2: for each MCU the Y block with
// the luminance tables, then Cb and Cr with the chrominance tables) to `out`, the last byte
// padded with 1-bits.
void EncodeScan(const CoefficientPlanes& planes, const EntropyTables& tables,
                std::vector<uint8_t>& out);

}  // namespace k3v::jpeg

namespace k3v {

// The whole file of a bitmap of width x height pixels with `bitsPerPixel` 16, 24 or 32 (0 means
// 32); quality as for EncodeJpeg. The same bytes as the program's encoder.
Status EncodeJpegReference(const uint8_t* pixels, int32_t width, int32_t height,
                           int32_t bitsPerPixel, int32_t quality, std::vector<uint8_t>& file);

}  // namespace k3v
