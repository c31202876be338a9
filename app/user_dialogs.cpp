#include "app/user_dialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <memory>

#include "app/about_dialog.h"
#include "app/file_dialogs.h"

namespace k3v {

namespace {

QString RunFileDialog(QFileDialog* raw) {
    std::unique_ptr<QFileDialog> dialog(raw);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return {};
    }
    return dialog->selectedFiles().constFirst();
}

}  // namespace

QString QtUserDialogs::openPicture(const QString& folder, PictureSlot slot) {
    const QString title = slot == PictureSlot::First
                              ? QCoreApplication::translate("k3v::UserDialogs", "Load 1.Panorama")
                          : slot == PictureSlot::Second
                              ? QCoreApplication::translate("k3v::UserDialogs", "Load 2.Panorama")
                              : QCoreApplication::translate("k3v::UserDialogs", "Load depth map");
    return RunFileDialog(MakeOpenPictureDialog(owner_, title, folder));
}

QString QtUserDialogs::savePicture(const QString& folder, const QString& proposedName,
                                   const QString& type) {
    return RunFileDialog(MakeSaveStereoDialog(owner_, folder, proposedName, type));
}

void QtUserDialogs::warning(const QString& text) {
    QMessageBox::warning(owner_, QCoreApplication::translate("k3v::UserDialogs", "Warning"), text);
}

void QtUserDialogs::information(const QString& text) {
    QMessageBox::information(owner_,
                             QCoreApplication::translate("k3v::UserDialogs", "Information:"), text);
}

bool QtUserDialogs::confirm(const QString& text, const QString& caption) {
    return QMessageBox::warning(owner_, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                                QMessageBox::Ok) == QMessageBox::Ok;
}

void QtUserDialogs::showAbout() {
    AboutDialog about(owner_, linkCursor_, [this](const QUrl& url) { openUrl(url); });
    about.exec();
}

void QtUserDialogs::openUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

}  // namespace k3v
