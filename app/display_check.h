#pragma once
// Qt aborts, with a message about reinstalling, when it cannot reach a window system. Before
// and while the application object starts, these turn that into a plain message pointing to
// k3v-convert, and exit status 1.

#include <QtGlobal>

namespace k3v {

// True when a display is named (DISPLAY or WAYLAND_DISPLAY) or a Qt platform is chosen
// (QT_QPA_PLATFORM, e.g. offscreen); otherwise says that no display was found.
bool DisplayCanBeTried();

// While it lives, a fatal message from Qt (its platform could not start: the display named
// cannot be opened) ends the program with a message naming the display and status 1.
class ExitWhenNoWindowCanOpen {
  public:
    ExitWhenNoWindowCanOpen();
    ~ExitWhenNoWindowCanOpen();
    ExitWhenNoWindowCanOpen(const ExitWhenNoWindowCanOpen&) = delete;
    ExitWhenNoWindowCanOpen& operator=(const ExitWhenNoWindowCanOpen&) = delete;

  private:
    QtMessageHandler previous_;
};

}  // namespace k3v
