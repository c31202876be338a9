#include "app/setting_slider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>
#include <algorithm>

namespace k3v {

int PageStepFor(SettingRange range) {
    return std::max(1, (range.max - range.min + 2) / 5);
}

SettingSlider::SettingSlider(SettingRange range, QWidget* parent)
    : QSlider(Qt::Horizontal, parent) {
    setRange(range.min, range.max);
    setPageStep(PageStepFor(range));
    connect(this, &QSlider::sliderReleased, this, &SettingSlider::movementEnded);
    connect(this, &QSlider::valueChanged, this, &SettingSlider::valueMoved);
    connect(this, &QSlider::sliderPressed, this, &SettingSlider::showValueAtThumb);
    setToolTip(QString::number(value()));
}

void SettingSlider::sliderChange(SliderChange change) {
    QSlider::sliderChange(change);
    // Also when the window places the thumb with its signals blocked.
    if (change == SliderValueChange) {
        setToolTip(QString::number(value()));
        if (isSliderDown()) {
            showValueAtThumb();
        }
    }
}

void SettingSlider::showValueAtThumb() {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect thumb =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    QToolTip::showText(mapToGlobal(thumb.bottomLeft()), toolTip(), this);
}

void SettingSlider::valueMoved() {
    // Not while the thumb is held, nor while the button is held on the groove: the release
    // reports those movements.
    if (!isSliderDown() && !pressing_ && repeatAction() == SliderNoAction) {
        emit movementEnded();
    }
}

void SettingSlider::mousePressEvent(QMouseEvent* event) {
    // The first page step of a press on the groove happens inside the base class, before it
    // starts repeating; the flag keeps that step from counting as a movement of its own.
    pressing_ = true;
    valueAtPress_ = value();
    QSlider::mousePressEvent(event);
    pressing_ = false;
    if (value() != valueAtPress_ && !isSliderDown() && repeatAction() == SliderNoAction) {
        emit movementEnded();  // a step that does not repeat: already finished
    }
}

void SettingSlider::mouseReleaseEvent(QMouseEvent* event) {
    const bool groovePressed = repeatAction() != SliderNoAction;
    QSlider::mouseReleaseEvent(event);
    if (groovePressed && value() != valueAtPress_) {
        emit movementEnded();
    }
}

}  // namespace k3v
