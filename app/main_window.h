#pragma once
// The program's one working window: menus, header, path fields, the six command buttons, the
// preview and the six setting groups. Every user action arrives in one of the slots below (from
// a menu item, shortcut, button, check box, option button or the depth list) or ends a slider
// movement; both change the AppState, bring the controls in step in syncControls() and re-run
// the conversion where the result changes.

#include <QHash>
#include <QImage>
#include <QMainWindow>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/user_dialogs.h"
#include "app/window_alignment.h"

class QAction;
class QCheckBox;
class QComboBox;
class QMenu;
class QSettings;
class QSlider;

namespace k3v {

class ClickSound;
class FullSizeView;
class JobRunner;
class OutputTarget;
class PathField;
class PreviewWidget;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow(AppState& state, UserDialogs& dialogs, ClickSound& sound,
               const QString& programFolder);

    // Decodes a picture file into the first or second slot and converts; a failure is
    // reported in a warning and changes nothing, and so does a cancelled load. Loads,
    // conversions and saves run on the runner's thread; each of these calls returns once its
    // work has ended, the window's events handled meanwhile.
    void loadPicture(const QString& path, PictureSlot slot);
    // Decodes a depth map of the first picture's size and converts; a failure is reported in a
    // warning and changes nothing.
    void loadDepthMap(const QString& path);
    // With "Keep photo information" checked, the first picture's information for the saves;
    // what cannot be kept is said in a warning.
    void readFirstPictureMetadata();
    // Open with: one picture loads as the first picture, two switch to Standard Stereo and load
    // the pair, each as its "Select" button would (warnings included).
    void openPictures(const QStringList& paths);
    // The conversion and the preview drawing.
    void runConversion();
    // Takes the choices `store` remembers (nothing when it is empty) and from then on keeps
    // them there as they change; null remembers nothing. The store must outlive the window.
    void rememberIn(QSettings* store);

    // Called after every conversion (tests count them).
    void setConversionHook(std::function<void()> hook) { conversionHook_ = std::move(hook); }

    const AppState& state() const { return state_; }
    QWidget* control(int id) const { return controls_.value(id); }
    QAction* action(int id) const { return actions_.value(id); }
    PreviewWidget* preview() const;
    // The full-size window, once "View at full size" has opened it.
    FullSizeView* fullSizeView() const { return fullSizeView_; }
    JobRunner* runner() const { return runner_; }

  public slots:
    // The commands, whichever control sends them. Every one clicks first.
    void loadFirstPicture();
    void loadSecondPicture();
    void publish();
    void resetDefaults();  // "Options by default"
    void showAbout();
    void showHelp();
    void exitProgram();
    void chooseLayout(int layout);  // kAnaglyph ... kSeparateFiles
    void chooseAnaglyphMethod(AnaglyphKind method);
    void chooseGlasses(GlassesKind glasses);
    void switchSwapEyes();
    void switchHalfSize();
    void switchPairOrder();      // "Parallel order (left eye on the left)"
    void loadDepthMapCommand();  // "Load depth map..."
    void clearDepthMap();
    void switchInvertDepthMap();
    void switchWrapAround();
    void switchAlignPair();      // "Align the pair"
    void switchStereoWindow();   // "Stereo window at the nearest point"
    void showFullSize();         // "View at full size"
    void switchKeepMetadata();   // "Keep photo information (Exif, colour profile)"
    void switchOpenSavedFile();  // "Open the saved file after publishing"
    void openRecent(int entry);  // an entry of "Open Recent", the latest being 0
    void chooseMode(int mode);   // kK3vStereo, kStandardStereo
    void chooseSourceKind(int kind);
    void switchFlag(int boxId);  // one of the five flag check boxes was clicked
    void chooseDepthEntry(int row);
    void resetStereoEffect();
    void resetSharpen();
    void resetBrightness();
    void resetContrast();
    void resetNoise();
    void clickOnly();  // F1 alone and " Auto": bound to no work

  protected:
    void closeEvent(QCloseEvent* event) override;
    // A picture file dropped on the window loads as the first picture, or as the second on
    // the second path field in Standard Stereo mode.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildMenus();
    void buildStereoMenu();
    void buildHeader(QWidget* client);
    void buildCommandButtons(QWidget* client);
    void buildModeAndStereoGroups(QWidget* client);
    void buildAdjustmentGroups(QWidget* client);
    void buildSlider(QWidget* client, int id, const QString& name, QRect geometry,
                     const QColor& background);
    void setKeyboardOrder();
    void syncControls();
    void buildRecentMenu();  // the entries of "Open Recent", from the state
    void remember();         // writes what lasts to the store, if there is one
    void addRecentPicture(const QString& path, PictureSlot slot);
    QString depthMapLine() const;
    void showDepthMapLine();  // the depth map's line, or in Standard Stereo the alignment's
    QImage renderPreview() const;
    // Disables, while work runs, the controls that would change it.
    void applyBusy();

    void loadCommand(PictureSlot slot);
    void switchSetting(bool ConversionSettings::*setting);  // on <-> off, then convert
    // As a "Select" button loads a chosen file: the folder is remembered for the next dialog.
    void loadChosenPicture(const QString& path, PictureSlot slot);
    // Asks once, naming both, before the two files of a save replace what exists; false when
    // the user cancels.
    bool confirmReplacing(const OutputTarget& output);
    void publishPicture();
    Status convertFor(const OutputTarget& output);
    // A setting changed while a load or save ran: its conversion comes once they end.
    void convertIfWanted();
    void takeDepthEntry();  // the depth value of the depth list's selected row
    void settingsChanged();
    void redrawPreview();  // for a setting that changes only how the views are placed
    void showResult();     // the preview and the full-size window, from the planes' views
    void sliderMovementEnded(int id);

    AppState& state_;
    UserDialogs& dialogs_;
    ClickSound& sound_;
    QString programFolder_;
    std::function<void()> conversionHook_;
    QHash<int, QWidget*> controls_;
    QHash<int, QAction*> actions_;
    bool hideSize_ = false;  // a first picture failed to load over the start placeholder
    QMenu* recentMenu_ = nullptr;
    QSettings* store_ = nullptr;
    FullSizeView* fullSizeView_ = nullptr;
    JobRunner* runner_ = nullptr;
    // A conversion is asked for; one asked while work runs waits for it, so the last wins.
    bool conversionWanted_ = false;
    bool converting_ = false;  // the running step is runConversion()'s
    WindowAlignment alignment_;
};

}  // namespace k3v
