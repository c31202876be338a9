#include "input/picture_decoder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "input/jpeg_file_decoder.h"
#include "input/png_file_decoder.h"
#include "input/qt_image_decoder.h"
#include "input/tiff_file_decoder.h"
#include "input/turbo_image_loader.h"

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
    } else if (TurboLoaderReads(magic, got)) {
        file.reset();
        decoded = DecodeWithTurboLoader(path, plane);
    } else {
        file.reset();
        decoded = DecodeWithQt(path, plane);
    }
    return decoded ? decoded : CannotLoad(path, decoded.message());
}

Result<PictureSize> PeekPictureSize(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return Status::Error("the size of \"" + path + "\" cannot be told");  // a pipe would block
    }
    unsigned char magic[4] = {};
    if (std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
        file && std::fread(magic, 1, sizeof magic, file.get()) == sizeof magic && IsTiff(magic)) {
        return PeekTiffSize(path);
    }
    return PeekWithQt(path);
}

}  // namespace k3v
