#pragma once
// 32-bit uncompressed bottom-up BMP files: a 14-byte file header, a 40-byte information header,
// then the rows, first stored row first, four bytes per pixel (blue, green, red, fourth byte as
// in the plane), no row padding.

#include <array>
#include <cstdint>
#include <string>

#include "base/progress.h"
#include "base/row_order.h"
#include "base/status.h"
#include "output/output_picture.h"
#include "output/safe_file_writer.h"

namespace k3v {

inline constexpr size_t kBmpHeaderSize = 54;

std::array<uint8_t, kBmpHeaderSize> MakeBmpHeader(int32_t width, int32_t height);

// Writes the file safely. Reports the rows written to `progress` band by band and stops with
// Status::Cancelled() when it is cancelled: a failure or a cancel leaves any existing file
// untouched and no temporary file behind.
Status WriteBmpFile(const std::string& path, const OutputPicture& picture,
                    const Progress& progress = {});

// The same file into a writer opened on `path`, left for the caller to commit (or, after a
// failure or a cancel, to discard). The rows are read in `order`, each once, and written at
// their places.
Status WriteBmp(const std::string& path, const OutputPicture& picture, SafeFileWriter& file,
                const Progress& progress = {}, RowOrder order = RowOrder::BottomFirst);

}  // namespace k3v
