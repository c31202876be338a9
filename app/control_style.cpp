#include "app/control_style.h"

#include <qdrawutil.h>
#include <QFocusEvent>
#include <QFrame>
#include <QPainter>
#include <QStyleOptionButton>

namespace k3v {

namespace {

QColor Halfway(const QColor& a, const QColor& b) {
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

void SetTextRoles(QPalette& palette, const QColor& text, const QColor& background) {
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        palette.setColor(role, text);
        palette.setColor(QPalette::Disabled, role, Halfway(text, background));
    }
}

}  // namespace

void SetColours(QWidget* widget, const QColor& text, const QColor& background) {
    QPalette palette = widget->palette();
    for (const auto role : {QPalette::Window, QPalette::Button, QPalette::Base}) {
        palette.setColor(role, background);
    }
    SetTextRoles(palette, text, background);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetTextColour(QWidget* widget, const QColor& text) {
    QPalette palette = widget->palette();
    const QColor background = palette.color(QPalette::Active, QPalette::Window);
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText}) {
        palette.setColor(role, text);
        palette.setColor(QPalette::Disabled, role, Halfway(text, background));
    }
    widget->setPalette(palette);
}

void EdgedCheckBox::paintEvent(QPaintEvent* event) {
    QCheckBox::paintEvent(event);
    QPainter painter(this);
    if (indicatorOutline_.isValid()) {
        QStyleOptionButton option;
        initStyleOption(&option);
        const QRect box = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
        painter.setPen(indicatorOutline_);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        if (keyboardFocus_ && hasFocus()) {
            // Inside the edge: the style's focus frame reaches past the box's 18 rows.
            const QRect caption =
                style()->subElementRect(QStyle::SE_CheckBoxFocusRect, &option, this) &
                rect().adjusted(2, 2, -2, -2);
            painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
            painter.drawRect(caption.adjusted(0, 0, -1, -1));
        }
    }
    qDrawShadeRect(&painter, rect(), palette(), true, 1, 0);
}

void EdgedCheckBox::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ = event->reason() == Qt::TabFocusReason ||
                     event->reason() == Qt::BacktabFocusReason ||
                     event->reason() == Qt::ShortcutFocusReason;
    QCheckBox::focusInEvent(event);
}

void EdgedCheckBox::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    QCheckBox::focusOutEvent(event);
}

QFrame* MakeSunkenEdge(QWidget* parent, const QRect& inner) {
    auto* edge = new QFrame(parent);
    edge->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    edge->setGeometry(inner.adjusted(-2, -2, 2, 2));
    QPalette palette = edge->palette();
    palette.setColor(QPalette::Light, kWindowGrey.lighter(160));
    palette.setColor(QPalette::Midlight, kWindowGrey.lighter(125));
    palette.setColor(QPalette::Dark, kWindowGrey.darker(160));
    palette.setColor(QPalette::Shadow, kWindowGrey.darker(300));
    edge->setPalette(palette);
    edge->setFocusPolicy(Qt::NoFocus);
    return edge;
}

}  // namespace k3v
