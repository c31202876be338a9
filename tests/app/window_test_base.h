#pragma once
// What each window test starts from: a shown main window on a start state of its own, in a
// temporary folder, with scripted dialogs and sound, and the conversions it runs counted.

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/app_state.h"
#include "app/main_window.h"
#include "fake_services.h"

namespace k3v::testing {

class WindowTestBase : public QObject {
  protected:
    std::unique_ptr<QTemporaryDir> dir_;
    AppState state_;
    FakeDialogs dialogs_;
    FakeSound sound_;
    std::unique_ptr<MainWindow> window_;
    int conversions_ = 0;

    // Once per test program: the window's tests close windows without quitting.
    static void setUpApplication() {
        QApplication::setQuitOnLastWindowClosed(false);
        SilencePlatformNoise();
    }
    // Everything afresh; false when the folder or the start state cannot be made or the window
    // does not show.
    bool startWindow() {
        window_.reset();
        dir_ = std::make_unique<QTemporaryDir>();
        state_ = AppState{};
        if (!dir_->isValid() || !MakeStartState(state_, dir_->path()).ok()) {
            return false;
        }
        dialogs_ = FakeDialogs{};
        sound_ = FakeSound{};
        window_ = std::make_unique<MainWindow>(state_, dialogs_, sound_, dir_->path());
        conversions_ = 0;
        window_->setConversionHook([this] { ++conversions_; });
        window_->show();
        return QTest::qWaitForWindowExposed(window_.get());
    }
};

}  // namespace k3v::testing
