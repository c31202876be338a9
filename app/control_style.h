#pragma once
// Colours and edges of the window's controls.

#include <QCheckBox>
#include <QColor>
#include <QMouseEvent>
#include <QRadioButton>

class QFrame;

namespace k3v {

inline const QColor kWindowGrey(0x87, 0x87, 0x87);
inline const QColor kGroupGrey(0x88, 0x88, 0x88);
inline const QColor kOptionGrey(0xC0, 0xC0, 0xC0);

// Text and background of a control that paints its own background. While the control is
// disabled its text is greyed: drawn halfway between the text and the background colour.
void SetColours(QWidget* widget, const QColor& text, const QColor& background);
// Only the text colour (greyed the same way while disabled); the background stays as it is.
void SetTextColour(QWidget* widget, const QColor& text);

// A check box with the thin sunken "static edge" round it, that reacts to a click anywhere
// inside that edge, not only on its box and caption.
class EdgedCheckBox : public QCheckBox {
  public:
    EdgedCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

    // An outline round the box itself, for backgrounds so dark that the style's own outline
    // (a darker shade of the background) vanishes and an unchecked box could not be seen. The
    // keyboard focus then shows as a dotted frame in the text colour round the caption, since
    // the style's focus frame does not fit in the box's height.
    void setIndicatorOutline(const QColor& colour) { indicatorOutline_ = colour; }

  protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    QColor indicatorOutline_;     // invalid: the style's own outline only
    bool keyboardFocus_ = false;  // Tab has arrived here, not a click
};

// The sunken two-pixel edge drawn round `inner` (a sibling that paints all of its own area),
// in shades of the window's grey.
QFrame* MakeSunkenEdge(QWidget* parent, const QRect& inner);

// An option button whose double-click counts as one click: the second click of a double-click
// is not a new choice.
class OptionButton : public QRadioButton {
  public:
    OptionButton(const QString& text, QWidget* parent) : QRadioButton(text, parent) {}

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
};

}  // namespace k3v
