#pragma once
// The six command buttons: a caption in white on 200 horizontal colour bands. While the button
// is held down it shows "Process" in blue in a sunken edge instead. A disabled button shows
// its bands washed towards the window's grey and its caption greyed.

#include <QAbstractButton>
#include <QColor>

class QPainter;

namespace k3v {

enum class GradientKey { Red, Cyan, Blue };

// The colour of band i (0 at the top .. 199 at the bottom).
QColor GradientBandColor(GradientKey key, int band);

// Fills `width` x `height` from (0, 0) with the 200 bands: band i spans the rows from
// round(i * step) to round((i + 1) * step), step = height / 200 in single precision.
void PaintGradient(QPainter& painter, int width, int height, GradientKey key);

class GradientButton : public QAbstractButton {
    Q_OBJECT
  public:
    GradientButton(const QString& caption, GradientKey key, QWidget* parent);

    GradientKey key() const { return key_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    GradientKey key_;
    bool keyboardFocus_ = false;  // a dotted frame shows where Tab has arrived
};

}  // namespace k3v
