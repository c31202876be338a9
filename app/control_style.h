#pragma once
// Colours and edges of the window's controls.

#include <qdrawutil.h>
#include <QCheckBox>
#include <QColor>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>

namespace k3v {

inline const QColor kWindowGrey(0x87, 0x87, 0x87);
inline const QColor kGroupGrey(0x88, 0x88, 0x88);
inline const QColor kOptionGrey(0xC0, 0xC0, 0xC0);

// Text and background of a control that paints its own background.
void SetColours(QWidget* widget, const QColor& text, const QColor& background);
// Only the text colour; the background stays as it is.
void SetTextColour(QWidget* widget, const QColor& text);

// A check box with the thin sunken "static edge" round it, that reacts to a click anywhere
// inside that edge, not only on its box and caption.
class EdgedCheckBox : public QCheckBox {
  public:
    EdgedCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

  protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void paintEvent(QPaintEvent* event) override {
        QCheckBox::paintEvent(event);
        QPainter painter(this);
        qDrawShadeRect(&painter, rect(), palette(), true, 1, 0);
    }
};

// An option button whose double-click counts as one click: the second click of a double-click
// is not a new choice.
class OptionButton : public QRadioButton {
  public:
    OptionButton(const QString& text, QWidget* parent) : QRadioButton(text, parent) {}

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
};

}  // namespace k3v
