#pragma once
// A flat push button ("Reset", "Start"): a one-pixel frame in the text colour and no raised
// face; the style draws the pressed look. A dotted rectangle shows the keyboard focus, unless
// a mouse click put the focus there (as on the command buttons).

#include <QPushButton>

namespace k3v {

class FlatButton : public QPushButton {
    Q_OBJECT
  public:
    FlatButton(const QString& text, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    bool focusByMouse_ = false;
};

}  // namespace k3v
