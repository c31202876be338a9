#include "app/display_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace k3v {
namespace {

constexpr const char* kUseConvert = "to convert without a window, use k3v-convert";

QtMessageHandler gPrevious = nullptr;

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// "DISPLAY=:1, QT_QPA_PLATFORM=xcb": the variables that chose the display, as set.
std::string DisplaySettings() {
    std::string settings;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (IsSet(name)) {
            settings +=
                (settings.empty() ? "" : ", ") + std::string(name) + "=" + std::getenv(name);
        }
    }
    return settings;
}

void ExitOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        gPrevious(type, context, message);
        return;
    }
    std::fprintf(stderr, "k3v-stereo: cannot open the display (%s); %s\n",
                 DisplaySettings().c_str(), kUseConvert);
    std::_Exit(1);
}

}  // namespace

bool DisplayCanBeTried() {
    if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM")) {
        return true;
    }
    std::fprintf(stderr,
                 "k3v-stereo: no display found (DISPLAY and WAYLAND_DISPLAY are not set); %s\n",
                 kUseConvert);
    return false;
}

ExitWhenNoWindowCanOpen::ExitWhenNoWindowCanOpen()
    : previous_(qInstallMessageHandler(ExitOnFatal)) {
    gPrevious = previous_;
}

ExitWhenNoWindowCanOpen::~ExitWhenNoWindowCanOpen() {
    qInstallMessageHandler(previous_);
}

}  // namespace k3v
