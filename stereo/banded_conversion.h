#pragma once
// The conversion of a picture too large to hold whole: the rows come in bands from a source
// and the finished view rows leave in bands for a sink, and only a window of rows is held, so
// memory grows with the width times the band's height (plus the few rows the filters and the
// views reach across), not with the picture's height. The views equal, byte for byte, what
// ConvertPlanes puts into FirstView and SecondView for the same settings and pictures.
//
// The rows go bottom row first (row 0 first, the order the planes store them in) or top row
// first, the order most decoders make them in and the JPEG encoder takes them in. Only the
// first suits the mean passes: each is one chain through the picture from its first pixel
// (bottom left) on, every row needing the pass's new values of the row below, so a row near
// the top depends on every row below it, and the rows must arrive from the bottom for any of
// them to be finished early. Every other step reaches only the rows next to a row's own.

#include <cstdint>
#include <functional>

#include "base/progress.h"
#include "base/row_order.h"
#include "base/status.h"
#include "stereo/conversion_settings.h"

namespace k3v {

// Rows [firstRow, firstRow + rowCount) of the pictures to be filled by the source, each row
// `width` pixels (or bytes) long, the rows one after the other, bottom row first in memory
// whichever order the bands come in.
struct InputRows {
    int32_t firstRow = 0;
    int32_t rowCount = 0;
    int32_t width = 0;
    uint32_t* first = nullptr;   // the first picture
    uint32_t* second = nullptr;  // the second picture ("Standard Stereo" mode), else null
    // The depth map as StereoPlanes::DepthMap holds it (one byte, the map pixel's Luma(), per
    // pixel), when the conversion uses one; else null.
    uint8_t* depth = nullptr;
};

// Rows [firstRow, firstRow + rowCount) of both views as FirstView and SecondView would hold
// them (in the anaglyph layout firstView is the composite and secondView scratch), bottom row
// first in memory whichever order the bands come in. The pointers are valid only during the call.
struct ViewRows {
    int32_t firstRow = 0;
    int32_t rowCount = 0;
    int32_t width = 0;
    const uint32_t* firstView = nullptr;
    const uint32_t* secondView = nullptr;
};

// A failing status from either ends the conversion with that status.
using RowSource = std::function<Status(const InputRows&)>;
using ViewSink = std::function<Status(const ViewRows&)>;

struct BandedPicture {
    int32_t width = 0;
    int32_t height = 0;
    // Whether the source has a depth map to give; it is asked for one only when the settings
    // displace by depth ("K3V Stereo" mode with Depth on), as ConvertPlanes uses one.
    bool depthMap = false;
    int32_t bandRows = 256;                  // rows asked from the source at a time
    RowOrder order = RowOrder::BottomFirst;  // TopFirst only where CanConvertTopFirst
};

// Whether ConvertBands can take the rows top row first with these settings: not when the
// noise filter's mean passes are on.
bool CanConvertTopFirst(const ConversionSettings& settings);

// Converts the picture: asks `source` for each row once, in bands of bandRows from the
// bottom or the top as picture.order says, and gives `sink` every view row once, in the same
// order, as soon as nothing that is still to come can change it. Top row first with settings
// CanConvertTopFirst refuses is an error, before the source is asked for anything. Reports the
// share of rows finished to `progress` after each band and polls progress.cancelled() between
// bands: Status::Cancelled() then, the sink having had some of the rows.
Status ConvertBands(const ConversionSettings& settings, const BandedPicture& picture,
                    const RowSource& source, const ViewSink& sink,
                    const Progress& progress = Progress());

// The most rows a conversion of pictures `width` pixels wide holds beyond one band, in any
// window of its pictures or views: the rows the filters and the views reach across. The rows
// read from the source never run further than bandRows plus this ahead of the rows given to
// the sink, in either order.
int32_t BandedMarginRows(const ConversionSettings& settings, int32_t width);

}  // namespace k3v
