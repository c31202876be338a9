#pragma once
// The rows of one picture handed out a few at a time, in one order, each row once: what each
// decoder gives PictureRowReader (picture_row_reader.h) for the cases it reads in bands.

#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/status.h"
#include "input/picture_file.h"

namespace k3v {

class RowBands {
  public:
    RowBands() = default;
    RowBands(const RowBands&) = delete;
    RowBands& operator=(const RowBands&) = delete;
    virtual ~RowBands() = default;

    // The picture's size, from its header.
    virtual PictureSize size() const = 0;

    // The next `count` rows (as many as are left at most, at least one), each `width` pixels
    // as PixelPlane holds them, one after the other into `out`. On failure the message is the
    // decoder's reason alone, and no more rows are read.
    virtual Status read(int32_t count, uint32_t* out) = 0;
};

struct StreamCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
// A stream of the decoder's own, closed with it.
using OwnedStream = std::unique_ptr<std::FILE, StreamCloser>;

// The open file `fd` as a stdio stream from its start: a duplicate of the descriptor, closed
// with the stream; null (errno set) when none can be made.
OwnedStream StreamOf(int fd);

}  // namespace k3v
