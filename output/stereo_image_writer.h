#pragma once
// Writes the stereo image to the files of an output target, as BMP, JPEG, TIFF, MPO or JPS. Used
// by the conversion job that both programs run, so both write the same bytes.

#include <array>
#include <cstdint>

#include "base/photo_metadata.h"
#include "base/progress.h"
#include "base/row_order.h"
#include "base/status.h"
#include "output/output_target.h"
#include "output/view_row_source.h"
#include "stereo/stereo_planes.h"

namespace k3v {

// Writes every file of the target from planes converted with target.settings(). Each JPEG
// file (each image of an MPO) carries `metadata`; a TIFF file carries its colour profile alone,
// and a BMP file has no place for it. No file replaces its target unless all could be written;
// a failed or cancelled save leaves every target as it was and no temporary file behind.
// Progress runs over the encoding of each picture and the writing of the files.
Status WriteStereoImage(const OutputTarget& target, const StereoPlanes& planes,
                        const PhotoMetadata& metadata = {}, const Progress& progress = {});

// The same files from views of viewWidth x viewHeight pixels whose rows come from `views` while
// they are made, each row taken once, as ViewReadingOf(target) says. The save stops (cancelled)
// once `progress` is cancelled, as when the rows can no longer come.
Status WriteStereoImage(const OutputTarget& target, int32_t viewWidth, int32_t viewHeight,
                        const ViewRowSource& views, const PhotoMetadata& metadata,
                        const Progress& progress);

// How a save to a target reads the views' rows: in which order (a JPEG or TIFF file from the
// top, a bitmap from the bottom), which views at all, and which only once another view has
// been read whole (the right eye's picture after the left's, or one view of a stacked pair
// after the other). Within a picture the rows are read in bands in that order, several bands
// at once (the JPEG encoder's threads), and a row of tiles (TIFF) in order too.
struct ViewReading {
    RowOrder order = RowOrder::TopFirst;
    std::array<bool, 2> read{};   // by ViewIndex
    std::array<bool, 2> later{};  // by ViewIndex
};
ViewReading ViewReadingOf(const OutputTarget& target);

}  // namespace k3v
