#pragma once
// Runs the window's long work (a load, a conversion, a save) one step at a time on a thread of
// its own, so that the window goes on painting, its menus open and Exit works meanwhile. The
// caller waits for the step's result in a local event loop and applies it as it always has.
//
// Work that lasts over kShowDelayMs shows a progress line, the bar with the stage and a
// "Cancel" button, over the free line below the coloured strip; Esc or the button sets the
// cancel flag that the step's Progress carries.

#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>

#include "base/progress.h"
#include "base/status.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace k3v {

class JobRunner : public QObject {
    Q_OBJECT
  public:
    static constexpr int kShowDelayMs = 300;

    using Step = std::function<Status(const Progress& progress)>;

    // The progress line takes `line` in `parent`, over `covered`, which it hides while it shows.
    JobRunner(QWidget* parent, QRect line, QLabel* covered);
    ~JobRunner() override;

    // Runs `step` on the worker thread and returns its result once it ends, the events of the
    // window handled meanwhile. `stage` names the work in the progress line ("Reading", ...).
    // One step at a time: the window refuses work while busy() rather than nest it.
    Status run(const QString& stage, const Step& step);

    bool busy() const { return busy_; }
    // Asks the running step to stop; it ends with Status::Cancelled() at its next poll.
    void cancel();

    QWidget* progressLine() const { return line_; }
    QProgressBar* progressBar() const { return bar_; }
    QPushButton* cancelButton() const { return cancelButton_; }

  signals:
    // A step begins (before its thread starts) or has ended; the window disables and enables
    // the controls that would change the running work.
    void busyChanged(bool busy);

  private:
    void showLine();
    void hideLine();
    void showPercent(int percent);

    QWidget* line_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QLabel* covered_ = nullptr;
    QTimer showTimer_;
    QString stage_;
    bool busy_ = false;
    std::atomic<bool> cancel_{false};
};

}  // namespace k3v
