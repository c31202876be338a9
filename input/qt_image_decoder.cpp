#include "input/qt_image_decoder.h"

#include "input/picture_decoder.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <cstring>

#include "input/bmp_file_check.h"
#include "stereo/memory_budget.h"

namespace k3v {

namespace {

// Premultiplied colours are the picture composited over black; opaque pixels are unchanged.
void CopyIntoPlane(const QImage& image, PixelPlane& plane) {
    const int32_t height = plane.height();
    const size_t width = size_t(plane.width());
    for (int32_t y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        uint32_t* row = plane.row(height - 1 - y);  // planes store the bottom row first
        for (size_t x = 0; x < width; ++x) {
            row[x] = line[x] & 0x00FFFFFFu;
        }
    }
}

}  // namespace

bool DecodeWithQt(const std::string& path, PixelPlane& plane, std::string& reason) {
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
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
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

}  // namespace k3v

namespace k3v {

bool PeekPictureSize(const std::string& path, int32_t& width, int32_t& height) {
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
