#pragma once
// What the window remembers between runs: the Stereo menu's choices, the layout, the dialogs'
// folders and save type, the two File menu switches and the recent pictures. The store is a
// QSettings the caller owns, so tests hand in one on a file of their own.

#include <QSettings>
#include <memory>

#include "app/app_state.h"

namespace k3v {

// The user's own store, in the platform's usual place for the program's settings.
std::unique_ptr<QSettings> OpenUserSettings();

// Takes what the store holds into the state; a value the store lacks, or one it holds out of
// range, leaves the state's own. An empty store changes nothing.
void ReadLastingSettings(QSettings& store, AppState& state);
// Writes everything ReadLastingSettings reads.
void WriteLastingSettings(QSettings& store, const AppState& state);

// Puts `entry` at the head of `list`, dropping an equal entry further down and whatever goes
// past kRecentPictureCount.
void AddRecentPicture(QList<RecentPicture>& list, const RecentPicture& entry);

}  // namespace k3v
