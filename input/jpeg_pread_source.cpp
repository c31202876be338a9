#include "input/jpeg_pread_source.h"

#include <unistd.h>

#include <cerrno>

#include <jerror.h>

namespace k3v {

namespace {

JpegPreadSource& SourceOf(j_decompress_ptr cinfo) {
    return *reinterpret_cast<JpegPreadSource*>(cinfo->src);
}

void InitSource(j_decompress_ptr) {}

void TermSource(j_decompress_ptr) {}

boolean FillBuffer(j_decompress_ptr cinfo) {
    JpegPreadSource& source = SourceOf(cinfo);
    ssize_t got = 0;
    do {
        got = pread(source.fd, source.buffer, sizeof source.buffer, source.offset);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        if (source.startOfFile) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source.buffer[0] = 0xFF;
        source.buffer[1] = JPEG_EOI;
        got = 2;
    } else {
        source.offset += got;
    }
    source.pub.next_input_byte = source.buffer;
    source.pub.bytes_in_buffer = size_t(got);
    source.startOfFile = false;
    return TRUE;
}

void SkipData(j_decompress_ptr cinfo, long count) {
    JpegPreadSource& source = SourceOf(cinfo);
    if (count <= 0) {
        return;
    }
    while (size_t(count) > source.pub.bytes_in_buffer) {
        count -= long(source.pub.bytes_in_buffer);
        FillBuffer(cinfo);
    }
    source.pub.next_input_byte += count;
    source.pub.bytes_in_buffer -= size_t(count);
}

}  // namespace

void UseJpegPreadSource(j_decompress_ptr cinfo, JpegPreadSource& source, int fd, off_t offset) {
    source.pub.init_source = InitSource;
    source.pub.fill_input_buffer = FillBuffer;
    source.pub.skip_input_data = SkipData;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = TermSource;
    source.pub.next_input_byte = nullptr;
    source.pub.bytes_in_buffer = 0;
    source.fd = fd;
    source.offset = offset;
    source.startOfFile = true;
    cinfo->src = &source.pub;
}

}  // namespace k3v
