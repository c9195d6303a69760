// SPDX-License-Identifier: GPL-3.0-or-later
// Single-track editor page: one audio buffer shown in waveform and spectrogram views,
// with tools, transport, recording at the playhead, level meters and an undo history.
#pragma once

#include "audio/PeakSummary.h"
#include "editor/ClipDocument.h"
#include "editor/EditorTransport.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <optional>
#include <memory>
#include <vector>

class AudioProcessor;
class LoadingOverlay;
class QComboBox;
class QDialog;
class QFrame;
class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QStackedWidget;
class QStatusBar;
class QTimer;
class QToolBar;
class QVBoxLayout;
class RecordSession;
class SpectrumAnalyzerWidget;
class VideoPlayerDialog;
class WaveformWidget;

// GUI thread only. Playback runs through the EditorTransport and recording through a
// RecordSession, whose stream-thread parts publish a level and fill a ring; neither touches
// the lists or a widget. The page owns the clip's document, wires the controls to it and to
// both, and refreshes the views whenever the document changes.
// Layout, toolbar and styles are in AudioEditorPageLayout.cpp.
//
// While a recording runs the undo stack holds an open "插入录音" macro, so undo and redo,
// from the page's keys or from any menu, change nothing until the take is in place.
//
// An effect dialog shows its preview in the page and holds the document while it is open:
// edits, undo and redo, loads, recording and further effect dialogs are then refused with a
// status text. Playback stays free, so the preview can be heard.
class AudioEditorPage : public QWidget
{
    Q_OBJECT

public:
    explicit AudioEditorPage(QWidget *parent = nullptr);
    ~AudioEditorPage() override;

    // Replace the document and start a new history. Refused (false, status error) while a
    // recording runs, since the take belongs to the current list. `summaries` may carry the
    // peak summaries a loader built of the lists (AudioProcessor::peakSummaries), which the
    // waveform views then need not build again.
    bool loadAudioSamples(const QList<float> &samples, int sampleRate, std::vector<PeakSummary> summaries = {});
    // `mix` may carry the frames' left/right half-sums when the caller has them already (a
    // decoder's mono list); with any other length they are computed here.
    bool loadStereoAudioSamples(const QList<float> &interleaved, int sampleRate, const QList<float> &mix = {},
                                std::vector<PeakSummary> summaries = {});
    void setPlayheadAll(double seconds);
    // Null detaches; the page forgets a preview when it is destroyed.
    void setVideoPlayerDialog(VideoPlayerDialog *dialog);
    void showLoading(const QString &message);
    void hideLoading();
    // Undo or redo one step and refresh the views; refused while recording or while an
    // effect dialog holds the document. The Edit menu and the page's keys go through here.
    // The status names the step taken ("已撤销: 删除选区").
    void stepHistory(bool redo);

    void showStatus(const QString &text);
    ClipDocument &document() { return *clip; }
    const ClipDocument &document() const { return *clip; }
    double zoom() const { return zoomLevel; }
    bool playing() const { return isPlaying; }
    bool recording() const { return isRecording; }
    // The rate the playback engine last opened at.
    int playbackRate() const { return transport.engineRate(); }

signals:
    void backToWelcome();

public slots:
    void onZoomIn();
    void onZoomOut();
    void onZoomFit();
    void onViewTabChanged(int index);
    void onToolChanged(int tool);
    void onGainSliderChanged(int value);
    void onTogglePcmCast();

    void onPlayPauseClicked();
    void onStopClicked();
    void onRecordClicked();
    void onRewindClicked();
    void onFastForwardClicked();
    void onPlaybackTimer();

