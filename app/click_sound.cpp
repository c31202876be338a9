#include "app/click_sound.h"

#include <QFile>
#include <QUrl>

namespace k3v {

namespace {
const QString kTickResource = QStringLiteral(":/k3v/TICK");
}

QtClickSound::QtClickSound() {
    if (QFile::exists(kTickResource)) {
        effect_.setSource(QUrl(QStringLiteral("qrc") + kTickResource));
    }
}

void QtClickSound::play() {
    if (effect_.status() == QSoundEffect::Error || effect_.source().isEmpty()) {
        return;
    }
    effect_.stop();
    effect_.play();
}

}  // namespace k3v
