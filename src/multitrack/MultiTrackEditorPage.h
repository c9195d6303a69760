// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor page: shows the open project's tracks as rows of headers and clip
// lanes on a zoomable timeline, and edits, plays and records them.
#pragma once

#include "document/ProjectDocument.h"
#include "project/TimelineMarker.h"
#include "project/TrackData.h"
#include "project/TrackRowHost.h"

#include <QElapsedTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

class AudioPluginBridge;
class AudioTakeCapture;
class ClipLaneWidget;
class LiveAudioPlayer;
class MidiRecorder;
class QTimer;
class Metronome;
class MidiInput;
class PianoRollSessions;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QScrollBar;
class QToolBar;
class QVBoxLayout;
class TimelineRulerWidget;
class TrackRowWidget;
class VST3EditorWindow;
class VideoPlayerDialog;
struct TrackClips;

// GUI thread only. The project lives in the document the page is given, which outlives it;
// every addition or removal of a track goes through an undo command or clears the undo stack.
// Row i of `trackRows` shows track i, carries index i and points at tracks[i]: every change
// to `tracks` re-binds the rows it moved before anything else runs.
// A time t is drawn at x = (t - viewStartSec) x zoom x 100 on every lane and the ruler.
class MultiTrackEditorPage : public QWidget, public TrackRowHost
{
    Q_OBJECT

public:
    // Handed unchanged to every lane.
    enum ToolMode : int { None = 0, Scissor = 1, Move = 2 };

    static constexpr double maxZoom = 512.0;
    static constexpr double minZoom = 0.01;
    // A project shorter than this still scrolls and zooms as if it were this long.
    static constexpr double minProjectSeconds = 300.0;

    MultiTrackEditorPage(ProjectDocument &document, QWidget *parent);
    // Ends a recording, stops the live player and the playback and takes the rows away;
    // the undo steps, which name the rows, go with them.
    ~MultiTrackEditorPage() override;

    ProjectDocument &document() { return doc; }
    const ProjectDocument &document() const { return doc; }

    // Project-level operations the shell's flows call.
    // A rate outside ProjectLimits (8 kHz to 384 kHz) is ignored, so no engine or plug-in
    // ever runs at it.
    void setSampleRate(int rate) { doc.setSampleRate(rate); }
    void clearTracks();
    void addTrack(TrackType type, const QList<float> &samples, int sampleRate, const QString &name,
                  const QList<float> &stereoSamples);
    void addMidiTrack(const QString &name, std::vector<MidiNote> notes, double length);
    // Scrolls the rows so tracks `first` to `last` show, as many as fit, `first` at least,
    // once the event loop runs: imports add their tracks at the bottom, often below the
    // visible rows.
    void scrollToTracks(int first, int last);
    // Out-of-range indexes do nothing.
    void removeTrack(int index);
    // Rebuilds every row from the records, for a caller that rewrote them wholesale (a load).
    void rebuildTrackRows();
    // Appends loaded records as they are, an empty name filled in as addTrack (audio) or
    // addMidiTrack would, and builds their rows once, without undo steps.
    void appendLoadedTracks(std::vector<TrackData> loaded);
    // Gives every MIDI row its instrument list again, after the instruments changed.
    void refreshInstrumentLists();
    void setMarkers(const std::vector<TimelineMarker> &markers);
    // The document's SoundFont loads (see there), then every row's list and the live player follow.
    bool copyAndLoadSoundFont(const QString &path);
    // Loads the file itself as the MIDI tracks' SoundFont; false leaves none loaded.
    bool loadSoundFont(const QString &path);
    void scanAndLoadExistingSf2();
    QString sf2Directory() const { return ProjectDocument::sf2Directory(); }
    void showMidiDeviceDialog();
    // The video preview the page drives (null detaches); forgotten once it is destroyed.
    void setVideoPlayerDialog(VideoPlayerDialog *dialog);
    // Shows the video button on the header of track `index`, which brings the preview up.
    void showVideoButtonOnTrack(int index);

