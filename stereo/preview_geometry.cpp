#include "stereo/preview_geometry.h"

#include <cmath>

namespace k3v {

namespace {

int32_t RoundHalfEven(double value) {
    return int32_t(std::nearbyint(value));
}

}  // namespace

PreviewPlacement ComputePreviewPlacement(int32_t width, int32_t height, int32_t layout,
                                         bool halfSize) {
    PreviewPlacement placement{};
    if (width <= 0 || height <= 0) {
        return placement;
    }
    // The aspect is held in single precision; 300 x aspect is then formed exactly.
    const float aspect = float(double(width) / double(height));
    const double p = 300.0 * double(aspect);
    const int32_t dw = p > kPreviewWidth ? kPreviewWidth : RoundHalfEven(p);
    const int32_t x0 = dw == kPreviewWidth ? 0 : RoundHalfEven((kPreviewWidth - dw) / 2.0);
    placement.displayedWidth = dw;
    placement.leftOffset = x0;

    const int32_t half = RoundHalfEven(dw / 2.0);
    if (layout == kSeparateFiles) {
        // Each file holds one whole view, so the pair shows at full size as the files are.
        layout = kSideBySideHorizontal;
        halfSize = false;
    }
    if (halfSize && layout != kAnaglyph) {
        const bool vertical = layout == kSideBySideVertical;
        placement.firstView =
            vertical ? PreviewRect{x0, 0, dw, 150} : PreviewRect{x0, 0, half, 300};
        placement.secondView =
            vertical ? PreviewRect{x0, 150, dw, 150} : PreviewRect{x0 + half, 0, half, 300};
        placement.showsSecondView = true;
        return placement;
    }
    switch (layout) {
        case 1:  // side by side, vertical: two half-size pictures, one above the other
            placement.firstView = {RoundHalfEven(dw / 4.0) + x0, 0, half, 150};
            placement.secondView = {RoundHalfEven(dw / 4.0) + x0, 150, half, 150};
            placement.showsSecondView = true;
            break;
        case 2:  // side by side, horizontal: the pair centred on the middle of the area
            placement.firstView = {x0 - half, 0, dw, kPreviewHeight};
            placement.secondView = {x0 + half, 0, dw, kPreviewHeight};
            placement.showsSecondView = true;
            break;
        default:
            placement.firstView = {x0, 0, dw, kPreviewHeight};
            break;
    }
    return placement;
}

}  // namespace k3v
