// SPDX-License-Identifier: GPL-3.0-or-later
// The one top-level window: the page stack (start page, single-track editor, multitrack
// editor, mixer), the menus and their routing, the project and media file flows, the busy
// overlay, the status bar with its clock label, window settings, the About box and the
// update check.
// The project flows live in ProjectFlows.cpp, the media flows in MediaFlows.cpp.
#pragma once

#include "ProjectContent.h"
#include "audio/PeakSummary.h"

#include <QList>
#include <QMainWindow>
#include <QMetaObject>
#include <QPointer>
#include <QString>

#include <optional>
#include <vector>

class AudioEditorPage;
class LoadingOverlay;
class MixerPage;
class MultiTrackEditorPage;
class PluginLoadCheck;
class ProjectDocument;
struct PluginProbeResult;
struct ProjectData;
class QAction;
class QLabel;
class QStackedWidget;
class QTimer;
class UpdateChecker;
struct UpdateInfo;
class VideoDemuxer;
class VideoPlayerDialog;
class WelcomePage;

// GUI thread only. Only the window switches pages. Settings live in the platform store
// under the application's organisation and name ("window/geometry", "window/state").
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Saves the window settings; the pages go before the document they show.
    ~MainWindow() override;

    // Covers the page stack with the busy overlay and lets pending events run once so it
    // paints before the caller's long work; the caller hides it (hideLoading) on every exit
    // path. Meanwhile the menus and every action are disabled, so a queued key press cannot
    // start a second flow in the middle of one.
    void showLoading(const QString &message);
    void hideLoading();

    // Project state, written by the project flows and read by the status label and the
    // close path. `projectType` is "single" or anything else for a multitrack project.
    // The settings (rate, bit depth, channels) live in the document, for either kind.
    bool projectOpen = false;
    QString projectType = QStringLiteral("single");
    QString projectPath;

public slots:
    // Project flows.
    void createNewProject();
    void openNewProject(const QString &type, int sampleRate, int bitDepth, bool mono);
    void importProject();
    void closeProject();
    // Saves the open project to `path` (empty: the current path or a save-as dialog);
    // true only once the file is written.
    bool saveProject(const QString &path = QString());
    bool saveProjectAs();
    bool loadProject(const QString &path);
    void showPreferences();
    void showAbout();
    // The manual update check: exactly one box (none when an update is found, which opens
    // the update dialog). Asked again while it runs, it keeps waiting for the same answer.
    void checkForUpdates();
    // The silent check 3 s after start: nothing shows unless there is an update.
    void onAutoUpdateCheck();
    // Runs the update dialog modally, unless one is already open.
    void onAutoUpdateAvailable(const UpdateInfo &info);
    void updateStatusBar();

protected:
    // With unsaved changes asks Save / Discard / Cancel; the window stays open on Cancel
    // and when saving fails or is abandoned, so nothing unsaved is lost.
    void closeEvent(QCloseEvent *event) override;

