#include "app/balloon_help.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace k3v {

Balloon::Balloon() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("balloon"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMaximumWidth(kBalloonMaxWidth);

    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, kBalloonTextColour);
    setPalette(colours);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
    titleLabel_ = new QLabel(tr("Information:"), this);
    titleLabel_->setObjectName(QStringLiteral("balloonTitle"));
    QFont bold = titleLabel_->font();
    bold.setBold(true);
    titleLabel_->setFont(bold);
    textLabel_ = new QLabel(this);
    textLabel_->setObjectName(QStringLiteral("balloonText"));
    textLabel_->setWordWrap(true);
    textLabel_->setTextFormat(Qt::PlainText);

    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(icon);
    titleRow->addWidget(titleLabel_, 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 8, 10, 10);
    column->addLayout(titleRow);
    column->addWidget(textLabel_);
}

void Balloon::setHelpText(const QString& text) {
    QString lines = text;
    lines.replace(u'\r', u'\n');
    textLabel_->setText(lines);
    adjustSize();
}

QString Balloon::title() const {
    return titleLabel_->text();
}
QString Balloon::helpText() const {
    return textLabel_->text();
}

void Balloon::resizeEvent(QResizeEvent* event) {
    // Rounded corners without relying on a compositing window manager.
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), 8, 8);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
    QWidget::resizeEvent(event);
}

void Balloon::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.fillPath(outline, kBalloonBackground);
    painter.setPen(kBalloonTextColour);
    painter.drawPath(outline);
}

BalloonHelp::BalloonHelp(QObject* parent) : QObject(parent) {
    showTimer_.setSingleShot(true);
    hideTimer_.setSingleShot(true);
    connect(&showTimer_, &QTimer::timeout, this, [this] {
        if (pending_ != nullptr) {
            showFor(pending_);
        }
    });
    connect(&hideTimer_, &QTimer::timeout, this, &BalloonHelp::hide);
}

void BalloonHelp::attach(QWidget* control, const QString& text) {
    if (!texts_.contains(control)) {
        control->installEventFilter(this);
    }
    texts_.insert(control, text);
}

QString BalloonHelp::helpTextOf(const QWidget* control) const {
    return texts_.value(control);
}

void BalloonHelp::showFor(QWidget* control) {
    balloon_.setHelpText(texts_.value(control));
    QPoint at = QCursor::pos() + QPoint(0, 20);
    if (!control->rect().contains(control->mapFromGlobal(QCursor::pos()))) {
        at = control->mapToGlobal(QPoint(control->width() / 2, control->height()));
    }
    if (const QScreen* screen = control->screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(std::min(at.x(), area.right() - balloon_.width()));
        at.setY(std::min(at.y(), area.bottom() - balloon_.height()));
    }
    balloon_.move(at);
    balloon_.show();
    hideTimer_.start(kBalloonDisplayTimeMs);
}

void BalloonHelp::hide() {
    hideTimer_.stop();
    if (balloon_.isVisible()) {
        reshowWindow_.start();
    }
    balloon_.hide();
}

void BalloonHelp::arm(QWidget* control) {
    pending_ = control;
    // Coming straight from another control's balloon uses the re-show delay.
    showTimer_.start(reshowWindow_.isValid() && reshowWindow_.elapsed() < kBalloonDisplayTimeMs
                         ? kBalloonReshowDelayMs
                         : kBalloonInitialDelayMs);
}

bool BalloonHelp::eventFilter(QObject* watched, QEvent* event) {
    auto* control = qobject_cast<QWidget*>(watched);
    if (control == nullptr || !texts_.contains(control)) {
        return false;
    }
    switch (event->type()) {
        case QEvent::Enter:
            arm(control);
            break;
        case QEvent::Leave:
        case QEvent::MouseButtonPress:
        case QEvent::Hide:
            showTimer_.stop();
            pending_ = nullptr;
            hide();
            break;
        default:
            break;
    }
    return false;
}

}  // namespace k3v
