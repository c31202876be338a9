#include "input/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include "input/row_bands.h"
#include "input/tiff_file_decoder.h"

namespace k3v {

namespace {

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

// The file's first bytes, as many as it has up to `bytes`.
size_t ReadStart(int fd, unsigned char* to, size_t bytes) {
    size_t got = 0;
    while (got < bytes) {
        const ssize_t count = pread(fd, to + got, bytes - got, off_t(got));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        got += size_t(count);
    }
    return got;
}

// Every decoder but libtiff's reads a stdio stream.
Status DecodeStream(int fd, PictureFormat format, const std::string& path, PixelPlane& plane,
                    const Progress& progress) {
    const OwnedStream file = StreamOf(fd);
    if (!file) {
        return Status::Error(std::strerror(errno));
    }
    switch (format) {
        case PictureFormat::Jpeg:
            return DecodeJpegFile(file.get(), plane, progress);
        case PictureFormat::Png:
            return DecodePngFile(file.get(), plane, progress);
        case PictureFormat::Bmp:
            return DecodeBmpFile(file.get(), plane, progress);
        case PictureFormat::Pnm:
            return DecodePnmFile(file.get(), plane, progress);
        default:
            return DecodeWithQt(file.get(), path, plane, progress);
    }
}

// What is not a picture file is refused before it is opened: opening a pipe waits for a
// writer, and a device may never end.
Status RefusedKind(const std::string& path, const struct stat& info) {
    if (S_ISDIR(info.st_mode)) {
        return CannotLoad(path, "it is a folder, not a picture file");
    }
    if (!S_ISREG(info.st_mode)) {
        return CannotLoad(path, "it is a device, pipe or socket, not a picture file");
    }
    if (info.st_size == 0) {
        return CannotLoad(path, "the file is empty");
    }
    return Status::Ok();
}

}  // namespace

OwnedStream StreamOf(int fd) {
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        return nullptr;
    }
    OwnedStream file(fdopen(copy, "rb"));
    if (!file) {
        const int error = errno;
        close(copy);
        errno = error;
        return nullptr;
    }
    std::rewind(file.get());  // the duplicate shares the position a last decode left
    return file;
}

PictureFormat PictureFile::format() const {
    unsigned char magic[34] = {};  // a BMP's header up to its compression field
    const size_t got = ReadStart(fd_, magic, sizeof magic);
    if (got >= 4 && IsTiff(magic)) {
        return PictureFormat::Tiff;
    }
    if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        return PictureFormat::Jpeg;
    }
    if (got >= 8 && std::memcmp(magic, kPngSignature, 8) == 0) {
        return PictureFormat::Png;
    }
    if (BmpDecoderReads(magic, got)) {
        return PictureFormat::Bmp;
    }
    if (IsBinaryPnm(magic, got)) {
        return PictureFormat::Pnm;
    }
    return PictureFormat::Other;
}

Result<PictureFile> PictureFile::Open(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return CannotLoad(path, errno == ENOENT ? "the file does not exist" : std::strerror(errno));
    }
    if (Status kind = RefusedKind(path, info); !kind) {
        return kind;
    }
    // Not waiting, should the name have become a pipe since; on a regular file it changes
    // nothing. What was opened is checked again.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return CannotLoad(path, std::strerror(errno));
    }
    PictureFile file(path, fd);
    if (fstat(fd, &info) != 0) {
        return CannotLoad(path, std::strerror(errno));
    }
    if (Status kind = RefusedKind(path, info); !kind) {
        return kind;
    }
    return Result<PictureFile>(std::move(file));
}

PictureFile::PictureFile(PictureFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

PictureFile& PictureFile::operator=(PictureFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            close(fd_);
        }
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

PictureFile::~PictureFile() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

Result<PictureSize> PictureFile::peekSize() const {
    const Status unknown = Status::Error("the size of \"" + path_ + "\" cannot be told");
    unsigned char magic[24] = {};  // a PNG's header up to its IHDR chunk's size fields
    const size_t got = ReadStart(fd_, magic, sizeof magic);
    if (got >= 4 && IsTiff(magic)) {
        return PeekTiffSize(fd_, path_);
    }
    if (got >= 8 && std::memcmp(magic, kPngSignature, 8) == 0) {
        return PngSize(magic, got, unknown);
    }
    const OwnedStream file = StreamOf(fd_);
    if (file && IsBinaryPnm(magic, got)) {  // read by our own decoder, so told by it
        int64_t width = 0;
        int64_t height = 0;
        if (!ReadPnmSize(file.get(), width, height) || width < 1 || height < 1 ||
            width > INT32_MAX || height > INT32_MAX) {
            return unknown;
        }
        return PictureSize{int32_t(width), int32_t(height)};
    }
    return PeekWithQt(file.get(), path_);
}

Status PictureFile::decode(PixelPlane& plane, const Progress& progress) const {
    // The content decides the decoder, not the name: a PNG named .jpg still loads.
    const PictureFormat kind = format();
    const Status decoded = kind == PictureFormat::Tiff
                               ? DecodeTiffFile(fd_, path_, plane, progress)
                               : DecodeStream(fd_, kind, path_, plane, progress);
    if (decoded.cancelled()) {
        return decoded;
    }
    if (!decoded) {
        return CannotLoad(path_, decoded.message());
    }
    progress.report(1.0);
    return Status::Ok();
}

}  // namespace k3v