private:
    void setupUi();
    void createMenus();
    void setupConnections();
    void createStatusBar();
    // New-project dialog for "single" or "multi".
    void showNewProjectDialog(const QString &type);
    // Enabled: the always-on actions unless busy, the project actions only with a project.
    void updateActionStates();
    QList<QAction *> projectActions() const;
    void routeUndo(bool redo);
    void toggleMixer();

    // The open project as the project file would hold it, and whether it differs from what
    // was last saved, loaded or created.
    ProjectContent currentContent() const;
    bool isModified() const;
    // Before the open project is set aside: asks Save / Discard / Cancel when it has unsaved
    // changes; false when the user cancels or the save does not happen.
    bool maySetProjectAside();
    // Tells, without waiting for an answer, which rates of a loaded file were read as 44100 Hz.
    void showReplacedRates(const std::vector<int> &rates);
    // File dialogs as Qt widgets, so they look alike everywhere and tests can answer them.
    // The save dialog appends `suffix` when the name lacks it and asks before replacing a file.
    QString askOpenFileName(const QString &caption, const QString &filter);
    QString askSaveFileName(const QString &caption, const QString &filter, const QString &suffix);
    // A VST3 bundle is a folder: opening one (or picking its .so) chooses it.
    QString askOpenPluginPath(const QString &caption, const QString &filter);

    // Media flows (MediaFlows.cpp).
    void importMedia();
    void importVideoFile(const QString &path);
    // The sound of an import into the page that shows: a new track on the multitrack page,
    // else the single-track editor, with the peak summaries its loader built, if any. False
    // when the editor refuses it (it is recording).
    bool placeImportedSound(const QList<float> &mono, const QList<float> &interleaved, int sampleRate,
                            const QString &path, std::vector<PeakSummary> summaries = {});
    // Deletes the preview, which joins its decode thread, and only then its demuxer.
    void endVideoPreview();
    void importMidi();
    void exportAudio(const QString &format);  // "wav", "mp3" or "flac"
    void exportMixdown(const QString &format);
    void loadSoundFont();
    // Asks for a module and has it tried by the probe helper; the window answers meanwhile,
    // behind the busy overlay, and finishVst3Import loads it or says why not.
    void importVst3();
    void finishVst3Import(const QString &path, const PluginProbeResult &result);
    void loadSettings();
    void saveSettings();

    ProjectDocument *document = nullptr;  // owned; outlives the pages that show it
    QStackedWidget *pageStack = nullptr;
    WelcomePage *welcomePage = nullptr;
    AudioEditorPage *editorPage = nullptr;
    MultiTrackEditorPage *multiTrackPage = nullptr;
    MixerPage *mixerPage = nullptr;
    LoadingOverlay *loadingOverlay = nullptr;

    QAction *newSingleAction = nullptr;
    QAction *newMultiAction = nullptr;
    QAction *openAction = nullptr;
    QAction *saveAction = nullptr;
    QAction *saveAsAction = nullptr;
    QAction *importMediaAction = nullptr;
    QAction *importMidiAction = nullptr;
    QAction *exportWavAction = nullptr;
    QAction *exportMp3Action = nullptr;
    QAction *exportFlacAction = nullptr;
    QAction *preferencesAction = nullptr;
    QAction *aboutAction = nullptr;
    QAction *quitAction = nullptr;
    QAction *zoomInAction = nullptr;
    QAction *zoomOutAction = nullptr;
    QAction *gainAction = nullptr;
    QAction *centerExtractAction = nullptr;
    QAction *noiseReductionAction = nullptr;
    QAction *reverbAction = nullptr;
    QAction *delayAction = nullptr;
    QAction *tempoDetectAction = nullptr;
    QAction *pitchCorrectionAction = nullptr;
    QAction *channelConvertAction = nullptr;
    QAction *compressorAction = nullptr;
    QAction *equalizerAction = nullptr;
    QAction *loadSoundFontAction = nullptr;
    QAction *importVst3Action = nullptr;
    QAction *midiDeviceAction = nullptr;
    QAction *mixerAction = nullptr;
    QAction *undoAction = nullptr;
    QAction *redoAction = nullptr;
    QAction *checkUpdatesAction = nullptr;

    PluginLoadCheck *pluginLoadCheck = nullptr;
    UpdateChecker *updateChecker = nullptr;
    QList<QMetaObject::Connection> manualCheckHandlers;  // of the manual check waiting for its answer
    bool updateDialogOpen = false;

    // The last imported video: the window owns the demuxer, the preview deletes itself when
    // closed, and the demuxer is never deleted before the preview reading it.
    VideoDemuxer *videoDemuxer = nullptr;
    QPointer<VideoPlayerDialog> videoPlayerDialog;

    QLabel *statusLabel = nullptr;
    QTimer *statusTimer = nullptr;

    bool busy = false;
    std::optional<ProjectContent> savedContent;  // none: never saved, loaded or created
};
