#pragma once
// Qt's BMP reader accepts a file that ends before all its rows (uncompressed or run-length
// encoded) and fills the rest; such a file is refused here, before decoding.

#include <cstdio>

#include "base/status.h"

namespace k3v {

// Ok for anything that is not a BMP, and for a complete one with a header of a known layout
// and sane fields (Qt's reader makes up a picture from a header it does not understand). Reads
// `file` from its start; where it leaves the file's position is unspecified.
Status CheckBmpFileComplete(std::FILE* file);

}  // namespace k3v
