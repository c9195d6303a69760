// SPDX-License-Identifier: GPL-3.0-or-later
// The one top-level window: the page stack (start page, single-track editor, multitrack
// editor, mixer), the busy overlay, the status bar with its clock label, window settings
// and the About box.
#pragma once

#include <QMainWindow>
#include <QString>

class AudioEditorPage;
class LoadingOverlay;
class MixerPage;
class MultiTrackEditorPage;
class QLabel;
class QStackedWidget;
class QTimer;
class WelcomePage;

// GUI thread only. Only the window switches pages. Settings live in the platform store
// under the application's organisation and name ("window/geometry", "window/state").
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Saves the window settings.
    ~MainWindow() override;

    // Covers the page stack with the busy overlay and lets pending events run once so it
    // paints before the caller's long work; the caller hides it on every exit path.
    void showLoading(const QString &message);
    void hideLoading();

    // Project state, written by the project flows and read by the status label and the
    // close path. `projectType` is "single" or anything else for a multitrack project.
    bool projectOpen = false;
    QString projectType = QStringLiteral("single");
    QString projectPath;
    int sampleRate = 44100;
    int bitDepth = 16;
    bool mono = false;

public slots:
    // Saves the open project to `path` (empty: the current path or a save-as dialog);
    // true only once the file is written.
    bool saveProject(const QString &path = QString());
    void showPreferences();
    void showAbout();
    void updateStatusBar();

protected:
    // With a project open asks Save / Discard / Cancel; the window stays open on Cancel
    // and when saving fails or is abandoned, so nothing unsaved is lost.
    void closeEvent(QCloseEvent *event) override;

private:
    void setupUi();
    void createStatusBar();
    void loadSettings();
    void saveSettings();

    QStackedWidget *pageStack = nullptr;
    WelcomePage *welcomePage = nullptr;
    AudioEditorPage *editorPage = nullptr;
    MultiTrackEditorPage *multiTrackPage = nullptr;
    MixerPage *mixerPage = nullptr;
    LoadingOverlay *loadingOverlay = nullptr;
    QLabel *statusLabel = nullptr;
    QTimer *statusTimer = nullptr;
};
