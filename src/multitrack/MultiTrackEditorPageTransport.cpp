// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack page's time axis: play, pause, stop, rewind and fast-forward, the playhead
// that follows the wall clock, audio and MIDI recording onto the armed track, and live keys.
#include "MultiTrackEditorPage.h"

#include "AudioTakeCapture.h"
#include "ClipLaneWidget.h"
#include "TimelineRulerWidget.h"
#include "TrackHeaderWidget.h"
#include "document/TrackRendering.h"
#include "TrackRowWidget.h"
#include "engine/LiveAudioPlayer.h"
#include "engine/Metronome.h"
#include "engine/MidiInput.h"
#include "engine/MidiRecorder.h"
#include "engine/MultiTrackAudioEngine.h"
#include "engine/StreamClock.h"
#include "project/UndoCommands.h"
#include "ui/AudioDeviceNotice.h"
#include "ui/TimeViewport.h"
#include "video/widgets/VideoPlayerDialog.h"

#include <QDebug>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <climits>

namespace {
constexpr int playbackTickMs = 50;
constexpr int midiConnectRetryMs = 1000;
constexpr int beatsPerBar = 4;
constexpr float metronomeVolume = 0.5f;
const char *const recordingStyle = "background-color: #ff2222; color: white; font-weight: bold;";
} // namespace

void MultiTrackEditorPage::setupTransport()
{
    playbackTimer = new QTimer(this);
    playbackTimer->setInterval(playbackTickMs);
    connect(playbackTimer, &QTimer::timeout, this, &MultiTrackEditorPage::onPlaybackTimer);
    midiRecorder = new MidiRecorder(this);
    liveAudioPlayer = new LiveAudioPlayer(this);

    connect(rewindButton, &QPushButton::clicked, this, &MultiTrackEditorPage::onRewind);
    connect(playButton, &QPushButton::clicked, this, &MultiTrackEditorPage::onPlayPause);
    connect(stopButton, &QPushButton::clicked, this, &MultiTrackEditorPage::onStop);
    connect(forwardButton, &QPushButton::clicked, this, &MultiTrackEditorPage::onFastForward);
    connect(recordButton, &QPushButton::clicked, this, &MultiTrackEditorPage::onRecord);

    connect(midiInput, &MidiInput::noteOnReceived, this, &MultiTrackEditorPage::onMidiNoteOn, Qt::QueuedConnection);
    connect(midiInput, &MidiInput::noteOffReceived, this, &MultiTrackEditorPage::onMidiNoteOff, Qt::QueuedConnection);
    midiConnectTimer = new QTimer(this);
    midiConnectTimer->setInterval(midiConnectRetryMs);
    connect(midiConnectTimer, &QTimer::timeout, this, &MultiTrackEditorPage::autoConnectMidi);
    midiConnectTimer->start();
}

void MultiTrackEditorPage::autoConnectMidi()
{
    if (!midiConnected && midiInput->autoConnect())
        midiConnected = true;
    if (midiConnected)
        midiConnectTimer->stop();
}

double MultiTrackEditorPage::playheadSec() const
{
    if (trackRows.empty())
        return 0.0;
    const ClipLaneWidget *lane = trackRows.front()->lane();
    return lane ? lane->playheadPosition() : 0.0;
}

void MultiTrackEditorPage::startMetronomeIfWanted(double startSeconds)
{
    if (!metronomeOn || metronome->isRunning())
        return;
    metronome->start(doc.sampleRate, doc.bpm, beatsPerBar, startSeconds);
    metronome->setVolume(metronomeVolume);
}

void MultiTrackEditorPage::onPlayPause()
{
    if (doc.tracks.empty())
        return;
    if (playing) {
        metronome->stop();
        doc.engine->pausePlayback();
        playing = false;
        playButton->setText(QStringLiteral(">"));
        playbackTimer->stop();
        if (videoDialog)
            videoDialog->syncPause();
        return;
    }
    // A recording keeps its clip out of what plays.
    buildPlaybackSlotsForRecording(recordingTrackIndex);
    const double start = playheadSec();
    playStartSec = start;
    playClock.start();
    if (!doc.engine->startPlayback(start)) {
        AudioDeviceNotice::show(this, AudioDeviceNotice::Event::OutputUnavailable);
        return;
    }
    takeClockValid = false;
    playing = true;
    playButton->setText(QStringLiteral("||"));
    playbackTimer->start();
    startMetronomeIfWanted(start);
    if (videoDialog)
        videoDialog->syncPlay();
}

