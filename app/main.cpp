// k3v-stereo: start-up. The link cursor, the splash screen (modal), the planes with the black
// placeholder picture and the default settings, then the main window until the user confirms
// "Are you sure?". Every start begins from the same defaults; nothing is read or saved.
//
// For the documentation screenshot only: with K3V_SCREENSHOT_LOAD=<picture> and
// K3V_SCREENSHOT_OUT=<png> set, the splash is skipped, the picture is loaded, the window is
// saved into the PNG and the program ends. K3V_SCREENSHOT_DIALOGS=<folder> also saves the
// splash screen, the About box and a mode button's balloon there.

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/app_state.h"
#include "app/balloon_help.h"
#include "app/click_sound.h"
#include "app/main_window.h"
#include "app/splash_dialog.h"
#include "app/user_dialogs.h"

namespace {

QCursor LoadLinkCursor() {
    const QPixmap shape(QStringLiteral(":/k3v/autor"));
    if (shape.isNull()) {
        return QCursor(Qt::PointingHandCursor);
    }
    return QCursor(shape, 6, 1);
}

void CentreOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen()) {
        const QRect frame = window.frameGeometry();
        window.move(screen->availableGeometry().center() - frame.center() + frame.topLeft());
    }
}

// Saves the splash screen, the About box and the balloon of "K3V Stereo" into `folder`.
bool SaveDialogPictures(k3v::MainWindow& window, const QCursor& linkCursor, const QString& folder) {
    const auto ignore = [](const QUrl&) {};
    k3v::SplashDialog splash(linkCursor, ignore);
    k3v::AboutDialog about(&window, linkCursor, ignore);
    bool saved = splash.grab().save(QDir(folder).filePath(QStringLiteral("splash.png")));
    saved = about.grab().save(QDir(folder).filePath(QStringLiteral("about.png"))) && saved;
    auto* help = window.findChild<k3v::BalloonHelp*>();
    if (help != nullptr) {
        help->showFor(window.control(k3v::kCmdK3vStereo));
        saved = help->balloon().grab().save(QDir(folder).filePath(QStringLiteral("balloon.png"))) &&
                saved;
        help->hide();
    }
    return saved;
}

// Loads the picture, saves the window into a PNG and quits; returns the exit status.
int TakeScreenshot(QApplication& app, k3v::MainWindow& window, const QCursor& linkCursor,
                   const QString& picture, const QString& output) {
    window.loadPicture(picture, k3v::PictureSlot::First);
    int result = 1;
    QTimer::singleShot(500, &app, [&] {
        result = window.grab().save(output) ? 0 : 1;
        const QString dialogs = qEnvironmentVariable("K3V_SCREENSHOT_DIALOGS");
        if (!dialogs.isEmpty() && !SaveDialogPictures(window, linkCursor, dialogs)) {
            result = 1;
        }
        app.exit(result);
    });
    app.exec();
    return result;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("k3v-stereo"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    const QString screenshotPicture = qEnvironmentVariable("K3V_SCREENSHOT_LOAD");
    const QString screenshotOutput = qEnvironmentVariable("K3V_SCREENSHOT_OUT");
    const bool screenshot = !screenshotPicture.isEmpty() && !screenshotOutput.isEmpty();

    const QCursor linkCursor = LoadLinkCursor();
    k3v::QtUserDialogs dialogs(linkCursor);
    if (!screenshot) {
        k3v::SplashDialog splash(linkCursor, [&dialogs](const QUrl& url) { dialogs.openUrl(url); });
        splash.exec();
    }

    k3v::AppState state;
    const k3v::Status ready = k3v::MakeStartState(state, QDir::currentPath());
    if (!ready.ok()) {
        QMessageBox::critical(nullptr, QStringLiteral("Warning"),
                              QString::fromStdString(ready.message()));
        return 1;
    }

    k3v::QtClickSound sound;
    k3v::MainWindow window(state, dialogs, sound, QApplication::applicationDirPath());
    dialogs.setOwner(&window);
    window.show();
    CentreOnScreen(window);

    if (screenshot) {
        return TakeScreenshot(app, window, linkCursor, screenshotPicture, screenshotOutput);
    }
    app.exec();
    return 0;
}
