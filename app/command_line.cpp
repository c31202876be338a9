#include "app/command_line.h"

namespace k3v {

StartRequest ParseStartArguments(const QStringList& args) {
    StartRequest request;
    bool onlyFiles = false;
    for (const QString& arg : args) {
        if (!onlyFiles && arg == QLatin1String("--")) {
            onlyFiles = true;
        } else if (!onlyFiles && (arg == QLatin1String("--help") || arg == QLatin1String("-h"))) {
            return {StartRequest::Action::PrintHelp, {}, {}};
        } else if (!onlyFiles && arg == QLatin1String("--version")) {
            return {StartRequest::Action::PrintVersion, {}, {}};
        } else if (!onlyFiles && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return {StartRequest::Action::UsageError, {}, QStringLiteral("unknown option ") + arg};
        } else {
            request.pictures.append(arg);
        }
    }
    if (request.pictures.size() > 2) {
        return {StartRequest::Action::UsageError,
                {},
                QStringLiteral(
                    "at most two pictures: PICTURE, or RIGHT_EYE LEFT_EYE for a stereo pair")};
    }
    return request;
}

QString StartHelpText() {
    return QStringLiteral(
        "Usage: k3v-stereo [PICTURE]\n"
        "       k3v-stereo RIGHT_EYE LEFT_EYE\n"
        "\n"
        "Turns flat pictures into stereo images, with a live preview.\n"
        "\n"
        "  PICTURE              start with this picture loaded as the first picture\n"
        "  RIGHT_EYE LEFT_EYE   start in Standard Stereo mode with this stereo pair:\n"
        "                       the right eye's view first, then the left eye's\n"
        "  --help               print this text and exit\n"
        "  --version            print the version and exit\n"
        "\n"
        "Without arguments the program starts with no picture. k3v-convert converts\n"
        "pictures without a window.\n");
}

QString StartVersionText() {
    return QStringLiteral("k3v-stereo " K3V_VERSION "\n");
}

}  // namespace k3v
