#pragma once
// The mean and the tone one pixel and one channel at a time, for what the vector kernels
// (filters.cpp, noise_filter.cpp) leave over: rows too narrow for the mean's segmented chains,
// the tail of a range after the last whole vector, processors without SSE2 (or a run limited to
// the scalar level), and tone settings beyond the range of the vector kernels' 16-bit lanes.
// They define the arithmetic the vector kernels must equal bit for bit.

#include <cstddef>
#include <cstdint>

#include "stereo/conversion_settings.h"

namespace k3v::scalar {

// One pass of the eight-pixel mean over rows [firstRow, endRow) of a picture `height` rows
// high, in place and in increasing index order (only rows 1 .. H-2 change): each channel
// becomes the sum of the pixel and seven of its neighbours (all but the lower-left one) div 8,
// the left, lower and lower-right neighbours already holding this pass's values. `picture`
// holds the rows from row `origin` on (row y at (y - origin) * W).
void SmoothNoiseRows(int32_t width, int32_t height, uint32_t* picture, size_t firstRow,
                     size_t endRow, size_t origin = 0);

// Brightness offset and contrast gain around 128 over `pixelCount` pixels, as switched on in
// `settings` (nothing when both are off); the fourth byte becomes zero.
void AdjustBrightnessContrast(size_t pixelCount, uint32_t* picture,
                              const ConversionSettings& settings);

}  // namespace k3v::scalar
