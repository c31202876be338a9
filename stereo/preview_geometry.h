#pragma once
// Where each view lies in the 1000 x 300 preview for a picture of W x H in each layout.

#include <cstdint>
#include <vector>

#include "stereo/conversion_settings.h"

namespace k3v {

inline constexpr int32_t kPreviewWidth = 1000;
inline constexpr int32_t kPreviewHeight = 300;

struct PreviewRect {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
    bool operator==(const PreviewRect&) const = default;
};

struct PreviewPlacement {
    int32_t displayedWidth;  // DW: the width of a full-height picture in the preview
    int32_t leftOffset;      // x0: centres a picture narrower than the preview
    PreviewRect firstView;
    PreviewRect secondView;  // unused (all zero) in the anaglyph layout
    bool showsSecondView;
};

// The layout "separate files" shows its two views as the horizontal layout does, at full size
// whatever `halfSize` says, as its files hold them. A half-size pair shows each view squeezed
// along the layout's axis, the pair taking one picture's place.
PreviewPlacement ComputePreviewPlacement(int32_t width, int32_t height, int32_t layout,
                                         bool halfSize = false);

}  // namespace k3v
