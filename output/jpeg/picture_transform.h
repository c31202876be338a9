#pragma once
// Colour conversion, DCT and quantisation of the whole picture into coefficient planes.

#include "output/jpeg/coefficient_planes.h"
#include "output/jpeg/color_conversion.h"
#include "output/jpeg/quantization.h"

namespace k3v::jpeg {

// Blocks needed to cover `pixels` pixels: (pixels + 7) / 8.
inline size_t BlocksFor(size_t pixels) {
    return (pixels + 7) / 8;
}

// Fills `planes` (already sized: blocksAcross and blocksDown of the picture, coefficients
// allocated) block by block: Y, Cb and Cr are each converted, transformed and quantised with
// the luminance (Y) or chrominance (Cb, Cr) divisors. Allocates one strip of 8 padded rows;
// throws std::bad_alloc if that fails.
void TransformPicture(const DibPicture& picture, const QuantTables& tables,
                      CoefficientPlanes& planes);

}  // namespace k3v::jpeg
