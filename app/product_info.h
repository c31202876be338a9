#pragma once
// Names and numbers the program shows about itself.

#include <QCoreApplication>
#include <QFont>
#include <QString>

namespace k3v {

// Functions rather than constants, so the texts are looked up in the translation installed at
// the time they are shown.
inline QString ProductName() {
    return QCoreApplication::translate("k3v", "Quorvex Still K3V Stereo Converter");
}
inline QString TitleText() {
    return QCoreApplication::translate("k3v", "Quorvex K3V Still Stereo Converter");
}
inline QString BuildText() {
    return QCoreApplication::translate("k3v", " Build 011.01");
}
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

// The 8-point dialog font; where it is missing, the narrowest sans serif at hand stands in, so
// the captions fit the control sizes that were laid out for it.
inline QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans Condensed")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

// "Times New Roman" bold italic, for the titles; a condensed serif stands in where it is
// missing, being closest to its width.
inline QFont TitleSerifFont(int points) {
    QFont font;
    font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                      QStringLiteral("DejaVu Serif Condensed")});
    font.setStyleHint(QFont::Serif);
    font.setPointSize(points);
    font.setBold(true);
    font.setItalic(true);
    return font;
}

}  // namespace k3v
