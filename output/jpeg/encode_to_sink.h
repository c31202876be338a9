#pragma once
// The encoder's one boundary: the picture's size is checked, the streaming encoder runs, and
// whatever stops it (a refused size, running out of memory, an exception from the rows or the
// sink, a cancel) becomes a Status. The file writers of jpeg_encoder.h word its failures for
// their path; the tests' in-memory encoding words them for no file.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/progress.h"
#include "base/status.h"
#include "output/jpeg/jpeg_encoder.h"

namespace k3v::jpeg {

// Why a picture of this size cannot be a JPEG file ("the picture has no pixels (0 x 5
// pixels)"), or nothing when it can: width and height must be 1..65535.
std::optional<std::string> SizeRefusal(int64_t width, int64_t height);

// Turns the reason a file could not be made into the caller's message (CannotWrite(path, _)).
using FailureWording = std::function<Status(const std::string& reason)>;

// Encodes `rows` into `sink` (EncodeStreaming): Ok once the whole file was sent, Cancelled when
// `progress` was cancelled before the end, otherwise `failure(reason)`. Nothing is read or sent
// for a refused size; after any other failure the sink may have had the start of a file.
Status EncodeToSink(const JpegRows& rows, int32_t quality, const JpegSink& sink,
                    const Progress& progress, const FailureWording& failure);

}  // namespace k3v::jpeg
