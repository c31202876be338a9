#include "app/job_runner.h"

#include <QApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <thread>

namespace k3v {

JobRunner::JobRunner(QWidget* parent, QRect line, QLabel* covered)
    : QObject(parent), covered_(covered) {
    line_ = new QWidget(parent);
    line_->setObjectName(QStringLiteral("progressLine"));
    line_->setGeometry(line);
    auto* row = new QHBoxLayout(line_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    bar_ = new QProgressBar(line_);
    bar_->setObjectName(QStringLiteral("progressBar"));
    bar_->setRange(0, 100);
    bar_->setAccessibleName(tr("Progress"));
    row->addWidget(bar_, 1);
    cancelButton_ = new QPushButton(tr("Cancel"), line_);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setAccessibleName(tr("Cancel"));
    cancelButton_->setFixedHeight(line.height());
    row->addWidget(cancelButton_);
    line_->hide();
    connect(cancelButton_, &QPushButton::clicked, this, &JobRunner::cancel);

    showTimer_.setSingleShot(true);
    connect(&showTimer_, &QTimer::timeout, this, &JobRunner::showLine);
}

JobRunner::~JobRunner() = default;

void JobRunner::cancel() {
    if (busy_) {
        cancel_.store(true, std::memory_order_relaxed);
    }
}

Status JobRunner::run(const QString& stage, const Step& step) {
    busy_ = true;
    cancel_.store(false, std::memory_order_relaxed);
    stage_ = stage;
    showPercent(0);
    // The arrow stays beside the hourglass: the window still takes clicks.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    emit busyChanged(true);
    showTimer_.start(kShowDelayMs);

    // The bar moves by whole percents: one posted event each, not one per band.
    auto shown = std::make_shared<std::atomic<int>>(0);
    const Progress progress(
        [this, shown](const char*, double fraction) {
            const int percent = int(fraction * 100.0);
            if (shown->exchange(percent) != percent) {
                QMetaObject::invokeMethod(
                    this, [this, percent] { showPercent(percent); }, Qt::QueuedConnection);
            }
        },
        &cancel_);

    QEventLoop waiting;
    Status result = Status::Ok();
    std::atomic<bool> ended{false};
    std::thread worker([&] {
        result = step(progress);
        ended.store(true);
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    waiting.exec();
    // The loop also ends when the program quits: the step is stopped rather than waited for.
    if (!ended.load()) {
        cancel_.store(true, std::memory_order_relaxed);
    }
    worker.join();

    showTimer_.stop();
    hideLine();
    QApplication::restoreOverrideCursor();
    busy_ = false;
    emit busyChanged(false);
    return result;
}

void JobRunner::showLine() {
    if (covered_ != nullptr) {
        covered_->hide();
    }
    line_->show();
    line_->raise();
}

void JobRunner::hideLine() {
    line_->hide();
    if (covered_ != nullptr) {
        covered_->show();
    }
}

void JobRunner::showPercent(int percent) {
    if (!busy_) {
        return;  // a late report of a step that has ended
    }
    bar_->setValue(percent);
    bar_->setFormat(tr("%1 %p%").arg(stage_));
    bar_->setAccessibleDescription(stage_);
}

}  // namespace k3v