    // TrackRowHost: the track undo commands keep the rows in step through these.
    std::vector<TrackData> &trackList() override { return doc.tracks; }
    void createTrackRow(int index) override;
    void destroyTrackRow(int index) override;
    void rebindTrackRows(int from) override;
    // Hands project length, view and markers to the ruler and sizes the scroll bar.
    void updateRuler() override;
    // Takes a tempo from a file: the box shows it without writing back its own rounded value.
    void setTempo(double value);

    // View: zoom is clamped so the whole project never gets narrower than the lanes.
    void syncZoomAll();
    // Zooms keeping the time under viewport column `anchorX` in place (no anchor below 0).
    void applyZoom(double newZoom, int anchorX);
    double projectLength() const;
    // Moves every lane's and the ruler's playhead to one time and shows it.
    void syncPlayheadAll(double seconds);
    void updateTimeLabel(double seconds);
    // Undoes or redoes one step, then repaints every lane and refreshes the ruler. Does
    // nothing while a recording runs: a step could move the clip being recorded.
    void stepHistory(bool redo);

    // Transport (GUI thread). Play renders every track and starts the engine at the playhead;
    // the playhead then follows the wall clock in 50 ms ticks.
    void onPlayPause();
    // Stops playback and puts the playhead back where the last playback began.
    void onStop();
    void onRewind();
    void onFastForward();
    void onPlaybackTimer();
    // Starts or ends recording on the armed track(s).
    void onRecord();
    void startRecordingOn(int index);
    void startMidiRecording();
    void stopMidiRecording();
    void onRecordedNoteCompleted(const MidiNote &note);
    // Live keys: sound through the SoundFont when one is loaded, else the piano, and go to
    // the recorder while MIDI is recorded.
    void onMidiNoteOn(int channel, int pitch, int velocity);
    void onMidiNoteOff(int channel, int pitch);
    // The one consumer that renders the live instrument; previews only send notes while it runs.
    bool isLivePlayerRunning() const;
    // Starts the live player on the current instrument if it is not running.
    void ensureLivePlayer();
    void sendLiveNoteOn(int channel, int pitch, int velocity);
    void sendLiveNoteOff(int channel, int pitch);
    // True while track `trackIndex` receives a recording; its clips then take no edits.
    bool isTrackRecording(int trackIndex) const;
    // The time every lane's playhead shows (0 without rows).
    double playheadSec() const;

    double zoom = 1.0;                     // 1.0 = 100 pixels per second
    double viewStartSec = 0.0;             // time at the lanes' left edge
    // The plug-in host of the tracks and the mixer.
    AudioPluginBridge *bridge() const { return pluginBridge; }

    bool renderMixdown(QList<float> &out, int &outRate) { return doc.renderMixdown(out, outRate); }
    void updateEngineTrackSlot(int index) { doc.updateEngineTrackSlot(index); }
    // Renders every track for playback into the caches and hands the slots to the engine;
    // during a recording, the recorded track's last (recording) clip is left out.
    void renderPlaybackSlots() { doc.renderCachesAndSlots(-1); }
    void buildPlaybackSlotsForRecording(int recordTrackIndex) { doc.renderCachesAndSlots(recordTrackIndex); }

    // Transport state.
    bool playing = false;
    double playStartSec = 0.0;     // where the last playback began
    QElapsedTimer playClock;       // wall clock since then
    QTimer *playbackTimer = nullptr;
    bool recording = false;        // the record button's state
    bool midiRecording = false;
    int midiRecordTrack = -1;
    double midiRecordStartSec = 0.0;
    int recordingTrackIndex = -1;  // the audio or MIDI track receiving a recording, -1 for none
    bool midiConnected = false;
    QTimer *midiConnectTimer = nullptr;

