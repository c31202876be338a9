#pragma once
// The views of an aligned pair made a band of rows at a time from the pictures as loaded, for
// the banded conversion: no plane of the views' size is needed. The first view is cut from the
// first picture; the second is cut from the second picture or resampled from it, a few dozen
// rows ahead on every core.

#include <memory>

#include "align/pair_alignment.h"
#include "base/row_order.h"
#include "input/row_bands.h"
#include "stereo/pixel_plane.h"

namespace k3v {

enum class PairView { First, Second };

// The rows of `view`, handed out in `order`. The pictures and `correction` must outlive them.
std::unique_ptr<RowBands> AlignedViewRows(const PixelPlane& first, const PixelPlane& second,
                                          const PairCorrection& correction, PairView view,
                                          RowOrder order);

}  // namespace k3v
