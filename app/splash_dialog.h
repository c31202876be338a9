#pragma once
// The splash screen shown before the main window, and the clickable web-address label that it
// shares with the About box.

#include <QCursor>
#include <QDialog>
#include <QLabel>
#include <QUrl>
#include <functional>

namespace k3v {

using UrlOpener = std::function<void(const QUrl&)>;

// A label that reports a click with the left button, or Space or Enter while it has the
// keyboard focus; it shows `cursor` while the pointer is over it.
class LinkLabel : public QLabel {
    Q_OBJECT
  public:
    LinkLabel(const QString& text, const QCursor& cursor, QWidget* parent);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

// Closing by "Start" or by the close box both lead on to the main window; clicking the web
// address opens it and leaves the splash open.
class SplashDialog : public QDialog {
    Q_OBJECT
  public:
    SplashDialog(const QCursor& linkCursor, UrlOpener openUrl);
};

}  // namespace k3v
