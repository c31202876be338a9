#pragma once
// Scripted stand-ins for the dialogs, the desktop and the click sound, so the window's tests
// run without a person and record everything the window asked.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>
#include <utility>

#include "app/click_sound.h"
#include "app/user_dialogs.h"

namespace k3v::testing {

class FakeDialogs : public UserDialogs {
  public:
    // Answers, used in order; an empty queue answers "cancel".
    QStringList openAnswers;
    QStringList saveAnswers;
    QList<bool> confirmAnswers;

    // What the window asked.
    QList<std::pair<QString, PictureSlot>> openRequests;  // (folder, slot)
    QList<std::pair<QString, QString>> saveRequests;      // (folder, proposed name)
    QStringList saveTypes;                                // the type each save dialog chose
    QStringList warnings;
    QStringList informations;
    QList<std::pair<QString, QString>> confirmations;  // (text, caption)
    int aboutShown = 0;
    QList<QUrl> openedUrls;

    QString openPicture(const QString& folder, PictureSlot slot) override {
        openRequests.append({folder, slot});
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString savePicture(const QString& folder, const QString& proposedName,
                        const QString& type) override {
        saveRequests.append({folder, proposedName});
        saveTypes.append(type);
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    void warning(const QString& text) override { warnings.append(text); }
    void information(const QString& text) override { informations.append(text); }
    bool confirm(const QString& text, const QString& caption) override {
        confirmations.append({text, caption});
        return confirmAnswers.isEmpty() ? false : confirmAnswers.takeFirst();
    }
    void showAbout() override { ++aboutShown; }
    void openUrl(const QUrl& url) override { openedUrls.append(url); }
};

// The offscreen platform warns each time a fixed-size window or a popup is shown; that says
// nothing about the program, so it is kept out of the test log. Everything else passes through.
inline QtMessageHandler& PreviousHandler() {
    static QtMessageHandler previous = nullptr;
    return previous;
}
inline void SilencePlatformNoise() {
    PreviousHandler() = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            // Also said when a popup (the open depth list) is shown.
            if (message.contains(QStringLiteral("does not support propagateSizeHints")) ||
                message.contains(QStringLiteral("does not support raise()")) ||
                message.contains(QStringLiteral("does not support grabbing the keyboard"))) {
                return;
            }
            if (PreviousHandler() != nullptr) {
                PreviousHandler()(type, context, message);
            }
        });
}

class FakeSound : public ClickSound {
  public:
    int plays = 0;
    void play() override { ++plays; }
};

}  // namespace k3v::testing
