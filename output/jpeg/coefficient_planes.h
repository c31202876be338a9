#pragma once
// The quantised DCT coefficients of the whole picture, the hand-over from the transform to the
// entropy coder.
//
// Layout: blocks in raster order (left to right, top row of blocks first); for each block
// position the Y, Cb and Cr blocks follow each other (one MCU, since nothing is subsampled);
// each block holds 64 coefficients in zig-zag order, position 0 the DC coefficient. Keeping an
// MCU's three blocks together lets both passes of the entropy coder read memory in order.
// 16 bits hold every coefficient of 8-bit samples (at most 2^11 in magnitude).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace k3v::jpeg {

enum Component : size_t { kY = 0, kCb = 1, kCr = 2 };
inline constexpr size_t kComponents = 3;
inline constexpr size_t kBlockSize = 64;

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

}  // namespace k3v::jpeg
