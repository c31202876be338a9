#include "input/qt_image_decoder.h"

#include <unistd.h>

#include "input/picture_file.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/memory_probe.h"
#include "base/progress.h"
#include "input/bmp_file_check.h"

namespace k3v {

namespace {

constexpr const char* kNotAPicture = "the file is not a picture in a format this program can read";

// The formats read through Qt, besides JPEG which never comes here: those whose readers tell
// the picture's size from the header and keep to Qt's allocation limit. Others Qt's plugins
// offer (MNG, ICNS, TGA, WBMP, ICO, XPM, ...) are refused: an MNG header claiming 100000 x
// 100000 pixels made its reader allocate 40 GB outright.
bool IsReadFormat(const QByteArray& format) {
    static const char* const kFormats[] = {"png",  "bmp", "tif", "tiff", "gif",
                                           "webp", "pbm", "pgm", "ppm"};
    for (const char* known : kFormats) {
        if (format == known) {
            return true;
        }
    }
    return false;
}

// Transparent pixels are composited over black: each colour times alpha / 255, rounded to
// nearest. Done here rather than by Qt's premultiplication, which rounds some halves down for
// some source formats (grey with alpha), so that every format gives the same colours.
uint32_t OverBlack(uint32_t argb) {
    const uint32_t alpha = argb >> 24;
    if (alpha == 255) {
        return argb & 0x00FFFFFFu;
    }
    const auto scaled = [alpha](uint32_t channel) { return (channel * alpha + 127) / 255; };
    return scaled(argb & 0xFF) | scaled(argb >> 8 & 0xFF) << 8 | scaled(argb >> 16 & 0xFF) << 16;
}

void CopyIntoPlane(const QImage& image, PixelPlane& plane) {
    const int32_t height = plane.height();
    const size_t width = size_t(plane.width());
    for (int32_t y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        uint32_t* row = plane.row(height - 1 - y);  // planes store the bottom row first
        for (size_t x = 0; x < width; ++x) {
            row[x] = OverBlack(line[x]);
        }
    }
}

// The open file as a device for Qt's readers, from its start.
bool OpenForQt(std::FILE* file, QFile& device) {
    const int fd = fileno(file);
    return fd >= 0 && lseek(fd, 0, SEEK_SET) == 0 &&
           device.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
}

// Qt's readers take a file name's suffix as a hint to the format (a TGA file has no signature
// to be told by). A device opened from a descriptor has no name, so the reader is given the
// hint as the format, which it takes the same way. Except "png": PNG files go to our own
// decoder, and Qt's PNG reader, tried on whatever else is named so, has libpng print its
// complaint to stderr.
QByteArray FormatHint(const std::string& path) {
    const QByteArray suffix =
        QFileInfo(QFile::decodeName(path.c_str())).suffix().toLower().toLatin1();
    return suffix == "png" ? QByteArray() : suffix;
}

Status ReadWithQt(std::FILE* file, const std::string& path, PixelPlane& plane,
                  const Progress& progress) {
    if (Status complete = CheckBmpFileComplete(file); !complete) {
        return complete;
    }
    QFile device;
    if (!OpenForQt(file, device)) {
        return Status::Error("the file cannot be read");
    }
    QImageReader reader(&device, FormatHint(path));
    reader.setAutoTransform(true);
    // A reader given a format names it back whatever the content; as for a name's suffix,
    // the format is the one a reader recognises in the content.
    const QByteArray format = reader.canRead() ? reader.format() : QByteArray();
    if (format.isEmpty()) {
        return Status::Error(kNotAPicture);
    }
    if (!IsReadFormat(format)) {
        return Status::Error("it is a picture in the " + format.toUpper().toStdString() +
                             " format, which this program does not read");
    }
    // Every format read here tells its size from the header, so memory is checked before
    // the reader allocates anything of the picture's size.
    QSize size = reader.size();
    // Qt's BMP reader reports a top-down picture's height as stored: negative.
    if (format == "bmp" && size.height() < 0 && size.height() > INT32_MIN) {
        size.setHeight(-size.height());
    }
    if (!size.isValid() || size.isEmpty()) {
        return Status::Error("its header gives no valid picture size");
    }
    // The picture, its converted copy and the plane.
    if (Status fits = CheckPlanesFit(size.width(), size.height(), 3); !fits) {
        return fits;
    }
    // Qt's own cap (256 MB) would refuse a 100-megapixel panorama; it is raised to what the
    // header's size needs in the widest pixel format a reader hands back (four 32-bit floats,
    // from a floating-point TIFF), so a reader still cannot allocate beyond the header's size.
    const uint64_t megabytes = (uint64_t(size.width()) * uint64_t(size.height()) * 16 >> 20) + 1;
    reader.setAllocationLimit(int(std::min<uint64_t>(megabytes, INT32_MAX)));
    // Qt's readers tell nothing until they are done: a cancel is looked for either side.
    if (progress.cancelled()) {
        return Status::Cancelled();
    }
    QImage image;
    if (!reader.read(&image)) {
        return Status::Error(reader.errorString().toStdString());
    }
    if (progress.cancelled()) {
        return Status::Cancelled();
    }
    if (image.isNull() || image.width() < 1 || image.height() < 1) {
        return Status::Error("the picture has no pixels");
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) {
        return Status::Error(MemoryShortageMessage(size.width(), size.height(), 1));
    }
    PixelPlane decoded;
    if (Status allocated = decoded.allocate(image.width(), image.height()); !allocated) {
        return allocated;
    }
    CopyIntoPlane(image, decoded);
    plane = std::move(decoded);
    return Status::Ok();
}

}  // namespace

Status DecodeWithQt(std::FILE* file, const std::string& path, PixelPlane& plane,
                    const Progress& progress) {
    PixelPlane decoded;
    Status read = ReadWithQt(file, path, decoded, progress);
    // Qt's words for content no reader recognises, said in the user's terms.
    if (!read.ok() && !read.cancelled() &&
        (read.message().empty() || read.message() == "Unknown error" ||
         read.message() == "Unsupported image format")) {
        read = Status::Error(kNotAPicture);
    }
    if (read.ok()) {
        plane = std::move(decoded);
    }
    return read;
}

}  // namespace k3v

namespace k3v {

Result<PictureSize> PeekWithQt(std::FILE* file, const std::string& path) {
    // Loading the picture says what is wrong with it; this only says that the size is unknown.
    const Status unknown = Status::Error("the size of \"" + path + "\" cannot be told");
    QFile device;
    if (file == nullptr || !OpenForQt(file, device)) {
        return unknown;
    }
    QImageReader reader(&device, FormatHint(path));
    const QSize size = reader.size();
    if (!size.isValid()) {
        return unknown;
    }
    return PictureSize{size.width(), size.height()};
}

}  // namespace k3v
