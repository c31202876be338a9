#pragma once
// A tiled TIFF large enough for its rows of tiles to be read by several handles at once, drawn
// by ImageMagick the same on every run: 2000 x 1100, 16-bit samples, LZW, 64 x 64 tiles.
// `damaged` gets a copy with 4000 bytes in its middle overwritten. False when ImageMagick's
// convert is missing or fails (the caller skips).

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace k3v::testing {

inline bool MakeTiledTiff(const std::string& path, const std::string& damaged) {
    const std::string command =
        "convert -seed 7 -size 2000x1100 plasma:fractal -depth 16 -compress LZW "
        "-define tiff:tile-geometry=64x64 '" +
        path + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    std::vector<uint8_t> bytes = ReadBytes(path);
    std::fill(bytes.begin() + ptrdiff_t(bytes.size() / 2),
              bytes.begin() + ptrdiff_t(bytes.size() / 2 + 4000), 0xA5);
    WriteBytes(damaged, bytes);
    return true;
}

}  // namespace k3v::testing
