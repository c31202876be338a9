#include "app/about_dialog.h"

#include <QFrame>
#include <QIcon>

#include "app/product_info.h"

namespace k3v {

namespace {

void SetColours(QWidget* widget, const QColor& text, const QColor& background) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Window, background);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

const QColor kAboutBlue(20, 50, 195);

}  // namespace

AboutDialog::AboutDialog(QWidget* owner, const QCursor& linkCursor, UrlOpener openUrl)
    : QDialog(owner) {
    setObjectName(QStringLiteral("about"));
    setWindowTitle(tr("About"));
    const QIcon icon(QStringLiteral(":/k3v/VIDEO"));
    setWindowIcon(icon);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(DialogX(210), DialogY(220));
    setFont(DialogFont());
    SetColours(this, Qt::white, kAboutBlue);

    auto* iconImage = new QLabel(this);
    iconImage->setObjectName(QStringLiteral("icon"));
    iconImage->setPixmap(icon.pixmap(32, 32));
    iconImage->setGeometry(DialogX(10), DialogY(5), 32, 32);

    auto* name = new QLabel(ProductName(), this);
    name->setObjectName(QStringLiteral("productName"));
    name->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    name->setWordWrap(true);
    name->setGeometry(DialogX(35), DialogY(5), DialogX(160), DialogY(30));
    SetColours(name, QColor(180, 170, 95), kAboutBlue);

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(DialogX(10), DialogY(35), DialogX(190), DialogY(2));

    auto* build = new QLabel(BuildText(), this);
    build->setObjectName(QStringLiteral("build"));
    build->setGeometry(DialogX(150), DialogY(23), DialogX(50), DialogY(10));
    QPalette buildPalette = build->palette();
    buildPalette.setColor(QPalette::WindowText, QColor(0, 255, 255));
    build->setPalette(buildPalette);

    auto* link = new LinkLabel(kWebAddress, linkCursor, this);
    link->setObjectName(QStringLiteral("webAddress"));
    link->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    link->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    link->setGeometry(DialogX(70), DialogY(169), DialogX(141), DialogY(11));
    link->setAccessibleName(tr("Web address"));
    SetColours(link, QColor(220, 210, 120), QColor(0, 0, 127));
    connect(link, &LinkLabel::clicked, this, [openUrl] { openUrl(QUrl(kWebAddress)); });
}

}  // namespace k3v
