#include "app/file_dialogs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>

#include <iterator>

namespace k3v {

QList<FileFilter> PictureFilters() {
    return {
        {QCoreApplication::translate("k3v::FileDialogs", "All panorama files"),
         {QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.bmp"),
          QStringLiteral("*.png"), QStringLiteral("*.tif")}},
        {QCoreApplication::translate("k3v::FileDialogs", "Panoramas/Photo JPG files  (*.JPG)"),
         {QStringLiteral("*.jpg")}},
        {QCoreApplication::translate("k3v::FileDialogs", "Panoramas/Photo JPEG files (*.JPEG)"),
         {QStringLiteral("*.jpeg")}},
        {QCoreApplication::translate("k3v::FileDialogs", "Panoramas/Photo BMP files  (*.BMP)"),
         {QStringLiteral("*.bmp")}},
        {QCoreApplication::translate("k3v::FileDialogs", "Panoramas/Photo PNG files  (*.PNG)"),
         {QStringLiteral("*.png")}},
        {QCoreApplication::translate("k3v::FileDialogs",
                                     "Panoramas/Photo TIFF video files (*.TIF)"),
         {QStringLiteral("*.tif")}},
    };
}

QList<FileFilter> StereoImageFilters() {
    return {
        {QCoreApplication::translate("k3v::FileDialogs", "3D Stereo Files (*.jpg)"),
         {QStringLiteral("*.jpg")}},
        {QCoreApplication::translate("k3v::FileDialogs", "3D Stereo Files (*.bmp)"),
         {QStringLiteral("*.bmp")}},
        {QCoreApplication::translate("k3v::FileDialogs", "MPO Stereo Files (*.mpo)"),
         {QStringLiteral("*.mpo")}},
        {QCoreApplication::translate("k3v::FileDialogs", "JPS Stereo Files (*.jps)"),
         {QStringLiteral("*.jps")}},
        // For pictures past JPEG's 65535 pixels; both endings are offered.
        {QCoreApplication::translate("k3v::FileDialogs", "3D Stereo Files (*.tif)"),
         {QStringLiteral("*.tif"), QStringLiteral("*.tiff")}},
    };
}

QString CaseInsensitivePattern(const QString& pattern) {
    QString result;
    for (const QChar c : pattern) {
        if (c.isLetter()) {
            result += u'[';
            result += c.toLower();
            result += c.toUpper();
            result += u']';
        } else {
            result += c;
        }
    }
    return result;
}

namespace {

// Qt's dialog reads a filter's patterns from the last parenthesised group of its text. It gets
// the case-insensitive patterns that way; the type list is then relabelled with our own texts,
// which Qt would otherwise show with the patterns appended (or squeeze their double blanks).
void ApplyFilters(QFileDialog* dialog, const QList<FileFilter>& filters, int chosen = 0) {
    QStringList qtFilters;
    for (const FileFilter& filter : filters) {
        QStringList patterns;
        for (const QString& pattern : filter.patterns) {
            patterns += CaseInsensitivePattern(pattern);
        }
        qtFilters += filter.text + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    dialog->setNameFilters(qtFilters);
    dialog->selectNameFilter(qtFilters.at(chosen));
    if (auto* typeList = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        for (int row = 0; row < typeList->count() && row < filters.size(); ++row) {
            typeList->setItemText(row, filters[row].text);
        }
    }
}

}  // namespace

QFileDialog* MakeOpenPictureDialog(QWidget* owner, const QString& title, const QString& folder) {
    auto* dialog = new QFileDialog(owner, title, folder);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setViewMode(QFileDialog::Detail);
    ApplyFilters(dialog, PictureFilters());
    return dialog;
}

QFileDialog* MakeSaveStereoDialog(QWidget* owner, const QString& folder,
                                  const QString& proposedName, const QString& savedType) {
    auto* dialog = new QFileDialog(
        owner, QCoreApplication::translate("k3v::FileDialogs", "Save Stereo Image"), folder);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setViewMode(QFileDialog::Detail);
    const QList<FileFilter> filters = StereoImageFilters();
    int chosen = 0;
    for (int row = 0; row < filters.size(); ++row) {
        if (filters[row].patterns.contains(QStringLiteral("*.") + savedType.toLower())) {
            chosen = row;
        }
    }
    ApplyFilters(dialog, filters, chosen);
    dialog->setDefaultSuffix(filters[chosen].patterns.constFirst().mid(2));  // "*.jpg": "jpg"
    // A name typed without extension gets the type chosen in the list.
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString&) {
        static const QString kSuffixes[] = {QStringLiteral("jpg"), QStringLiteral("bmp"),
                                            QStringLiteral("mpo"), QStringLiteral("jps"),
                                            QStringLiteral("tif")};
        constexpr int kTypes = int(std::size(kSuffixes));
        auto* typeList = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        const int type = typeList != nullptr ? typeList->currentIndex() : 0;
        dialog->setDefaultSuffix(kSuffixes[type >= 0 && type < kTypes ? type : 0]);
    });
    dialog->selectFile(proposedName);
    return dialog;
}

}  // namespace k3v
