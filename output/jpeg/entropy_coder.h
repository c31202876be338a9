#pragma once
// Baseline sequential Huffman coding of the coefficient planes (T.81 F.1.2): for each MCU the
// Y block with the luminance tables, then Cb and Cr with the chrominance tables; DC values as
// differences to the previous block of the same component; no restart intervals.

#include <cstdint>
#include <vector>

#include "output/jpeg/coefficient_planes.h"
#include "output/jpeg/huffman.h"

namespace k3v::jpeg {

// Appends the entropy-coded data of the whole scan to `out`, the last byte padded with 1-bits.
// Throws std::bad_alloc if `out` cannot grow.
void EncodeScan(const CoefficientPlanes& planes, const EntropyTables& tables,
                std::vector<uint8_t>& out);

}  // namespace k3v::jpeg
