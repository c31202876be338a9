#pragma once
// The desktop program's command line, read before any window exists:
//   k3v-stereo [PICTURE]              open with: the first picture
//   k3v-stereo RIGHT_EYE LEFT_EYE     open with: a stereo pair, the right eye's view first
//   k3v-stereo --help | --version    print and exit

#include <QString>
#include <QStringList>

namespace k3v {

struct StartRequest {
    enum class Action { Open, PrintHelp, PrintVersion, UsageError };
    Action action = Action::Open;
    QStringList pictures;  // Open: none, one (first picture) or two (Standard Stereo pair)
    QString error;         // UsageError: one line
};

// `args` without the program's name.
StartRequest ParseStartArguments(const QStringList& args);

QString StartHelpText();
QString StartVersionText();

}  // namespace k3v
