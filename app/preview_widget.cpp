#include "app/preview_widget.h"

#include <QPainter>

namespace k3v {

PreviewWidget::PreviewWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(tr("Preview"));
    setFocusPolicy(Qt::NoFocus);
}

void PreviewWidget::showPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(QPoint(0, 0), picture_);
}

}  // namespace k3v
