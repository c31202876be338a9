#include "app/path_field.h"

#include <QPainter>

namespace k3v {

PathField::PathField(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0xC7, 0xC7, 0xC7));
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    setAutoFillBackground(true);
}

void PathField::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    setToolTip(text);
    update();
}

QString PathField::displayedText() const {
    return fontMetrics().elidedText(text_, Qt::ElideMiddle, contentsRect().width() - 4);
}

void PathField::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect().adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     displayedText());
}

}  // namespace k3v
