#pragma once
// The About box: the program's name, build and web address on blue. It has no button; its
// close box (or Escape) closes it.

#include <QCursor>
#include <QDialog>

#include "app/splash_dialog.h"

namespace k3v {

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    AboutDialog(QWidget* owner, const QCursor& linkCursor, UrlOpener openUrl);
};

}  // namespace k3v
