#include "app/flat_button.h"

#include <QFocusEvent>
#include <QPainter>

namespace k3v {

FlatButton::FlatButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setFlat(true);
}

void FlatButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const QColor ink = palette().color(QPalette::ButtonText);
    painter.setPen(ink);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (hasFocus() && !focusByMouse_) {
        painter.setPen(QPen(ink, 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void FlatButton::focusInEvent(QFocusEvent* event) {
    // Coming back to the window or from a menu keeps what the last real focus change said.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason) {
        focusByMouse_ = event->reason() == Qt::MouseFocusReason;
    }
    QPushButton::focusInEvent(event);
}

}  // namespace k3v
