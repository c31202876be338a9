#include "app/start_up.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "app/app_state.h"

namespace k3v {

void SetUpApplication() {
    QApplication::setApplicationName(QStringLiteral("k3v-stereo"));
    QApplication::setStyle(QStringLiteral("Fusion"));
}

QCursor LoadLinkCursor() {
    const QPixmap shape(QStringLiteral(":/k3v/autor"));
    if (shape.isNull()) {
        return QCursor(Qt::PointingHandCursor);
    }
    return QCursor(shape, 6, 1);
}

bool PrepareStartState(AppState& state) {
    const Status ready = MakeStartState(state, QDir::currentPath());
    if (!ready.ok()) {
        QMessageBox::critical(nullptr, QCoreApplication::translate("k3v::UserDialogs", "Warning"),
                              QString::fromStdString(ready.message()));
        return false;
    }
    return true;
}

void CentreOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen()) {
        const QRect frame = window.frameGeometry();
        window.move(screen->availableGeometry().center() - frame.center() + frame.topLeft());
    }
}

std::unique_ptr<StartedWindow> ShowMainWindow(QtUserDialogs& dialogs,
                                              std::unique_ptr<QSettings> store) {
    auto started = std::make_unique<StartedWindow>();
    if (!PrepareStartState(started->state)) {
        return nullptr;
    }
    started->window = std::make_unique<MainWindow>(started->state, dialogs, started->sound,
                                                   QApplication::applicationDirPath());
    started->store = std::move(store);
    started->window->rememberIn(started->store.get());
    dialogs.setOwner(started->window.get());
    started->window->show();
    CentreOnScreen(*started->window);
    return started;
}

}  // namespace k3v
