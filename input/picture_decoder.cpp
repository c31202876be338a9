#include "input/picture_decoder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "input/jpeg_file_decoder.h"
#include "input/qt_image_decoder.h"

namespace k3v {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

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
    unsigned char magic[3] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file.get());
    std::rewind(file.get());
    Status decoded = Status::Ok();
    if (got == 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        decoded = DecodeJpegFile(file.get(), plane);
    } else {
        file.reset();
        decoded = DecodeWithQt(path, plane);
    }
    return decoded ? decoded : CannotLoad(path, decoded.message());
}

}  // namespace k3v
