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

Status CannotLoad(const std::string& path, const std::string& reason) {
    return Status::Error("Cannot load \"" + path + "\": " + reason);
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
    unsigned char magic[3] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file.get());
    std::rewind(file.get());
    std::string reason;
    bool ok = false;
    if (got == 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        ok = DecodeJpegFile(file.get(), plane, reason);
    } else {
        file.reset();
        ok = DecodeWithQt(path, plane, reason);
    }
    if (!ok) {
        // Qt's words for content no reader recognises, said in the user's terms.
        if (reason.empty() || reason == "Unknown error" || reason == "Unsupported image format") {
            reason = "the file is not a picture in a format this program can read";
        }
        return CannotLoad(path, reason);
    }
    return Status::Ok();
}

}  // namespace k3v
