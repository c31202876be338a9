// k3v-stereo: start-up. The link cursor, the splash screen (modal), the planes with the black
// placeholder picture and the default settings, then the main window until the user confirms
// "Are you sure?". Every start begins from the same defaults; nothing is read or saved.

#include <QApplication>

#include "app/splash_dialog.h"
#include "app/start_up.h"
#include "app/user_dialogs.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    k3v::SetUpApplication();

    const QCursor linkCursor = k3v::LoadLinkCursor();
    k3v::QtUserDialogs dialogs(linkCursor);
    {
        k3v::SplashDialog splash(linkCursor, [&dialogs](const QUrl& url) { dialogs.openUrl(url); });
        splash.exec();
    }

    const auto started = k3v::ShowMainWindow(dialogs);
    if (started == nullptr) {
        return 1;
    }
    app.exec();
    return 0;
}
