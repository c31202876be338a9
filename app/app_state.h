#pragma once
// Everything the window works on: the conversion job (its settings, pictures and planes) and the
// few things the shell itself remembers. What lasts between runs is read and written by
// app/lasting_settings.h.

#include <QByteArray>
#include <QList>
#include <QString>

#include "job/stereo_job.h"
#include "stereo/depth_list.h"

namespace k3v {

// An entry of "Open Recent": one picture, or a Standard Stereo pair (second not empty).
struct RecentPicture {
    QString first;
    QString second;
    bool operator==(const RecentPicture&) const = default;
};
inline constexpr int kRecentPictureCount = 8;

struct AppState {
    StereoJob job;

    QString LastFolder;  // where the open dialog starts
    QString SaveFolder;  // where the save dialog starts
    QString SaveType;    // the extension of the last save ("jpg", "bmp", ...); empty: none yet
    // The texts of the two path fields: the full paths of the loaded pictures, or empty.
    QString FirstPicturePath;
    QString SecondPicturePath;
    // The loaded depth map's path, or empty; and why a map went, when one did.
    QString DepthMapPath;
    QString DepthMapNote;
    // The selected row of the depth list; the conversion takes its depth value from this row.
    int DepthEntry = kDefaultDepthEntry;
    // "Keep photo information": JPEG saves carry the first picture's Exif and colour profile,
    // which the job reads when that picture loads (or when the item is checked).
    bool KeepPhotoInformation = false;
    // "Open the saved file after publishing".
    bool OpenSavedFile = true;
    // The full-size window: where it was (QWidget::saveGeometry), what it showed (its Mode) and
    // at which zoom (0 fits the picture).
    QByteArray FullSizeGeometry;
    int FullSizeMode = 0;
    double FullSizeZoom = 0.0;
    // "Open Recent", the latest first.
    QList<RecentPicture> RecentPictures;
    // Whether the user has set "Parallel order" since the start (or "Options by default").
    // Until then it follows "Half-size pair", as k3v-convert's --order follows --half.
    bool PairOrderChosen = false;
    // The Stereo menu's "Align the pair" and "Stereo window at the nearest point": Standard
    // Stereo's pair lined up before it is converted (app/window_alignment.h).
    bool AlignPair = false;
    bool StereoWindow = false;
    // What the pair's alignment did, or why it could not be aligned, for the line below the
    // strip; empty while no alignment is asked.
    QString AlignmentNote;
};

// The start-up state: default settings, the black 1000 x 250 placeholder picture, both folders
// at `startFolder`. Fails only when the placeholder planes cannot be allocated.
Status MakeStartState(AppState& state, const QString& startFolder);

// The name part of a picture path without its extension, followed by "_Unwrapped":
// "/pics/hall.tif" gives "hall_Unwrapped", "/x/pano.old.jpg" gives "pano.old_Unwrapped".
QString ProposedSaveName(const QString& picturePath);

}  // namespace k3v
