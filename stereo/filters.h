#pragma once
// The adjustment filters. Each works in place on one plane and treats the four bytes of a
// pixel as four independent channels. Pixels are addressed along the flat index i = y * W + x,
// so a pixel's left neighbour at the start of a row is the last pixel of the row below.
//
// These are the fast versions (SSE2 or AVX2, on every core), which the tests hold bit for bit
// to plain scalar ones; scalar_fallback.h does what the vector code leaves over.

#include <cstddef>
#include <cstdint>

#include "base/progress.h"
#include "stereo/conversion_settings.h"

namespace k3v {

// Unsharp-style 5-point sharpening of rows 1 .. H-2 with weights c = 4n + 1 chosen by `level`,
// blended with the original by `blend`. Pictures with fewer than three rows, and level 0, are
// unchanged. `scratch` (same size) may be used as temporary storage.
void SharpenPicture(int32_t width, int32_t height, uint32_t* picture, uint32_t* scratch,
                    int32_t level, int32_t blend);

// The same sharpening from `source` into `target` (a different plane of the same size): rows
// 0 and H-1 and the spare row are copied unchanged. Reports to `progress` band by band; false
// when it was cancelled (`target` then partly written).
bool SharpenInto(int32_t width, int32_t height, const uint32_t* source, uint32_t* target,
                 int32_t level, int32_t blend, const Progress& progress = Progress());

// One in-place pass of the eight-pixel mean over rows 1 .. H-2, in increasing index order, so
// that the left, lower and lower-right neighbours already hold this pass's values.
void SmoothNoise(int32_t width, int32_t height, uint32_t* picture);

// Brightness offset and contrast gain around 128 over all W * H pixels, as switched on in
// `settings`; does nothing when both are off. The fourth byte becomes zero.
void AdjustBrightnessContrast(size_t pixelCount, uint32_t* picture,
                              const ConversionSettings& settings);

// Bands of the filters above on the calling thread, for running them as stages of a row
// pipeline: SharpenRowsInto does rows [firstRow, endRow) of SharpenInto (not the spare row),
// AdjustBrightnessContrastRange pixels [begin, end) of AdjustBrightnessContrast.
// `source` and `target` may hold only a window of the picture's rows, starting at row
// `origin` (row y at (y - origin) * W); the window must reach from row firstRow - 1 (row 0 at
// the bottom) to row endRow (the spare row at the top) in `source`.
void SharpenRowsInto(int32_t width, int32_t height, const uint32_t* source, uint32_t* target,
                     int32_t level, int32_t blend, size_t firstRow, size_t endRow,
                     size_t origin = 0);
void AdjustBrightnessContrastRange(uint32_t* picture, size_t begin, size_t end,
                                   const ConversionSettings& settings);

// Copies `count` pixels using every core, reporting to `progress` band by band; false when it
// was cancelled (`target` then partly written).
bool CopyPixels(const uint32_t* source, uint32_t* target, size_t count,
                const Progress& progress = Progress());

}  // namespace k3v
