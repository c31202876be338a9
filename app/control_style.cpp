#include "app/control_style.h"

namespace k3v {

void SetColours(QWidget* widget, const QColor& text, const QColor& background) {
    QPalette palette = widget->palette();
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        palette.setColor(role, text);
    }
    for (const auto role : {QPalette::Window, QPalette::Button, QPalette::Base}) {
        palette.setColor(role, background);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetTextColour(QWidget* widget, const QColor& text) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    widget->setPalette(palette);
}

}  // namespace k3v
