#include "input/picture_decoder.h"

namespace k3v {

Status DecodePictureFile(const std::string& path, PixelPlane& plane) {
    const Result<PictureFile> file = PictureFile::Open(path);
    return file ? file.value().decode(plane) : file.status();
}

Result<PictureSize> PeekPictureSize(const std::string& path) {
    const Result<PictureFile> file = PictureFile::Open(path);
    if (!file) {
        return Status::Error("the size of \"" + path + "\" cannot be told");
    }
    return file.value().peekSize();
}

}  // namespace k3v
