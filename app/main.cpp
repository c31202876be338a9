// k3v-stereo: start-up. The link cursor, the splash screen (modal), the planes with the black
// placeholder picture and the default settings, then the main window until the user confirms
// "Are you sure?". The window takes the choices the user's settings remember (the Stereo menu,
// the layout, the dialogs' folders, Open Recent) and keeps them there as they change.
// Pictures named on the command line (a file manager's "Open with") are then loaded as the
// "Select" buttons would load them.

#include <QApplication>
#include <cstdio>
#include <memory>

#include "app/command_line.h"
#include "app/display_check.h"
#include "app/lasting_settings.h"
#include "app/splash_dialog.h"
#include "app/start_up.h"
#include "app/user_dialogs.h"
#include "base/raised_privileges.h"

int main(int argc, char* argv[]) {
    // Read before the application object: --help and --version need no display.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args.append(QString::fromLocal8Bit(argv[i]));
    }
    const k3v::StartRequest request = k3v::ParseStartArguments(args);
    switch (request.action) {
        case k3v::StartRequest::Action::PrintHelp:
            std::fputs(k3v::StartHelpText().toLocal8Bit().constData(), stdout);
            return 0;
        case k3v::StartRequest::Action::PrintVersion:
            std::fputs(k3v::StartVersionText().toLocal8Bit().constData(), stdout);
            return 0;
        case k3v::StartRequest::Action::UsageError:
            std::fprintf(stderr, "k3v-stereo: %s\nTry 'k3v-stereo --help' for more information.\n",
                         request.error.toLocal8Bit().constData());
            return 2;
        case k3v::StartRequest::Action::Open:
            break;
    }

    if (k3v::RunsWithRaisedPrivileges()) {
        std::fprintf(stderr, "k3v-stereo: %s\n", k3v::kRaisedPrivilegesMessage);
        return 1;
    }
    if (!k3v::DisplayCanBeTried()) {
        return 1;
    }
    auto noWindow = std::make_unique<k3v::ExitWhenNoWindowCanOpen>();
    QApplication app(argc, argv);
    noWindow.reset();
    k3v::SetUpApplication();

    const QCursor linkCursor = k3v::LoadLinkCursor();
    k3v::QtUserDialogs dialogs(linkCursor);
    {
        k3v::SplashDialog splash(linkCursor, [&dialogs](const QUrl& url) { dialogs.openUrl(url); });
        splash.exec();
    }

    const auto started = k3v::ShowMainWindow(dialogs, k3v::OpenUserSettings());
    if (started == nullptr) {
        return 1;
    }
    started->window->openPictures(request.pictures);
    app.exec();
    return 0;
}
