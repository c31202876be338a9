#include "app/preview_renderer.h"

#include <QCoreApplication>
#include <QPainter>

#include "stereo/preview_geometry.h"

namespace k3v {

namespace {

const QPoint kTextOrigin(10, 10);

// Text drawn with an opaque background, its top-left corner at `origin`.
void DrawBoxedText(QPainter& painter, const QString& text, const QColor& background) {
    const QFontMetrics metrics = painter.fontMetrics();
    const QRect box(kTextOrigin, QSize(metrics.horizontalAdvance(text), metrics.height()));
    painter.fillRect(box, background);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

QImage BlankPreview(const QColor& colour) {
    QImage image(kPreviewWidth, kPreviewHeight, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

}  // namespace

QImage RenderStartPreview() {
    QImage image = BlankPreview(QColor(0x33, 0x33, 0x33));
    QPainter painter(&image);
    DrawBoxedText(painter, QCoreApplication::translate("k3v::Preview", "Main Window"),
                  QColor(0x33, 0x33, 0x33));
    return image;
}

QImage ScaledPlanePicture(const PixelPlane& plane, QSize size) {
    // Byte 0 blue .. byte 2 red in a 32-bit word is QImage's RGB32 on every byte order, as the
    // pixel is read as one uint32_t. The fourth byte is ignored by RGB32.
    const QImage bottomUp(reinterpret_cast<const uchar*>(plane.data()), plane.width(),
                          plane.height(), qsizetype(plane.width()) * 4, QImage::Format_RGB32);
    return bottomUp.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .mirrored(false, true);
}

QImage RenderPreview(const ConversionSettings& settings, const StereoPlanes& planes,
                     SizeText sizeText) {
    QImage image = BlankPreview(Qt::black);
    QPainter painter(&image);
    const int32_t width = planes.SourceWidth;
    const int32_t height = planes.SourceHeight;
    if (width > 0 && height > 0 && !planes.FirstView.empty()) {
        const PreviewPlacement placement =
            ComputePreviewPlacement(width, height, settings.StereoLayout, settings.HalfSize);
        const auto draw = [&painter](const PixelPlane& plane, const PreviewRect& rect) {
            if (rect.width <= 0 || rect.height <= 0 || plane.empty()) {
                return;
            }
            painter.drawImage(QPoint(rect.left, rect.top),
                              ScaledPlanePicture(plane, QSize(rect.width, rect.height)));
        };
        const bool parallel = LeftEyeOnTheLeft(settings);
        draw(parallel ? planes.SecondView : planes.FirstView, placement.firstView);
        if (placement.showsSecondView) {
            draw(parallel ? planes.FirstView : planes.SecondView, placement.secondView);
        }
    }
    if (sizeText == SizeText::Hidden) {
        return image;
    }
    DrawBoxedText(
        painter,
        QCoreApplication::translate("k3v::Preview", " Image size: %1x%2 ").arg(width).arg(height),
        QColor(0x80, 0x80, 0x80));
    return image;
}

}  // namespace k3v