void MultiTrackEditorPage::onStop()
{
    metronome->stop();
    doc.engine->stopPlayback();
    playing = false;
    playButton->setText(QStringLiteral(">"));
    playbackTimer->stop();
    syncPlayheadAll(playStartSec);
    if (videoDialog)
        videoDialog->syncPause();
}

void MultiTrackEditorPage::onRewind()
{
    syncPlayheadAll(0.0);
}

void MultiTrackEditorPage::onFastForward()
{
    syncPlayheadAll(doc.clipsEnd());
}

void MultiTrackEditorPage::onPlaybackTimer()
{
    if (doc.engine->deviceLost() || (recordCapture && recordCapture->deviceLost())) {
        onAudioDeviceLost();
        return;
    }
    const double now = playStartSec + playClock.elapsed() / 1000.0;
    if (midiRecording) {
        syncPlayheadAll(now);
        if (MidiClip *clip = recordingMidiClip()) {
            const double grown = storedMidiTime(now - midiRecordStartSec);
            if (grown > clip->duration) {
                clip->duration = storedMidiTime(now - midiRecordStartSec + 0.5);
                if (midiRecordTrack < int(trackRows.size()))
                    trackRows[size_t(midiRecordTrack)]->lane()->update();
            }
        }
    } else if (doc.engine->isPlaying()) {
        syncPlayheadAll(now);
    } else if (!recording) {
        onStop();
    }
}

void MultiTrackEditorPage::scrollToPlayhead(double seconds)
{
    const int width = viewportWidth();
    if (!playing || width <= 100)
        return;
    const double span = width / TimelineScale::pixelsPerSecond(zoom);
    const double viewStart = hScrollBar->value() / 1000.0;
    const double margin = 0.1 * span;
    if (seconds >= viewStart + margin && seconds <= viewStart + span - margin)
        return;
    const double target = std::max(0.0, seconds - 0.3 * span) * 1000.0;
    hScrollBar->setValue(std::clamp(int(std::min(target, double(INT_MAX))), 0, hScrollBar->maximum()));
}

bool MultiTrackEditorPage::isTrackRecording(int trackIndex) const
{
    return trackIndex >= 0 && trackIndex == recordingTrackIndex;
}

void MultiTrackEditorPage::updateRecordingTrackIndex()
{
    recordingTrackIndex = recordCapture ? audioTarget.track : (midiRecording ? midiRecordTrack : -1);
}

void MultiTrackEditorPage::setRecordButtonRecording(bool on)
{
    recording = on;
    recordButton->setText(on ? tr("停止") : tr("录制"));
    recordButton->setStyleSheet(on ? QLatin1String(recordingStyle) : QString());
}

void MultiTrackEditorPage::pauseTransport()
{
    if (!playing)
        return;
    doc.engine->pausePlayback();
    playbackTimer->stop();
    metronome->stop();
    playing = false;
}

void MultiTrackEditorPage::onAudioDeviceLost()
{
    const bool wasRecording = recording;
    if (recording)
        onRecord();
    // Also closes the failed stream; the next Play opens a new one.
    onStop();
    AudioDeviceNotice::show(this, wasRecording ? AudioDeviceNotice::Event::LostWhileRecording
                                               : AudioDeviceNotice::Event::LostWhilePlaying);
}

void MultiTrackEditorPage::onRecord()
{
    if (recording) {
        if (recordCapture) {
            stopAudioRecording();
            if (midiRecording)
                stopMidiRecording();
            else
                pauseTransport();
        } else if (midiRecording) {
            stopMidiRecording();
        }
        setRecordButtonRecording(false);
        return;
    }

    if (doc.tracks.empty()) {
        QMessageBox::information(this, tr("录音"), tr("请先添加轨道。"), QMessageBox::Ok);
        return;
    }
    int armedAudio = -1;
    int armedMidi = -1;
    for (const TrackRowWidget *row : trackRows) {
        if (!row->header->armed)
            continue;
        const int index = row->trackIndex;
        if (index < 0 || index >= int(doc.tracks.size()))
            continue;
        const bool midi = doc.tracks[size_t(index)].type == TrackType::Midi;
        if (midi && armedMidi < 0)
            armedMidi = index;
        if (!midi && armedAudio < 0)
            armedAudio = index;
    }
    if (armedAudio < 0 && armedMidi < 0) {
        QMessageBox::information(this, tr("录音"), tr("没有预位的轨道，请先点击 R 按钮预位一条轨道。"),
                                 QMessageBox::Ok);
        return;
    }
    // The desktop always grants the microphone, so the audio start runs at once.
    if (armedAudio >= 0) {
        doc.tracks[size_t(armedAudio)].armed = true;
        startRecordingOn(armedAudio);
    }
    if (armedMidi >= 0) {
        midiRecordTrack = armedMidi;
        startMidiRecording();
    }
    // A button showing a recording while nothing records would hide the failure.
    if (recordCapture || midiRecording)
        setRecordButtonRecording(true);
}

