#pragma once
// The formats read by no decoder of our own go through Qt's image readers (BMP layouts of
// our BMP decoder's leaving, GIF, WebP, text PNM and PBM), and the size of a picture is told
// by them. The readers get the file already open: a QString made from its name would lose
// the bytes of a name that is not UTF-8. Their own error strings give the reason.

#include <cstdio>
#include <string>

#include "base/progress.h"
#include "base/result.h"
#include "base/status.h"
#include "input/picture_file.h"
#include "stereo/pixel_plane.h"

namespace k3v {

// Reads `file` (opened from `path`, whose suffix hints at the format as it does to Qt) from
// its start. Looks for a cancel before and after Qt's reader does its work, and stops with
// Status::Cancelled() then. On failure the message is the reader's own reason alone
// (DecodePictureFile names the file); on failure or cancel `plane` is unchanged.
Status DecodeWithQt(std::FILE* file, const std::string& path, PixelPlane& plane,
                    const Progress& progress = {});

// The size Qt's reader finds in the header of `file` (null when it could not be opened);
// fails, naming `path`, when it cannot be told.
Result<PictureSize> PeekWithQt(std::FILE* file, const std::string& path);

}  // namespace k3v
