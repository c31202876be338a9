#include "input/picture_decoder.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "input/bmp_file_decoder.h"
#include "input/jpeg_file_decoder.h"
#include "input/png_file_decoder.h"
#include "input/pnm_file_decoder.h"
#include "input/qt_image_decoder.h"
#include "input/tiff_file_decoder.h"

namespace k3v {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// "II" or "MM" (the byte order), then 42 for TIFF or 43 for BigTIFF in that order.
bool IsTiff(const unsigned char* magic) {
    const bool little = magic[0] == 'I' && magic[1] == 'I' && magic[3] == 0;
    const bool big = magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0;
    const unsigned char version = little ? magic[2] : big ? magic[3] : 0;
    return version == 42 || version == 43;
}

uint32_t ReadBigEndian32(const unsigned char* at) {
    return uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
}

// A PNG's size from its IHDR chunk, within libpng's limits (1 to 1000000 pixels each way).
// Told here, not by Qt's reader: its libpng prints a damaged header's faults to stderr.
Result<PictureSize> PngSize(const unsigned char* header, size_t got, const Status& unknown) {
    const uint32_t width = got >= 24 ? ReadBigEndian32(header + 16) : 0;
    const uint32_t height = got >= 24 ? ReadBigEndian32(header + 20) : 0;
    if (std::memcmp(header + 12, "IHDR", 4) != 0 || width < 1 || width > 1000000 || height < 1 ||
        height > 1000000) {
        return unknown;
    }
    return PictureSize{int32_t(width), int32_t(height)};
}

}  // namespace

Status DecodePictureFile(const std::string& path, PixelPlane& plane) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return CannotLoad(path, errno == ENOENT ? "the file does not exist" : std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return CannotLoad(path, "it is a folder, not a picture file");
    }
    // Opening a pipe waits for a writer, and a device may never end: neither is a picture.
    if (!S_ISREG(info.st_mode)) {
        return CannotLoad(path, "it is a device, pipe or socket, not a picture file");
    }
    if (info.st_size == 0) {
        return CannotLoad(path, "the file is empty");
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return CannotLoad(path, std::strerror(errno));
    }
    // The content decides the decoder, not the name: a PNG named .jpg still loads.
    unsigned char magic[34] = {};  // a BMP's header up to its compression field
    const size_t got = std::fread(magic, 1, sizeof magic, file.get());
    std::rewind(file.get());
    Status decoded = Status::Ok();
    if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        decoded = DecodeJpegFile(file.get(), plane);
    } else if (got >= 8 && std::memcmp(magic, kPngSignature, 8) == 0) {
        decoded = DecodePngFile(file.get(), plane);
    } else if (got >= 4 && IsTiff(magic)) {
        file.reset();
        decoded = DecodeTiffFile(path, plane);
    } else if (BmpDecoderReads(magic, got)) {
        decoded = DecodeBmpFile(file.get(), plane);
    } else if (IsBinaryPnm(magic, got)) {
        decoded = DecodePnmFile(file.get(), plane);
    } else {
        decoded = DecodeWithQt(file.get(), path, plane);
    }
    return decoded ? decoded : CannotLoad(path, decoded.message());
}

Result<PictureSize> PeekPictureSize(const std::string& path) {
    const Status unknown = Status::Error("the size of \"" + path + "\" cannot be told");
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return unknown;  // a pipe would block
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    unsigned char magic[24] = {};  // a PNG's header up to its IHDR chunk's size fields
    const size_t got = file ? std::fread(magic, 1, sizeof magic, file.get()) : 0;
    if (got >= 4 && IsTiff(magic)) {
        return PeekTiffSize(path);
    }
    if (got >= 8 && std::memcmp(magic, kPngSignature, 8) == 0) {
        return PngSize(magic, got, unknown);
    }
    if (IsBinaryPnm(magic, got)) {  // read by our own decoder, so told by it
        int64_t width = 0;
        int64_t height = 0;
        if (!ReadPnmSize(file.get(), width, height) || width < 1 || height < 1 ||
            width > INT32_MAX || height > INT32_MAX) {
            return unknown;
        }
        return PictureSize{int32_t(width), int32_t(height)};
    }
    return PeekWithQt(file.get(), path);
}

}  // namespace k3v
