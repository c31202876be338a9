// The window as a user starts it, loading one picture as its "Select" button would: decoding,
// the planes, the conversion and the preview drawn. Prints the seconds from the start of the
// load until the preview has been painted; bench/whole_run.sh sets it against djpeg.
//
//   QT_QPA_PLATFORM=offscreen build/release/bench/window_load_bench PICTURE

#include <QApplication>
#include <QCursor>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/start_up.h"
#include "app/user_dialogs.h"

namespace {

// A warning would wait for a person to close it: say it and stop instead.
class FailingDialogs : public k3v::QtUserDialogs {
  public:
    using QtUserDialogs::QtUserDialogs;
    void warning(const QString& text) override {
        std::fprintf(stderr, "window_load_bench: %s\n", qPrintable(text));
        std::exit(1);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_load_bench PICTURE\n");
        return 2;
    }
    QApplication app(argc, argv);
    k3v::SetUpApplication();
    const QCursor cursor = k3v::LoadLinkCursor();
    FailingDialogs dialogs(cursor);
    const auto started = k3v::ShowMainWindow(dialogs);
    if (started == nullptr) {
        return 1;
    }
    QApplication::processEvents();
    const auto start = std::chrono::steady_clock::now();
    started->window->loadPicture(QString::fromLocal8Bit(argv[1]), k3v::PictureSlot::First);
    started->window->repaint();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", seconds.count());
    return 0;
}
