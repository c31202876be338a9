#pragma once
// What every program that shows the main window does before and after building it; shared by
// k3v-stereo and the screenshot tool, so the pictures show the program as users start it.

#include <QCursor>
#include <QSettings>
#include <memory>

#include "app/app_state.h"
#include "app/click_sound.h"
#include "app/main_window.h"
#include "app/user_dialogs.h"

class QWidget;

namespace k3v {

// The application's name and the Fusion style the window's colours were chosen for. Call right
// after the QApplication is made.
void SetUpApplication();

// The pointing hand of the links and of "Start"; the system's own where the resource is missing.
QCursor LoadLinkCursor();

// The start-up state: the defaults, before what the user's settings remember. When the
// placeholder planes cannot be allocated, says so in a message box and returns false.
bool PrepareStartState(AppState& state);

void CentreOnScreen(QWidget& window);

// The main window with the start-up state and the click sound, shown centred on the screen;
// null (after the message box) when the start state cannot be made. With `store`, the window
// takes what it remembers and keeps its choices there; without, every start is the same.
struct StartedWindow {
    AppState state;
    QtClickSound sound;
    std::unique_ptr<QSettings> store;
    std::unique_ptr<MainWindow> window;
};
std::unique_ptr<StartedWindow> ShowMainWindow(QtUserDialogs& dialogs,
                                              std::unique_ptr<QSettings> store = nullptr);

}  // namespace k3v
