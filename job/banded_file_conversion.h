#pragma once
// A file conversion of the batch tool in bands: the pictures are read a band of rows at a time,
// converted on a thread of its own, and the views' rows go straight to the save's encoder, so
// memory grows with the pictures' width, not their height. The files saved are byte for byte
// those of loading the pictures whole, converting the planes and saving them.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "base/photo_metadata.h"
#include "base/progress.h"
#include "base/status.h"
#include "input/picture_row_reader.h"
#include "job/stereo_job.h"
#include "output/output_target.h"

namespace k3v {

// The files of one conversion, the depth map's found already (empty: none).
struct BandedFiles {
    BandedFiles(std::string firstPath, std::string secondPath, std::string depthMapPath)
        : first(std::move(firstPath)),
          second(std::move(secondPath)),
          depthMap(std::move(depthMapPath)) {}

    std::string first;
    std::string second;
    std::string depthMap;
    // When given, the pair's rows, of one size, come from these (an aligned pair's views made
    // from memory), not from the files, which then only name the pictures.
    std::function<std::unique_ptr<PictureRowReader>(RowOrder)> firstRows;
    std::function<std::unique_ptr<PictureRowReader>(RowOrder)> secondRows;
};

// The rows of each band asked from the pictures and of each view's ring; 0: as the picture's
// width suits. Tests make them small, so that every band and ring edge is crossed.
struct BandSizes {
    int32_t bandRows = 0;
    int32_t ringRows = 0;
    // Whether the views waiting aside are held in memory, not in a temporary file; none: as
    // their size and the memory there is decide.
    std::optional<bool> asideInMemory;
};

// Converts `files` into `target` in bands. `sized` is told the first picture's size once its
// header is read. A picture is read whole where its file or the order allows no better
// (picture_row_reader.h), which costs memory but not bytes. Returns nothing, having read no
// rows, when the job cannot go this way: a picture only Qt reads, or no thread or temporary
// file to be had; the caller then converts it whole. On failure the message names the file
// as a whole conversion's would, `width` and `height` telling the first picture's size when
// it was read.
std::optional<Status> ConvertFilesInBands(const BandedFiles& files, const OutputTarget& target,
                                          const PhotoMetadata& metadata,
                                          const PictureSizeCheck& sized, const Progress& progress,
                                          int32_t& width, int32_t& height,
                                          const BandSizes& sizes = {});

}  // namespace k3v
