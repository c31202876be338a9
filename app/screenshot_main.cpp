// k3v-screenshot: takes the pictures of the desktop program for its documentation and for
// checking its look by eye. Not installed; tools/take_screenshot.sh runs it under a virtual X
// server.
//
//   k3v-screenshot PICTURE OUTPUT.png [--dialogs FOLDER] [--states FOLDER]
//
// Shows the main window as k3v-stereo does (without the splash), loads PICTURE, saves the window
// into OUTPUT.png and quits. --dialogs also saves the splash screen, the About box and a mode
// button's balloon into FOLDER. --states saves the window in the states whose look is easy to
// get wrong: disabled controls, keyboard focus, the open depth list, a progress line, the
// File, Stereo and View menus, a page step and the full-size window in each mode.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <utility>

#include "app/about_dialog.h"
#include "app/app_state.h"
#include "app/balloon_help.h"
#include "app/click_sound.h"
#include "app/full_size_view.h"
#include "app/job_runner.h"
#include "app/main_window.h"
#include "app/splash_dialog.h"
#include "app/start_up.h"
#include "app/user_dialogs.h"

namespace {

// Lets the window system show what was asked before a picture is taken.
void Settle(int milliseconds = 300) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

// What the screen shows in `area`, popups included (a widget's own grab leaves them out).
QPixmap GrabScreen(const QWidget& window, const QRect& area) {
    return window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

void PressKey(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

class PictureFolder {
  public:
    explicit PictureFolder(const QString& path) : folder_(path) {}
    bool save(const QPixmap& picture, const char* name) {
        const QString file = folder_.filePath(QString::fromLatin1(name));
        const bool saved = picture.save(file);
        if (!saved) {
            qWarning("k3v-screenshot: could not write %s", qPrintable(file));
        }
        ok_ = ok_ && saved;
        return saved;
    }
    bool ok() const { return ok_; }

  private:
    QDir folder_;
    bool ok_ = true;
};

// The splash screen, the About box and the balloon of "K3V Stereo".
bool SaveDialogPictures(k3v::MainWindow& window, const QCursor& linkCursor, const QString& path) {
    PictureFolder folder(path);
    const auto ignore = [](const QUrl&) {};
    k3v::SplashDialog splash(linkCursor, ignore);
    k3v::AboutDialog about(&window, linkCursor, ignore);
    folder.save(splash.grab(), "splash.png");
    folder.save(about.grab(), "about.png");
    if (auto* help = window.findChild<k3v::BalloonHelp*>()) {
        help->showFor(window.control(k3v::kCmdK3vStereo));
        folder.save(help->balloon().grab(), "balloon.png");
        help->hide();
    }
    return folder.ok();
}

// The window in the states whose look is easy to get wrong, one picture each.
bool SaveStatePictures(k3v::MainWindow& window, const QCursor& linkCursor, const QString& path,
                       const QString& picture) {
    using namespace k3v;
    PictureFolder folder(path);

    {
        // Shown, so "Start" has the focus it has when the program starts.
        SplashDialog splash(linkCursor, [](const QUrl&) {});
        splash.show();
        splash.activateWindow();
        Settle();
        folder.save(splash.grab(), "splash-start-focused.png");
    }
    window.activateWindow();
    Settle();

    window.chooseMode(kStandardStereo);
    Settle();
    folder.save(window.grab(), "standard-stereo.png");
    window.chooseMode(kK3vStereo);

    window.chooseSourceKind(kStillPhoto);
    Settle();
    folder.save(window.grab(), "still-photo.png");
    window.chooseSourceKind(kPanorama);

    // The white on black header boxes show the focus that Tab brings them.
    window.control(kCmdStillPhoto)->setFocus(Qt::TabFocusReason);
    Settle();
    folder.save(window.grab(), "still-photo-focused.png");

    // Focus moved by the Tab key, as a keyboard user moves it.
    window.control(kCmdAuto)->setFocus(Qt::TabFocusReason);
    PressKey(window.control(kCmdAuto), Qt::Key_Tab);
    Settle();
    folder.save(window.grab(), "reset-focused.png");

    window.control(kCmdBrightness)->setFocus(Qt::TabFocusReason);
    PressKey(window.control(kCmdBrightness), Qt::Key_Tab);
    PressKey(window.control(kIdBrightnessSlider), Qt::Key_PageUp);
    Settle();
    folder.save(window.grab(), "brightness-page-up.png");

    const QRect frame = window.frameGeometry();
    auto* depthList = static_cast<QComboBox*>(window.control(kCmdDepthList));
    depthList->showPopup();
    Settle();
    const QPoint listCorner = depthList->mapToGlobal(QPoint(-80, -40));
    folder.save(GrabScreen(window, QRect(listCorner, QSize(260, 180))), "depth-list-open.png");
    depthList->hidePopup();

    // The progress line of a long step, taken while it runs, which is then cancelled as Esc
    // cancels it.
    QTimer::singleShot(900, &window, [&] {
        folder.save(window.grab(), "progress.png");
        window.runner()->cancel();
    });
    const Status cancelled =
        window.runner()->run(QObject::tr("Converting"), [](const Progress& progress) {
            for (int percent = 0; percent <= 100 && !progress.cancelled(); ++percent) {
                progress.report(percent / 100.0);
                QThread::msleep(15);
            }
            return progress.cancelled() ? Status::Cancelled() : Status::Ok();
        });
    if (!cancelled.cancelled()) {
        qWarning("k3v-screenshot: the progress line's step was not cancelled");
    }
    Settle();

    QAction* fileMenu = window.menuBar()->actions().value(0);
    window.menuBar()->setActiveAction(fileMenu);
    Settle();
    folder.save(GrabScreen(window, QRect(frame.topLeft(), QSize(360, 260))), "layout-menu.png");
    fileMenu->menu()->hide();
    Settle();

    // The Stereo menu with a method, glasses and the switches chosen (the parallel order
    // following the half-size pair), over their preview.
    for (const int id : {int(kCmdDuboisAnaglyph), int(kCmdAmberBlueGlasses), int(kCmdSwapEyes),
                         int(kCmdHalfSize)}) {
        window.action(id)->trigger();
    }
    Settle();
    folder.save(window.grab(), "amber-blue-glasses.png");  // the icon beside the depth list
    QAction* stereoMenu = window.menuBar()->actions().value(1);
    window.menuBar()->setActiveAction(stereoMenu);
    Settle();
    folder.save(GrabScreen(window, QRect(frame.topLeft(), QSize(520, 420))), "stereo-menu.png");
    stereoMenu->menu()->hide();
    QAction* viewMenu = window.menuBar()->actions().value(2);
    window.menuBar()->setActiveAction(viewMenu);
    Settle();
    folder.save(GrabScreen(window, QRect(frame.topLeft(), QSize(360, 160))), "view-menu.png");
    viewMenu->menu()->hide();
    Settle();

    // The picture as its own depth map, wrapped: the map's line below the strip.
    window.action(kCmdColourAnaglyph)->trigger();
    window.action(kCmdRedCyanGlasses)->trigger();
    window.action(kCmdSwapEyes)->trigger();
    window.action(kCmdHalfSize)->trigger();
    static_cast<QCheckBox*>(window.control(kCmdDepth))->click();
    window.loadDepthMap(picture);
    window.action(kCmdWrapAround)->trigger();
    Settle();
    folder.save(window.grab(), "depth-map.png");

    // The full-size window in each of its still modes (the wiggle is the two eyes in turn).
    window.action(kCmdFullSize)->trigger();
    FullSizeView* view = window.fullSizeView();
    for (const auto& [mode, name] :
         {std::pair{FullSizeView::Mode::SavedPicture, "full-size-saved.png"},
          std::pair{FullSizeView::Mode::LeftEye, "full-size-left.png"},
          std::pair{FullSizeView::Mode::RightEye, "full-size-right.png"},
          std::pair{FullSizeView::Mode::DepthMap, "full-size-depth-map.png"}}) {
        view->setMode(mode);
        Settle();
        folder.save(view->grab(), name);
    }
    view->setZoom(1.0);
    Settle();
    folder.save(view->grab(), "full-size-100.png");
    view->close();
    return folder.ok();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    k3v::SetUpApplication();

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Takes the pictures of k3v-stereo for its documentation."));
    options.addHelpOption();
    options.addPositionalArgument(QStringLiteral("picture"), QStringLiteral("picture to load"));
    options.addPositionalArgument(QStringLiteral("output"), QStringLiteral("PNG of the window"));
    const QCommandLineOption dialogsOption(QStringLiteral("dialogs"),
                                           QStringLiteral("also save the dialogs into <folder>"),
                                           QStringLiteral("folder"));
    const QCommandLineOption statesOption(
        QStringLiteral("states"), QStringLiteral("also save the window's states into <folder>"),
        QStringLiteral("folder"));
    options.addOption(dialogsOption);
    options.addOption(statesOption);
    options.process(app);
    if (options.positionalArguments().size() != 2) {
        options.showHelp(2);
    }
    const QString picture = options.positionalArguments()[0];
    const QString output = options.positionalArguments()[1];

    const QCursor linkCursor = k3v::LoadLinkCursor();
    k3v::QtUserDialogs dialogs(linkCursor);
    const auto started = k3v::ShowMainWindow(dialogs);
    if (started == nullptr) {
        return 1;
    }
    k3v::MainWindow& window = *started->window;

    window.loadPicture(picture, k3v::PictureSlot::First);
    Settle(500);
    bool ok = window.grab().save(output);
    if (options.isSet(dialogsOption)) {
        ok = SaveDialogPictures(window, linkCursor, options.value(dialogsOption)) && ok;
    }
    if (options.isSet(statesOption)) {
        ok = SaveStatePictures(window, linkCursor, options.value(statesOption), picture) && ok;
    }
    // Leaves without closing the window, which would ask "Are you sure?".
    return ok ? 0 : 1;
}
