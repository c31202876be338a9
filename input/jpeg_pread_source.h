#pragma once
// A libjpeg data source that reads a file by position (pread), so that a second decoder can
// read the same open file as the first one without moving its position. At the end of the file
// it behaves as libjpeg's stdio source does: a warning, then an end-of-image marker.

#include <sys/types.h>

#include <cstddef>

// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>

#include <jpeglib.h>

namespace k3v {

struct JpegPreadSource {
    jpeg_source_mgr pub;  // first, so that libjpeg's pointer to it is a pointer to this
    int fd = -1;
    off_t offset = 0;
    bool startOfFile = true;
    JOCTET buffer[size_t(64) << 10];
};

// Makes `source` (which must outlive the decoder's reading) the decoder's source, reading
// `fd` from `offset` on.
void UseJpegPreadSource(j_decompress_ptr cinfo, JpegPreadSource& source, int fd, off_t offset);

}  // namespace k3v
