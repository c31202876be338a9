#include "app/gradient_button.h"

#include <qdrawutil.h>
#include <QFocusEvent>
#include <QPainter>
#include <cmath>

namespace k3v {

namespace {

// The window's grey over the bands, and a caption that stands out from them less than white.
const QColor kDisabledWash(0x87, 0x87, 0x87, 0xA0);
const QColor kDisabledCaption(0xD0, 0xD0, 0xD0);

}  // namespace

QColor GradientBandColor(GradientKey key, int band) {
    switch (key) {
        case GradientKey::Red:
            return QColor(255 - band, 0, 0);
        case GradientKey::Cyan:
            return QColor(0, 255 - band, 255 - band);
        case GradientKey::Blue:
            break;
    }
    return QColor(0, 199 - band, 255 - band);
}

void PaintGradient(QPainter& painter, int width, int height, GradientKey key) {
    const float step = 0.005f * float(height);
    for (int band = 0; band < 200; ++band) {
        const int top = int(std::lrintf(float(band) * step));
        const int bottom = int(std::lrintf(float(band + 1) * step));
        // One pixel wider than the button, as the bands always were.
        painter.fillRect(QRect(0, top, width + 1, bottom - top), GradientBandColor(key, band));
    }
}

GradientButton::GradientButton(const QString& caption, GradientKey key, QWidget* parent)
    : QAbstractButton(parent), key_(key) {
    setText(caption);
    setAccessibleName(caption);
    setFocusPolicy(Qt::StrongFocus);
}

void GradientButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The edge is drawn alike, enabled or not.
    QPalette colours = palette();
    colours.setCurrentColorGroup(QPalette::Active);
    // The thin sunken "static edge" round the button; the face lies inside it.
    qDrawShadeRect(&painter, rect(), colours, true, 1, 0);
    const QRect face = rect().adjusted(1, 1, -1, -1);
    painter.setClipRect(face);
    painter.translate(face.topLeft());
    const QRect faceRect(QPoint(0, 0), face.size());
    if (isDown()) {
        // No background: the window shows through the sunken edge.
        qDrawShadePanel(&painter, faceRect, colours, true, 2);
        painter.setPen(QColor(0, 0, 255));
        painter.drawText(faceRect, Qt::AlignCenter | Qt::TextSingleLine, tr("Process"));
        return;
    }
    PaintGradient(painter, faceRect.width(), faceRect.height(), key_);
    if (!isEnabled()) {
        painter.fillRect(faceRect, kDisabledWash);
    }
    painter.setPen(isEnabled() ? QColor(Qt::white) : kDisabledCaption);
    painter.drawText(faceRect, Qt::AlignCenter | Qt::TextSingleLine, text());
    if (keyboardFocus_ && hasFocus()) {
        painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter.drawRect(faceRect.adjusted(2, 2, -3, -3));
    }
}

void GradientButton::focusInEvent(QFocusEvent* event) {
    // Only keyboard users need to see where the focus is; a click shows no frame.
    keyboardFocus_ = event->reason() == Qt::TabFocusReason ||
                     event->reason() == Qt::BacktabFocusReason ||
                     event->reason() == Qt::ShortcutFocusReason;
    QAbstractButton::focusInEvent(event);
}

void GradientButton::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    QAbstractButton::focusOutEvent(event);
}

}  // namespace k3v