    // Clip and marker edits, each one undo step (GUI thread). Requests with an index out of
    // range, a track of the other kind, or on the track being recorded change nothing.
    // Times are as they sound: MIDI clips are converted with midiTempoScale(bpm, midiFileTempo).
    void splitClipAtPlayhead(int trackIndex, int clipIndex);
    // Splits the first clip under the playhead on the selected track.
    void onSplitClip();
    void deleteAudioClip(int trackIndex, int clipIndex);
    void deleteMidiClip(int trackIndex, int clipIndex);
    // Records an edit the lists of track `trackIndex` went through (nothing when unchanged).
    void commitClipsEdit(int trackIndex, const TrackClips &before, const QString &label);
    void commitEnvelopeEdit(int trackIndex, const std::vector<EnvelopePoint> &before,
                            const std::vector<EnvelopePoint> &after);
    // Moves a clip with the move tool: same track, the horizontal movement; another track
    // of its kind, the end of that track's list at the same start. Drops must land on a
    // lane inside the visible part of the lanes.
    void onClipDragStarted(int trackIndex, int clipIndex, QPoint globalPos);
    void onClipDragMoved(QPoint globalPos);
    void onClipDragFinished(QPoint globalPos);
    // Row of the lane under global y within the visible lanes, -1 for none.
    int findTrackIndexAtGlobalY(int globalY) const;
    void addMarkerAtPlayhead();
    // Asks for a label; an empty one or a cancel changes nothing.
    void renameMarker(int index);
    void renameMarker(int index, const QString &label);
    void removeMarker(int index);
    void syncMarkersToRuler();
    // A new audio track right below a MIDI track, sounding exactly as one of its clips does.
    void renderMidiInPlace(int trackIndex, int clipIndex);
    // Edits one audio clip's source in a single-track editor inside a modal dialog.
    void editAudioClip(int trackIndex, int clipIndex);

    ToolMode toolMode = None;
    bool snapEnabled = false;
    bool metronomeOn = false;  // wanted during playback and recording

    QToolBar *toolBar = nullptr;
    QPushButton *scissorButton = nullptr;
    QPushButton *moveButton = nullptr;
    QPushButton *envelopeButton = nullptr;
    QPushButton *snapButton = nullptr;
    QScrollArea *headerScrollArea = nullptr;
    QVBoxLayout *headerColumn = nullptr;
    QScrollArea *laneScrollArea = nullptr;
    QVBoxLayout *lanesColumn = nullptr;
    TimelineRulerWidget *ruler = nullptr;
    QScrollBar *hScrollBar = nullptr;
    QPushButton *addTrackButton = nullptr;
    QPushButton *rewindButton = nullptr;
    QPushButton *playButton = nullptr;
    QPushButton *stopButton = nullptr;
    QPushButton *forwardButton = nullptr;
    QPushButton *recordButton = nullptr;
    QPushButton *metronomeButton = nullptr;
    QComboBox *rulerModeCombo = nullptr;
    QDoubleSpinBox *bpmSpinBox = nullptr;
    QLabel *timeLabel = nullptr;

    PianoRollSessions *pianoRolls = nullptr;  // the open note editors of the MIDI clips
    std::vector<TrackRowWidget *> trackRows;  // one per track, same order
    int selectedTrack = -1;                   // -1 for none
    // The open editor window of each plug-in id. Not owned: a window the user closes deletes
    // itself and is forgotten here; windows outlive their tracks and the page.
    std::map<int, VST3EditorWindow *> editorWindows;

signals:
    void backToWelcome();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // The mixer may have changed volumes, mutes and solos while the page was hidden.
    void showEvent(QShowEvent *event) override;

private:
    ProjectDocument &doc;
    // Owned; initialised at the document's rate with its block size, and again at every new rate.
    AudioPluginBridge *pluginBridge = nullptr;
    // Rows, tempo box and ruler for a document that was just replaced.
    void showDocument();

