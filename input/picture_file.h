#pragma once
// One input picture, opened once: its size and its pixels are read through that one open file,
// never by opening its name again, so a load reads one file even if the name is meanwhile
// given to another. The decoders reach it through duplicates of its descriptor or by position
// (pread); libtiff's handles, one per decoding thread, each keep their own position in it.
//
// Pixels come as DecodePictureFile (picture_decoder.h) describes them. One thread at a time
// uses a PictureFile: a decode moves the position the descriptor's duplicates share.

#include <cstdint>
#include <string>
#include <utility>

#include "base/progress.h"
#include "base/result.h"
#include "base/status.h"
#include "stereo/pixel_plane.h"

namespace k3v {

struct PictureSize {
    int32_t width = 0;
    int32_t height = 0;
};

// The decoder the file's first bytes choose; Other goes through Qt's image readers.
enum class PictureFormat { Jpeg, Png, Tiff, Bmp, Pnm, Other };

class PictureFile {
  public:
    // Opens `path` for reading. Refuses what is not a picture file before opening it (nothing
    // there, a folder, a device, pipe or socket, an empty file), as DecodePictureFile words
    // it: "Cannot load "<path>": <reason>".
    static Result<PictureFile> Open(const std::string& path);

    PictureFile(PictureFile&& other) noexcept;
    PictureFile& operator=(PictureFile&& other) noexcept;
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;
    ~PictureFile();

    const std::string& path() const { return path_; }

    // The picture's size from its header alone, without decoding it; fails, naming the file,
    // when it cannot be told.
    Result<PictureSize> peekSize() const;

    // The decoder decode() reads the file with, told by its first bytes.
    PictureFormat format() const;

    // Decodes the picture into `plane`. Reports the decode's progress (a band of rows, or a
    // row of tiles, at a time) to `progress` and stops with Status::Cancelled() once it is
    // cancelled. On failure the message names the file and the reason; on failure or cancel
    // `plane` is unchanged.
    Status decode(PixelPlane& plane, const Progress& progress = {}) const;

  private:
    friend class PictureRowReader;  // reads the file through its own readers of `fd_`

    PictureFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

    std::string path_;
    int fd_ = -1;
};

}  // namespace k3v
