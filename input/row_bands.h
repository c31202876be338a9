#pragma once
// The rows of one picture handed out a few at a time, in one order, each row once: what each
// decoder gives PictureRowReader (picture_row_reader.h) for the cases it reads in bands.

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

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

// Stored rows [first, first + count) of a file that stores its rows one after another,
// `rowBytes` each, from byte `start` on, into `block`, with one byte more, zero, after them;
// false when the file ends before them. The row `i`-th of a band of rows handed out in
// `bottomFirst` order, `served` rows having gone before, is stored row StoredRow(...): row 0
// is the file's first (its top row, or, `bottomUp`, its bottom row).
inline bool ReadStoredRows(std::FILE* file, int64_t start, size_t rowBytes, int64_t first,
                           int32_t count, std::vector<uint8_t>& block) {
    block.assign(size_t(count) * rowBytes + 1, 0);
    return fseeko(file, off_t(start + first * int64_t(rowBytes)), SEEK_SET) == 0 &&
           std::fread(block.data(), rowBytes, size_t(count), file) == size_t(count);
}

inline int64_t StoredRow(int64_t height, bool bottomUp, bool bottomFirst, int64_t served,
                         int64_t i) {
    const int64_t top = bottomFirst ? height - 1 - (served + i) : served + i;
    return bottomUp ? height - 1 - top : top;
}

}  // namespace k3v