    void setupUi();
    void setupToolBar();
    void setupTransportBar();
    void onToolChanged(ToolMode mode);
    void onSnapChanged(bool enabled);
    void onEnvelopeViewToggled(bool checked);
    void onRulerModeChanged(int index);
    void onTempoChanged(double value);
    void showAddTrackMenu();
    void onTrackChanged(const TrackRowWidget *row);
    // Shows or closes the editor window of track index's plug-in.
    void onVst3EditorToggled(int index, bool show);
    void selectTrack(int index);
    void stopPlaybackBeforeTrackChange();
    void appendTrack(TrackData track, const QString &undoText);
    double clampZoom(double value) const;
    int viewportWidth() const;
    void forEachLane(const std::function<void(ClipLaneWidget *)> &apply) const;
    // Showing a widget lays out every column above it at once. So that rows added in a burst
    // (a project opening) cost one layout and not one per row, new lanes are shown, and the
    // columns laid out, together once control is back in the event loop; until then the
    // column layouts are off.
    void showRowLater(QWidget *lane);
    void showWaitingRows();
    std::vector<QWidget *> lanesToShow;
    // A header is shown once it comes near the view: styling one costs more than anything
    // else a row does, and most rows of a big project are out of sight. Until then it keeps
    // its place in the column hidden.
    void revealHeadersInView();
    // The same once the columns' pending layout ran.
    void revealHeadersSoon();
    bool headerRevealPending = false;

    // The clip a recording fills, named by track and position and checked against what was
    // put there, so an edit that moved it can never make a take land in another clip.
    struct RecordingClip
    {
        int track = -1;
        std::size_t clip = 0;
        double start = 0.0;
        qsizetype length = 0;
    };
    AudioClip *recordingAudioClip();
    MidiClip *recordingMidiClip();
    void appendCaptured(const float *samples, int count);
    void stopAudioRecording();
    // Puts the finished take where the streams' clocks say it was heard.
    void alignTake(AudioClip &clip) const;
    void setupTransport();
    void startMetronomeIfWanted(double startSeconds);
    // While playing, keeps the playhead in view: past the edge margins it jumps to 30 % of the span.
    void scrollToPlayhead(double seconds);
    // A played time in the stored MIDI time base.
    double storedMidiTime(double playedSeconds) const;
    // Ends a running recording as its button would.
    void endRecording();
    void retargetLivePlayer();
    void pauseTransport();
    void setRecordButtonRecording(bool on);
    void updateRecordingTrackIndex();
    // Timeline time of live MIDI events: the running playback's time, else the playhead.
    double liveEventTime() const;
    void autoConnectMidi();

    // Repaints the row's lane, the ruler and the engine's slot after a clip edit.
    void refreshAfterClipEdit(int trackIndex);
    // Wires a new row's clip requests to the edits above.
    void connectClipEdits(TrackRowWidget *row);
    // Every MIDI lane draws at the current midiTempoScale(bpm, midiFileTempo).
    void syncMidiTempoScale();
    // No undo or redo while a lane holds a gesture (it would replace the lists under it)
    // or while a track records (captured audio must not land in a user's clip).
    bool historyStepAllowed() const;
    bool validTrack(int index) const { return index >= 0 && index < static_cast<int>(doc.tracks.size()); }
    void endClipDrag();
    bool dragging = false;
    int dragSourceTrack = -1;
    int dragSourceClip = -1;
    bool dragIsMidi = false;
    double dragOrigStart = 0.0;
    int dragPressX = 0;
    QWidget *dragGhost = nullptr;  // parentless floating window, owned while it exists

    MidiInput *midiInput = nullptr;
    Metronome *metronome = nullptr;
    MidiRecorder *midiRecorder = nullptr;
    LiveAudioPlayer *liveAudioPlayer = nullptr;
    AudioTakeCapture *recordCapture = nullptr;  // while an audio recording runs
    RecordingClip audioTarget;
    bool takeClockValid = false;  // the playback started with the take is the one still running
    RecordingClip midiTarget;
    std::vector<AudioClip> clipsBeforeRecording;
    std::vector<MidiClip> midiClipsBeforeRecording;
    bool scrollSyncGuard = false;  // set while one column's vertical scroll is copied to the other
    VideoPlayerDialog *videoDialog = nullptr;  // not owned
    QMetaObject::Connection videoDestroyedConnection;
};
