#pragma once
// Every modal conversation with the user, and every hand-over to the desktop, goes through this
// interface. The program uses QtUserDialogs; tests answer with scripted fakes.

#include <QCursor>
#include <QPointer>
#include <QString>
#include <QUrl>

class QWidget;

namespace k3v {

enum class PictureSlot { First = 0, Second = 1, DepthMap = 2 };

class UserDialogs {
  public:
    virtual ~UserDialogs() = default;

    // The open dialog for the first or second picture, starting in `folder`. Empty: cancelled.
    virtual QString openPicture(const QString& folder, PictureSlot slot) = 0;
    // The save dialog, starting in `folder` with `proposedName` filled in and the type of
    // extension `type` chosen ("jpg", "bmp", "mpo", "jps"; another: the first). Empty: cancelled.
    virtual QString savePicture(const QString& folder, const QString& proposedName,
                                const QString& type) = 0;
    // Message boxes with an OK button: caption "Warning" and the exclamation icon, or caption
    // "Information:" and the information icon.
    virtual void warning(const QString& text) = 0;
    virtual void information(const QString& text) = 0;
    // OK / Cancel with the exclamation icon; true for OK.
    virtual bool confirm(const QString& text, const QString& caption) = 0;
    // The About box, modal; returns when it is closed.
    virtual void showAbout() = 0;
    // Hands a file or web address to the desktop's default application.
    virtual void openUrl(const QUrl& url) = 0;
};

class QtUserDialogs : public UserDialogs {
  public:
    explicit QtUserDialogs(const QCursor& linkCursor) : linkCursor_(linkCursor) {}

    // The window that owns the dialogs; until set they have no owner.
    void setOwner(QWidget* owner) { owner_ = owner; }

    QString openPicture(const QString& folder, PictureSlot slot) override;
    QString savePicture(const QString& folder, const QString& proposedName,
                        const QString& type) override;
    void warning(const QString& text) override;
    void information(const QString& text) override;
    bool confirm(const QString& text, const QString& caption) override;
    void showAbout() override;
    void openUrl(const QUrl& url) override;

  private:
    QPointer<QWidget> owner_;
    QCursor linkCursor_;
};

}  // namespace k3v
