#include "app/splash_dialog.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "app/flat_button.h"
#include "app/product_info.h"

namespace k3v {

LinkLabel::LinkLabel(const QString& text, const QCursor& cursor, QWidget* parent)
    : QLabel(text, parent) {
    setCursor(cursor);
    setFocusPolicy(Qt::TabFocus);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        emit clicked();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

void LinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

namespace {

QFont SplashFont() {
    return TitleSerifFont(12);
}

// Where the stand-in serif is wider than the one the texts were laid out for, the text
// shrinks a little rather than lose its end.
void FitFontToWidth(QLabel* label) {
    QFont font = label->font();
    while (font.pointSizeF() > 6 &&
           QFontMetrics(font).horizontalAdvance(label->text()) > label->width()) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    label->setFont(font);
}

void SetColours(QWidget* widget, const QColor& text, const QColor& background) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Window, background);
    widget->setPalette(palette);
}

}  // namespace

SplashDialog::SplashDialog(const QCursor& linkCursor, UrlOpener openUrl) {
    setObjectName(QStringLiteral("splash"));
    setWindowTitle(ProductName());
    setWindowIcon(QIcon(QStringLiteral(":/k3v/VIDEO")));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(DialogX(437), DialogY(120));
    SetColours(this, Qt::black, Qt::white);
    setAutoFillBackground(true);

    auto* title = new QLabel(this);
    title->setObjectName(QStringLiteral("titleImage"));
    title->setPixmap(QPixmap(QStringLiteral(":/k3v/TITLE")));
    title->setGeometry(DialogX(5), DialogY(5), 640, 154);
    title->setAccessibleName(ProductName());

    auto* invitation = new QLabel(tr("See a more of free Apps at:"), this);
    invitation->setObjectName(QStringLiteral("invitation"));
    invitation->setFont(SplashFont());
    invitation->setGeometry(DialogX(15), DialogY(102), DialogX(120), DialogY(12));
    FitFontToWidth(invitation);

    auto* link = new LinkLabel(kWebAddress, linkCursor, this);
    link->setObjectName(QStringLiteral("webAddress"));
    link->setFont(SplashFont());
    link->setGeometry(DialogX(138), DialogY(102), DialogX(200), DialogY(12));
    FitFontToWidth(link);
    SetColours(link, QColor(0, 0, 255), Qt::white);
    link->setAccessibleName(tr("Web address"));
    connect(link, &LinkLabel::clicked, this, [openUrl] { openUrl(QUrl(kWebAddress)); });

    auto* start = new FlatButton(tr("Start"), this);
    start->setObjectName(QStringLiteral("start"));
    start->setFont(SplashFont());
    start->setCursor(linkCursor);
    start->setGeometry(DialogX(360), DialogY(102), DialogX(70), DialogY(14));
    start->setDefault(true);
    start->setFocus();
    connect(start, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace k3v
