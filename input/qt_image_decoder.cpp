#include "input/qt_image_decoder.h"

#include <sys/stat.h>

#include "input/picture_decoder.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <cstring>

#include "input/bmp_file_check.h"
#include "input/library_messages.h"
#include "stereo/memory_budget.h"

namespace k3v {

namespace {

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

bool ReadWithQt(const std::string& path, PixelPlane& plane, std::string& reason) {
    const QString name = QString::fromStdString(path);
    if (Status complete = CheckBmpFileComplete(path); !complete) {
        reason = complete.message();
        return false;
    }
    QImageReader reader(name);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid()) {
        // The picture, its converted copy and the plane: checked here, so Qt's own cap on
        // large pictures is not needed and a 100-megapixel panorama loads.
        if (Status fits = CheckPlanesFit(size.width(), size.height(), 3); !fits) {
            reason = fits.message();
            return false;
        }
        reader.setAllocationLimit(0);
    }
    QImage image;
    if (!reader.read(&image)) {
        reason = reader.errorString().toStdString();
        return false;
    }
    if (image.isNull() || image.width() < 1 || image.height() < 1) {
        reason = "the picture has no pixels";
        return false;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) {
        reason = MemoryShortageMessage(size.width(), size.height(), 1);
        return false;
    }
    PixelPlane decoded;
    if (Status allocated = decoded.allocate(image.width(), image.height()); !allocated) {
        reason = allocated.message();
        return false;
    }
    CopyIntoPlane(image, decoded);
    plane = std::move(decoded);
    return true;
}

// Qt's own text for a reader that gave up without saying why.
bool IsVague(const std::string& reason) {
    return reason.empty() || reason == "Unable to read image data" || reason == "Unknown error";
}

}  // namespace

bool DecodeWithQt(const std::string& path, PixelPlane& plane, std::string& reason) {
    PixelPlane decoded;
    CaughtLibraryMessages caught;
    bool ok = ReadWithQt(path, decoded, reason);
    // A library that reported an error has seen damaged data even when Qt hands back a
    // picture (it may have filled what it could not read); such a picture is refused too.
    const std::string libraryReason = LibraryReason(caught.finish());
    if (!libraryReason.empty() && (ok || IsVague(reason))) {
        reason = libraryReason;
        ok = false;
    }
    if (ok) {
        plane = std::move(decoded);
    }
    return ok;
}

}  // namespace k3v

namespace k3v {

bool PeekPictureSize(const std::string& path, int32_t& width, int32_t& height) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;  // a pipe would block the reader; loading says what is wrong
    }
    CaughtLibraryMessages caught;  // a damaged header is reported when the picture is loaded
    QImageReader reader(QString::fromStdString(path));
    const QSize size = reader.size();
    if (!size.isValid()) {
        return false;
    }
    width = size.width();
    height = size.height();
    return true;
}

}  // namespace k3v
