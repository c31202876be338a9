#pragma once
// The open and save dialogs, configured but not shown, so tests can inspect them.

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace k3v {

struct FileFilter {
    QString text;          // what the dialog's type list shows
    QStringList patterns;  // as written ("*.jpg"); matched without regard to case
};

// "All panorama files" and the five single types, in the order the dialog lists them.
QList<FileFilter> PictureFilters();
// "3D Stereo Files (*.jpg)", "3D Stereo Files (*.bmp)", the MPO and JPS types, then
// "3D Stereo Files (*.tif)" (TIFF, .tif or .tiff).
QList<FileFilter> StereoImageFilters();

// "*.jpg" as "*.[jJ][pP][gG]": the file dialog matches case-sensitively on case-sensitive file
// systems, and a camera's IMG_1.JPG must be offered too.
QString CaseInsensitivePattern(const QString& pattern);

// The open dialog: row 1 of the picture filters selected, details view, starting in `folder`.
QFileDialog* MakeOpenPictureDialog(QWidget* owner, const QString& title, const QString& folder);
// The save dialog: "Save Stereo Image", asks before replacing a file. The type of extension
// `savedType` ("tiff" too) is chosen, and its first pattern's is the default suffix; another or
// none chooses the first, "jpg".
QFileDialog* MakeSaveStereoDialog(QWidget* owner, const QString& folder,
                                  const QString& proposedName, const QString& savedType = {});

}  // namespace k3v
