#pragma once
// Names and numbers the program shows about itself.

#include <QString>

namespace k3v {

inline const QString kProductName = QStringLiteral("Quorvex Still K3V Stereo Converter");
inline const QString kTitleText = QStringLiteral("Quorvex K3V Still Stereo Converter");
inline const QString kBuildText = QStringLiteral(" Build 011.01");
inline const QString kWebAddress = QStringLiteral("https://quorvex.example/k3v");

// The splash screen and the About box are laid out in dialog units of the 8-point dialog font:
// a horizontal unit is a quarter of the average character width (6 pixels), a vertical unit an
// eighth of the character height (13 pixels).
constexpr int DialogX(int units) {
    return (units * 6 + 2) / 4;
}
constexpr int DialogY(int units) {
    return (units * 13 + 4) / 8;
}

}  // namespace k3v
