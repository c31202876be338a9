#pragma once
// TIFF files through libtiff, for pictures past JPEG's 65535 pixels: 8-bit RGB, the samples of a
// pixel together, the top row first, in tiles of 256 x 256 pixels (the tiles at the right and
// bottom edges padded with black, as TIFF wants every tile whole), uncompressed or compressed
// losslessly (LZW or Deflate, both with horizontal differencing). A file that could pass 4 GB is
// a BigTIFF. The picture is read a row of tiles at a time and each tile leaves for the file as
// it is coded, so neither the picture nor the file is ever held whole.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/progress.h"
#include "base/row_order.h"
#include "base/status.h"
#include "output/output_format.h"
#include "output/safe_file_writer.h"

namespace k3v {

inline constexpr uint32_t kTiffTileSize = 256;

// A picture handed over row by row, as the JPEG encoder takes it (JpegRows): readRow(y, out)
// writes the `width` pixels of stored row y (0 is the bottom row) to out[0 .. width - 1] as
// 32-bit words, blue in the low byte, then green, then red (the high byte is ignored).
// The rows are read once each, a row of tiles at a time, in `order`: the tiles are written as
// they are filled, the file's directory saying where each is.
struct TiffRows {
    int64_t width = 0;
    int64_t height = 0;
    std::function<void(int32_t y, uint32_t* out)> readRow;
    RowOrder order = RowOrder::TopFirst;
};

struct TiffOptions {
    TiffCompression compression = kDefaultTiffCompression;
    std::span<const uint8_t> iccProfile;  // written as the file's colour profile; empty: none
};

// Whether a file of the picture needs BigTIFF's 64-bit offsets: true when the most it could
// take (every tile at its worst case for the compression, the directory and `extraBytes` of
// tag values such as a colour profile) passes 4 GB. Decided before a byte is coded.
bool NeedsBigTiff(int64_t width, int64_t height, TiffCompression compression,
                  uint64_t extraBytes = 0);

// Encodes the picture into `file`, which is open on `path`, for the caller to commit. Reports
// the rows written a row of tiles at a time and stops with Status::Cancelled() when `progress`
// is cancelled. A failure of libtiff's is "Cannot write "<path>": <its reason>"; a failure to
// write the file stops the encoding and is left for file.finish() to report.
Status EncodeTiffFile(const std::string& path, const TiffRows& rows, const TiffOptions& options,
                      SafeFileWriter& file, const Progress& progress = {});

}  // namespace k3v