void MultiTrackEditorPage::startRecordingOn(int index)
{
    if (index < 0 || index >= int(doc.tracks.size()) || doc.tracks[size_t(index)].type != TrackType::Audio || recordCapture)
        return;
    if (playing) {
        doc.engine->pausePlayback();
        playbackTimer->stop();
        playing = false;
    }
    const double start = index < int(trackRows.size()) ? trackRows[size_t(index)]->lane()->playheadPosition() : 0.0;
    TrackData &track = doc.tracks[size_t(index)];
    clipsBeforeRecording = track.audioClips;
    AudioClip clip;
    clip.sampleRate = doc.sampleRate;
    clip.start = start;
    track.audioClips.push_back(std::move(clip));
    audioTarget = {index, track.audioClips.size() - 1, start, 0};

    // Render first: the capture and the playback then start together, so the take is not
    // late by however long the render took.
    buildPlaybackSlotsForRecording(index);
    recordCapture = new AudioTakeCapture(this);
    connect(recordCapture, &AudioTakeCapture::samplesArrived, this, &MultiTrackEditorPage::appendCaptured);
    if (!recordCapture->start(doc.sampleRate)) {
        qWarning() << "MultiTrack: failed to start recording";
        AudioDeviceNotice::show(this, AudioDeviceNotice::Event::InputUnavailable);
        delete recordCapture;
        recordCapture = nullptr;
        if (recordingAudioClip())
            track.audioClips.erase(track.audioClips.begin() + std::ptrdiff_t(audioTarget.clip));
        audioTarget = {};
        clipsBeforeRecording.clear();
        return;
    }
    playStartSec = start;
    playClock.start();
    playing = doc.engine->startPlayback(start);
    takeClockValid = playing;
    playbackTimer->start();
    startMetronomeIfWanted(start);
    updateRecordingTrackIndex();
    setRecordButtonRecording(true);
    qDebug() << "MultiTrack: recording started on track" << index << "at" << start << "s";
}

AudioClip *MultiTrackEditorPage::recordingAudioClip()
{
    const RecordingClip &t = audioTarget;
    if (t.track < 0 || t.track >= int(doc.tracks.size()))
        return nullptr;
    std::vector<AudioClip> &clips = doc.tracks[size_t(t.track)].audioClips;
    if (t.clip >= clips.size())
        return nullptr;
    AudioClip &clip = clips[t.clip];
    return clip.start == t.start && clip.samples.size() == t.length ? &clip : nullptr;
}

MidiClip *MultiTrackEditorPage::recordingMidiClip()
{
    const RecordingClip &t = midiTarget;
    if (t.track < 0 || t.track >= int(doc.tracks.size()))
        return nullptr;
    std::vector<MidiClip> &clips = doc.tracks[size_t(t.track)].midiClips;
    if (t.clip >= clips.size())
        return nullptr;
    MidiClip &clip = clips[t.clip];
    return clip.start == t.start && qsizetype(clip.notes.size()) == t.length ? &clip : nullptr;
}

void MultiTrackEditorPage::appendCaptured(const float *samples, int count)
{
    AudioClip *clip = recordingAudioClip();
    if (!clip) {
        qWarning() << "MultiTrack: the recording clip is gone; captured audio dropped";
        return;
    }
    clip->samples.append(QList<float>(samples, samples + count));
    audioTarget.length = clip->samples.size();
    if (audioTarget.track < int(trackRows.size()))
        trackRows[size_t(audioTarget.track)]->lane()->update();
}

void MultiTrackEditorPage::alignTake(AudioClip &clip) const
{
    if (!takeClockValid)
        return;
    const std::optional<std::int64_t> offset =
        captureOffsetFrames(doc.engine->outputTiming(), recordCapture->timing(), doc.sampleRate);
    if (!offset) {
        qDebug() << "MultiTrack: the streams gave no timing; the take stays where it began";
        return;
    }
    // What was captured at time t after the capture began was played at t after the playback
    // began, plus the offset: the clip, which starts where the playback did, gets silence in
    // front or loses what came before that.
    if (*offset > 0)
        clip.samples.insert(0, qsizetype(std::min<std::int64_t>(*offset, INT_MAX)), 0.0f);
    else if (*offset < 0)
        clip.samples.remove(0, qsizetype(std::min<std::int64_t>(-*offset, clip.samples.size())));
    qDebug() << "MultiTrack: take placed by the stream clocks, moved by" << *offset << "frames";
}

