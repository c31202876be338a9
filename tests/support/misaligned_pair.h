#pragma once
// Standard Stereo pairs for the alignment's callers: a textured picture and a copy of it turned,
// scaled and moved as two cameras on a bar would leave it, and a blank pair with nothing to
// match.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTransform>

namespace k3v::testing {

// Blocks and discs of many sizes and colours: corners and edges for the feature matching.
inline QImage TexturedPicture(int width, int height, quint32 seed) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(120, 130, 110));
    QRandomGenerator random(seed);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < width * height / 300; ++i) {
        const QColor colour(random.bounded(256), random.bounded(256), random.bounded(256));
        const QRectF box(random.bounded(width), random.bounded(height), 4 + random.bounded(30),
                         4 + random.bounded(30));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        if (i % 2 == 0) {
            painter.drawRect(box);
        } else {
            painter.drawEllipse(box);
        }
    }
    return image;
}

// `picture` turned by `degrees` and scaled by `scale` about its centre, then moved `down`
// pixels down, on black where nothing of it falls.
inline QImage Misaligned(const QImage& picture, double degrees, double scale, double down) {
    QImage moved(picture.size(), QImage::Format_RGB32);
    moved.fill(Qt::black);
    QPainter painter(&moved);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPointF centre(picture.width() / 2.0, picture.height() / 2.0);
    QTransform transform;
    transform.translate(centre.x(), centre.y() + down);
    transform.rotate(degrees);
    transform.scale(scale, scale);
    transform.translate(-centre.x(), -centre.y());
    painter.setTransform(transform);
    painter.drawImage(0, 0, picture);
    return moved;
}

}  // namespace k3v::testing
