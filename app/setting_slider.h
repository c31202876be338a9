#pragma once
// The sliders of the setting groups. A conversion is due once per finished movement, so the
// slider reports exactly that: the release after dragging the thumb (even at the value it
// started from), the release after pressing on the groove (however many page steps the held
// button made), and each step made with the keyboard or the wheel. Its tooltip is its value,
// shown on hovering and following the thumb while it is dragged.

#include <QSlider>

#include "stereo/conversion_settings.h"

namespace k3v {

// A fifth of the range, rounded, at least 1: the step of Page Up, Page Down and a click on the
// groove (255 steps took up to 128 presses at one step each).
int PageStepFor(SettingRange range);

class SettingSlider : public QSlider {
    Q_OBJECT
  public:
    SettingSlider(SettingRange range, QWidget* parent);

  signals:
    void movementEnded();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void sliderChange(SliderChange change) override;

  private:
    void valueMoved();
    void showValueAtThumb();

    bool pressing_ = false;
    int valueAtPress_ = 0;
};

}  // namespace k3v