    void showGainDialog();
    void showCenterExtractionDialog();
    void showNoiseReductionDialog();
    void showReverbDialog();
    void showDelayDialog();
    void showTempoDetectionDialog();
    void showChannelConvertDialog();
    void showExciterDialog();
    void showImagerDialog();
    // Opens the equaliser on a copy of the clip; its Apply becomes one undo step "均衡器".
    void showEqualizerDialog();
    // Analysis dialogs on the page's buffer, held window-modal like the dialogs above.
    void showPitchCorrectionDialog();
    void showCompressorDialog();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void setupUi();
    void setupToolbar();
    void setupEditorLayout();
    void setupMeterPanel();
    void setupBottomControls();
    void updateThemeStyles();
    void updateToolButtonStyles(int index);
    void updateTimeLabel();
    void applyZoom(double zoom);
    void alignCombinedViews();
    void applyZoomToVisibleViews();
    void deleteSelection();
    // Hands the lists to all four views, with the summaries the document was loaded with.
    void onDocumentChanged(FrameRange frames);
    void onEraseRequested(SpectrumAnalyzerWidget *source, const SpectralBox &box,
                          const std::vector<ClipChannel> &channels, float strength);
    // Shows why and returns true while an effect dialog holds the document.
    bool refuseWhileLocked();
    // Shows why and returns true while a recording or an effect dialog rules out a new clip.
    bool refuseLoad();
    // The refusals every effect dialog shares: a running transport, no audio, a held document.
    bool canOpenEffectDialog();
    // Keeps the document held until `dialog` is destroyed.
    void holdDocumentWhileOpen(QDialog *dialog);
    // Takes an accepted analysis dialog's result as one undo step: `process` turns the
    // document's lists into the result. It may not refer to the dialog, which the busy
    // overlay's events can delete during the step.
    void commitEffect(const std::function<void(SampleLists &)> &process, const QString &loadingText,
                      const QString &label, const QString &doneText);

    void startPlayback();
    void stopPlayback();
    void endPlayState(const QString &status);
    void setMeters(int left, int right);
    void updateMeters(const float *data, int count, bool interleavedStereo);
    bool checkMicrophonePermission();
    void requestMicrophonePermission(std::function<void(bool)> callback);
    void startRecording();
    void stopRecording();
    void onRecordedBlock(const float *block, int count);
    void onRecordDrained();
    void onRecordDeviceLost();

    QToolBar *toolbar = nullptr;
    QStatusBar *statusBar = nullptr;
    QFrame *bottomControls = nullptr;
    WaveformWidget *waveform1 = nullptr;
    SpectrumAnalyzerWidget *spectrum1 = nullptr;
    WaveformWidget *waveform2 = nullptr;
    SpectrumAnalyzerWidget *spectrum2 = nullptr;
    QStackedWidget *viewStack = nullptr;
    QComboBox *viewModeCombo = nullptr;
    QProgressBar *leftMeter = nullptr;
    QProgressBar *rightMeter = nullptr;
    QPushButton *playButton = nullptr;
    bool isPlaying = false;
    QPushButton *stopButton = nullptr;
    QPushButton *recordButton = nullptr;
    QPushButton *rewindButton = nullptr;
    QPushButton *fastForwardButton = nullptr;
    QLabel *timeLabel = nullptr;
    QVBoxLayout *mainLayout = nullptr;
    QHBoxLayout *editorLayout = nullptr;
    bool isRecording = false;
    EditorTransport transport;
    RecordSession *recordSession = nullptr;
    int recordStartSize = 0;
    // Index of the document's frames where the next recorded frame goes.
    int recordPosition = 0;
    // A recorded block crossed a tenth of a second: refresh the views after this drain.
    bool recordRefreshDue = false;
    QTimer *playbackTimer = nullptr;
    double zoomLevel = 1.0;
    QPushButton *eraseButton = nullptr;
    QPushButton *castButton = nullptr;
    QSlider *eraseStrengthSlider = nullptr;
    QLabel *eraseStrengthLabel = nullptr;
    int currentTool = 0;
    QList<QPushButton *> toolButtons;
    LoadingOverlay *loadingOverlay = nullptr;
    VideoPlayerDialog *videoPlayerDialog = nullptr;
    QMetaObject::Connection videoDestroyedConnection;
    ClipDocument *clip = nullptr;
};