void MultiTrackEditorPage::stopAudioRecording()
{
    if (!recordCapture)
        return;
    // No block arrives after this: every captured sample is in the clip.
    recordCapture->stop();
    const int index = audioTarget.track;
    if (AudioClip *clip = recordingAudioClip()) {
        alignTake(*clip);
        if (clip->samples.isEmpty())
            doc.tracks[size_t(index)].audioClips.erase(doc.tracks[size_t(index)].audioClips.begin()
                                                   + std::ptrdiff_t(audioTarget.clip));
    }
    delete recordCapture;
    recordCapture = nullptr;
    audioTarget = {};
    updateRecordingTrackIndex();
    if (index >= 0 && index < int(doc.tracks.size()) && doc.tracks[size_t(index)].audioClips != clipsBeforeRecording) {
        doc.undoStack->push(new TrackClipsSnapshotCommand(&doc.tracks, index, clipsBeforeRecording,
                                                      doc.tracks[size_t(index)].audioClips, tr("录音")));
        if (index < int(trackRows.size()))
            trackRows[size_t(index)]->lane()->update();
        updateRuler();
    }
    clipsBeforeRecording.clear();
}

double MultiTrackEditorPage::storedMidiTime(double playedSeconds) const
{
    // MIDI times are stored in the imported file's tempo and scaled on playback; a take
    // is stored the same way so it sounds where it was played at any project tempo.
    return playedSeconds / midiTempoScale(doc.bpm, doc.midiFileTempo);
}

double MultiTrackEditorPage::liveEventTime() const
{
    if (playing)
        return playStartSec + playClock.elapsed() / 1000.0;
    if (midiRecordTrack >= 0 && midiRecordTrack < int(trackRows.size()))
        return trackRows[size_t(midiRecordTrack)]->lane()->playheadPosition();
    return 0.0;
}

void MultiTrackEditorPage::startMidiRecording()
{
    if (midiRecordTrack < 0 || midiRecordTrack >= int(doc.tracks.size())
        || doc.tracks[size_t(midiRecordTrack)].type != TrackType::Midi || midiRecording)
        return;
    const double x = midiRecordTrack < int(trackRows.size())
                         ? trackRows[size_t(midiRecordTrack)]->lane()->playheadPosition()
                         : 0.0;
    midiRecording = true;
    connect(midiRecorder, &MidiRecorder::noteCompleted, this, &MultiTrackEditorPage::onRecordedNoteCompleted);
    midiRecordStartSec = x;
    midiRecorder->startRecording(x, doc.bpm);

    TrackData &track = doc.tracks[size_t(midiRecordTrack)];
    midiClipsBeforeRecording = track.midiClips;
    MidiClip clip;
    clip.id = int(track.midiClips.size()) + 1;
    clip.start = storedMidiTime(x);
    clip.duration = storedMidiTime(0.5);
    track.midiClips.push_back(std::move(clip));
    midiTarget = {midiRecordTrack, track.midiClips.size() - 1, track.midiClips.back().start, 0};
    updateRecordingTrackIndex();

    startMetronomeIfWanted(x);
    if (!playing) {
        buildPlaybackSlotsForRecording(midiRecordTrack);
        playStartSec = x;
        playClock.start();
        doc.engine->startPlayback(x);
        playing = true;
        playbackTimer->start();
        playButton->setText(tr("暂停"));
    }
    if (midiRecordTrack < int(trackRows.size()))
        trackRows[size_t(midiRecordTrack)]->lane()->update();
    updateRuler();
    qDebug() << "MIDI recording started at" << x << "s";
}

void MultiTrackEditorPage::onRecordedNoteCompleted(const MidiNote &note)
{
    MidiClip *clip = recordingMidiClip();
    if (!clip) {
        qDebug() << "onRecordedNoteCompleted: targetClip is NULL!";
        return;
    }
    MidiNote stored = note;
    stored.start = storedMidiTime(note.start);
    stored.duration = storedMidiTime(note.duration);
    clip->notes.push_back(stored);
    midiTarget.length = qsizetype(clip->notes.size());
    if (stored.start + stored.duration > clip->duration)
        clip->duration = stored.start + stored.duration + storedMidiTime(0.5);
    qDebug() << "Real-time note: pitch=" << stored.pitch << "start=" << stored.start << "dur=" << stored.duration
             << "clipDur=" << clip->duration << "notes=" << clip->notes.size();
    if (midiRecordTrack >= 0 && midiRecordTrack < int(trackRows.size()))
        trackRows[size_t(midiRecordTrack)]->lane()->update();
}

