#pragma once
// Balloon help: resting the pointer on a control shows, after half a second, a balloon titled
// "Information:" with the information icon and the control's help text, yellow on dark blue,
// at most 300 pixels wide, for at most five seconds. Moving to another control while a balloon
// is up (or shortly after) shows the next one after the re-show delay.

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;

namespace k3v {

inline constexpr int kBalloonInitialDelayMs = 500;
inline constexpr int kBalloonDisplayTimeMs = 5000;
inline constexpr int kBalloonReshowDelayMs = 500;
inline constexpr int kBalloonMaxWidth = 300;
inline const QColor kBalloonTextColour(255, 255, 0);
inline const QColor kBalloonBackground(25, 29, 98);

// The balloon itself. Lines of a help text are separated by carriage returns.
class Balloon : public QWidget {
    Q_OBJECT
  public:
    Balloon();

    void setHelpText(const QString& text);
    QString title() const;
    QString helpText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QLabel* titleLabel_ = nullptr;
    QLabel* textLabel_ = nullptr;
};

class BalloonHelp : public QObject {
    Q_OBJECT
  public:
    explicit BalloonHelp(QObject* parent = nullptr);

    // Attaches (or replaces) the help text of a control; attaching again changes nothing else.
    void attach(QWidget* control, const QString& text);
    QString helpTextOf(const QWidget* control) const;

    // Shows the balloon of `control` at once, as the timer would; for keyboard users and tests.
    void showFor(QWidget* control);
    void hide();
    Balloon& balloon() { return balloon_; }
    bool isShowing() const { return balloon_.isVisible(); }
    int pendingDelay() const { return showTimer_.isActive() ? showTimer_.interval() : -1; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void arm(QWidget* control);

    QHash<const QWidget*, QString> texts_;
    Balloon balloon_;
    QTimer showTimer_;
    QTimer hideTimer_;
    QPointer<QWidget> pending_;
    QElapsedTimer reshowWindow_;  // since the last balloon went away
};

}  // namespace k3v
