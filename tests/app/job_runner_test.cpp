// The window's work off its thread: the window's events go on while a step runs, the progress
// line shows the stage over the depth map's line, and its Cancel button stops the step.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/job_runner.h"
#include "fake_services.h"

using namespace k3v;

namespace {

// Waits on the worker thread until `done` holds; a step that waits in vain fails rather than
// hang the test.
Status WaitFor(const std::function<bool()>& done, const Progress& progress) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int band = 0; std::chrono::steady_clock::now() < end; ++band) {
        if (done()) {
            return Status::Ok();
        }
        if (progress.cancelled()) {
            return Status::Cancelled();
        }
        progress.report(uint64_t(band % 100), 100);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return Status::Error("The window's events did not come while the step ran");
}

}  // namespace

class JobRunnerTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { k3v::testing::SilencePlatformNoise(); }

    // A save that lasts until the window has painted, run its timer and shown the progress
    // line with the stage: none of that would happen with the work on the window's thread.
    void theWindowPaintsAndShowsProgressWhileASlowSaveRuns() {
        QWidget window;
        window.resize(400, 60);
        auto* pathLine = new QLabel(QStringLiteral("Depth map: map.png"), &window);
        pathLine->setGeometry(5, 30, 390, 18);
        JobRunner runner(&window, pathLine->geometry(), pathLine);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        std::atomic<bool> ticked{false};
        std::atomic<bool> painted{false};
        std::atomic<bool> lineSeen{false};
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] {
            ticked = true;
            painted = !window.grab().isNull();
            lineSeen = runner.progressLine()->isVisible() && !pathLine->isVisible() &&
                       runner.progressBar()->text().startsWith(QStringLiteral("Saving"));
        });
        tick.start(10);
        const Status saved = runner.run(QStringLiteral("Saving"), [&](const Progress& progress) {
            return WaitFor([&] { return ticked && painted && lineSeen; }, progress);
        });
        QVERIFY2(saved.ok(), saved.message().c_str());
        QVERIFY(!runner.busy());
        QVERIFY(!runner.progressLine()->isVisible());
        QVERIFY(pathLine->isVisible());
        QVERIFY(!runner.progressBar()->accessibleName().isEmpty());
        QVERIFY(!runner.cancelButton()->accessibleName().isEmpty());
    }

    void theCancelButtonStopsTheStep() {
        QWidget window;
        window.resize(400, 60);
        auto* pathLine = new QLabel(&window);
        pathLine->setGeometry(5, 30, 390, 18);
        JobRunner runner(&window, pathLine->geometry(), pathLine);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTimer press;
        connect(&press, &QTimer::timeout, this, [&] {
            if (runner.cancelButton()->isVisible()) {
                QTest::mouseClick(runner.cancelButton(), Qt::LeftButton);
            }
        });
        press.start(10);
        const Status read = runner.run(QStringLiteral("Reading"), [](const Progress& progress) {
            return WaitFor([] { return false; }, progress);
        });
        QVERIFY2(read.cancelled(), read.message().c_str());
        // The next step starts afresh, not cancelled.
        const Status next =
            runner.run(QStringLiteral("Reading"), [](const Progress&) { return Status::Ok(); });
        QVERIFY(next.ok());
    }
};

QTEST_MAIN(JobRunnerTest)
#include "job_runner_test.moc"