void MultiTrackEditorPage::stopMidiRecording()
{
    if (!midiRecording)
        return;
    midiRecording = false;
    // Notes still held close here, at the stop, and arrive through noteCompleted.
    midiRecorder->stopRecording(liveEventTime());
    disconnect(midiRecorder, &MidiRecorder::noteCompleted, this, &MultiTrackEditorPage::onRecordedNoteCompleted);

    const int index = midiTarget.track;
    if (MidiClip *clip = recordingMidiClip(); clip && clip->notes.empty())
        doc.tracks[size_t(index)].midiClips.erase(doc.tracks[size_t(index)].midiClips.begin() + std::ptrdiff_t(midiTarget.clip));
    midiTarget = {};
    if (index >= 0 && index < int(doc.tracks.size()) && doc.tracks[size_t(index)].midiClips != midiClipsBeforeRecording) {
        doc.undoStack->push(TrackClipsSnapshotCommand::createForMidi(&doc.tracks, index, midiClipsBeforeRecording,
                                                                 doc.tracks[size_t(index)].midiClips, tr("录制MIDI")));
    }
    midiClipsBeforeRecording.clear();
    if (index >= 0 && index < int(trackRows.size())) {
        trackRows[size_t(index)]->lane()->update();
        updateRuler();
    }
    midiRecordTrack = -1;
    updateRecordingTrackIndex();
    qDebug() << "MIDI recording stopped";
}

void MultiTrackEditorPage::endRecording()
{
    if (recording)
        onRecord();
}

bool MultiTrackEditorPage::isLivePlayerRunning() const
{
    return liveAudioPlayer->isRunning();
}

void MultiTrackEditorPage::ensureLivePlayer()
{
    if (liveAudioPlayer->isRunning())
        return;
    if (doc.sf2Sampler.isLoaded()) {
        qDebug() << "onMidiNoteOn: using SF2 sampler";
        liveAudioPlayer->setSf2Sampler(&doc.sf2Sampler);
    } else {
        qDebug() << "onMidiNoteOn: using Piano sampler, samples=" << doc.pianoSampler.recordingCount();
        liveAudioPlayer->setPianoSampler(&doc.pianoSampler);
    }
    liveAudioPlayer->start(doc.sampleRate);
}

void MultiTrackEditorPage::retargetLivePlayer()
{
    // A player still rendering the piano would leave the SoundFont's notes unheard.
    if (!liveAudioPlayer->isRunning())
        return;
    liveAudioPlayer->stop();
    ensureLivePlayer();
}

void MultiTrackEditorPage::sendLiveNoteOn(int channel, int pitch, int velocity)
{
    ensureLivePlayer();
    if (doc.sf2Sampler.isLoaded())
        doc.sf2Sampler.noteOn(channel, pitch, velocity);
    else
        doc.pianoSampler.noteOn(pitch, velocity);
}

void MultiTrackEditorPage::sendLiveNoteOff(int channel, int pitch)
{
    if (doc.sf2Sampler.isLoaded())
        doc.sf2Sampler.noteOff(channel, pitch);
    else
        doc.pianoSampler.noteOff(pitch);
}

void MultiTrackEditorPage::onMidiNoteOn(int channel, int pitch, int velocity)
{
    qDebug() << "onMidiNoteOn: ch=" << channel << "pitch=" << pitch << "vel=" << velocity
             << "sf2Loaded=" << (doc.sf2Sampler.isLoaded() ? "true" : "false")
             << "pianoLoaded=" << (doc.pianoSampler.hasSamples() ? "true" : "false")
             << "pianoSamples=" << doc.pianoSampler.recordingCount()
             << "playerRunning=" << (liveAudioPlayer->isRunning() ? "true" : "false");
    if (!liveAudioPlayer->isRunning()) {
        ensureLivePlayer();
        midiConnected = true;
    }
    sendLiveNoteOn(channel, pitch, velocity);
    if (midiRecording)
        midiRecorder->handleNoteOn(pitch, velocity, liveEventTime());
}

void MultiTrackEditorPage::onMidiNoteOff(int channel, int pitch)
{
    sendLiveNoteOff(channel, pitch);
    if (midiRecording)
        midiRecorder->handleNoteOff(pitch, liveEventTime());
}
