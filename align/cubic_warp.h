#pragma once
// Resamples a picture through a homography with the bicubic kernel (Keys, a = -0.75, as
// OpenCV's INTER_CUBIC), the pixels outside the source taking the nearest edge pixel's value.
// Written for the alignment's one resampling of a whole picture, where OpenCV's own bicubic
// warp costs more than the conversion it precedes: each pixel's four by four neighbours are
// weighed as four-channel vectors, rows in bands on every core.

#include <array>

#include "base/progress.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// Fills every picture row of `target` (already allocated): pixel (x, y) of the target takes
// the value of `source` at toSource * (x, y, 1), in the planes' own coordinates (pixel centres
// at whole numbers). Reports per band; false when cancelled, `target` then partly written.
bool WarpCubic(const PixelPlane& source, const std::array<double, 9>& toSource, PixelPlane& target,
               const Progress& progress = Progress());

// Rows [from, to) of what WarpCubic makes for a target `width` pixels wide, one after another
// into `out`, on the calling thread.
void WarpCubicRows(const PixelPlane& source, const std::array<double, 9>& toSource, int32_t width,
                   int32_t from, int32_t to, uint32_t* out);

}  // namespace k3v
