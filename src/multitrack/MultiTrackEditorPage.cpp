// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor page: owns the open project's tracks, markers and undo history.
#include "MultiTrackEditorPage.h"

#include "MidiDeviceDialog.h"
#include "TrackRendering.h"
#include "engine/MidiInput.h"
#include "engine/MultiTrackAudioEngine.h"
#include "engine/TrackRenderPlan.h"
#include "plugins/AudioPluginBridge.h"
#include "project/UndoCommands.h"
#include "video/widgets/VideoPlayerDialog.h"

#include <QColor>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUndoStack>

#include <algorithm>
#include <array>

namespace {

// The plug-ins and the mixing engine work in blocks of this many frames.
constexpr int engineBlockFrames = 512;

// A new track takes entry (tracks before it) mod 8.
const std::array<QColor, 8> trackColors = {
    QColor(0x3a, 0x86, 0xff), QColor(0xff, 0x00, 0x55), QColor(0x00, 0xf2, 0xff), QColor(0xff, 0xcc, 0x00),
    QColor(0x72, 0x09, 0xb7), QColor(0xff, 0x9f, 0x1c), QColor(0x00, 0xd2, 0x6a), QColor(0xff, 0x66, 0xcc),
};

int midiTrackCount(const std::vector<TrackData> &tracks)
{
    return static_cast<int>(
        std::count_if(tracks.begin(), tracks.end(), [](const TrackData &t) { return t.type == TrackType::Midi; }));
}

// Copies `source` over `target` through a temporary file, so a failed copy leaves any
// earlier file of that name whole.
bool copyReplacing(const QString &source, const QString &target)
{
    QFile in(source);
    QSaveFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    constexpr qint64 chunkBytes = 1 << 20;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(chunkBytes);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            break;
        }
    }
    return out.commit();
}

} // namespace

MultiTrackEditorPage::MultiTrackEditorPage(QWidget *parent)
    : QWidget(parent), undoStack(new QUndoStack(this)), midiInput(new MidiInput(this))
{
    setObjectName(QStringLiteral("MultiTrackEditorPage"));
    engine = new MultiTrackAudioEngine;
    engine->initialize(sampleRate, engineBlockFrames);
    pluginBridge = new AudioPluginBridge;
    pluginBridge->initialize(sampleRate, engineBlockFrames);
}

MultiTrackEditorPage::~MultiTrackEditorPage()
{
    engine->stopPlayback();
    engine->shutdown();
    delete engine;
    pluginBridge->shutdown();
    delete pluginBridge;
}

void MultiTrackEditorPage::setSampleRate(int rate)
{
    if (rate == sampleRate || rate < 1)
        return;
    sampleRate = rate;
    replaceEngine();
    pluginBridge->shutdown();
    pluginBridge->initialize(rate, engineBlockFrames);
}

void MultiTrackEditorPage::clearTracks()
{
    tracks.clear();
    markers.clear();
    undoStack->clear();
}

void MultiTrackEditorPage::addTrack(TrackType type, const QList<float> &samples, int sampleRate, const QString &name,
                                    const QList<float> &stereoSamples)
{
    TrackData track;
    track.type = type;
    track.name = name.isEmpty() ? tr("轨道 %1").arg(tracks.size() + 1) : name;
    if (!samples.isEmpty()) {
        AudioClip clip;
        clip.samples = samples;
        clip.stereoSamples = stereoSamples;
        clip.sampleRate = sampleRate;
        track.audioClips.push_back(std::move(clip));
        if (this->sampleRate < 1)
            this->sampleRate = sampleRate;
    }
    appendTrack(std::move(track), tr("添加轨道"));
}

void MultiTrackEditorPage::addMidiTrack(const QString &name, std::vector<MidiNote> notes, double length)
{
    TrackData track;
    track.type = TrackType::Midi;
    track.name = name.isEmpty() ? tr("MIDI轨 %1").arg(midiTrackCount(tracks) + 1) : name;
    MidiClip clip;
    clip.notes = std::move(notes);
    clip.duration = length;
    track.midiClips.push_back(std::move(clip));
    appendTrack(std::move(track), tr("添加MIDI轨道"));
}

void MultiTrackEditorPage::appendTrack(TrackData track, const QString &undoText)
{
    track.color = trackColors[tracks.size() % trackColors.size()];
    track.volume = 0.8f;
    if (track.type == TrackType::Midi)
        track.midiChannel = midiTrackCount(tracks) % 16;
    tracks.push_back(std::move(track));
    undoStack->push(new AddTrackCommand(this, undoText));
}

std::vector<TrackData> &MultiTrackEditorPage::trackList()
{
    return tracks;
}

void MultiTrackEditorPage::createTrackRow(int) {}
void MultiTrackEditorPage::destroyTrackRow(int) {}
void MultiTrackEditorPage::rebindTrackRows(int) {}
void MultiTrackEditorPage::updateRuler() {}

void MultiTrackEditorPage::setMarkers(const std::vector<TimelineMarker> &markers)
{
    // A file may list its markers in any order; the page keeps them sorted by time.
    this->markers = markers;
    std::stable_sort(this->markers.begin(), this->markers.end(),
                     [](const TimelineMarker &a, const TimelineMarker &b) { return a.time < b.time; });
}

void MultiTrackEditorPage::showMidiDeviceDialog()
{
    // The live instrument player that a chosen device feeds joins with the transport.
    MidiDeviceDialog dialog(midiInput, this);
    dialog.exec();
}

QString MultiTrackEditorPage::sf2Directory() const
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/soundfonts");
}

bool MultiTrackEditorPage::copyAndLoadSoundFont(const QString &path)
{
    // Trying the file on an instrument of its own first keeps a damaged file out of the
    // folder and the loaded SoundFont playing.
    if (!SF2Sampler().loadSoundFont(path))
        return false;

    const QString dir = sf2Directory();
    QDir().mkpath(dir);
    const QString dest = dir + QLatin1Char('/') + QFileInfo(path).fileName();
    if (QFileInfo(dest).canonicalFilePath() == QFileInfo(path).canonicalFilePath())
        return sf2Sampler.loadSoundFont(path);

    QString loadPath = dest;
    if (copyReplacing(path, dest)) {
        qDebug() << "MultiTrackEditorPage: SF2 copied to" << dest;
    } else {
        qWarning() << "MultiTrackEditorPage: failed to copy SF2 to app dir:" << path << "->" << dest;
        loadPath = path;
    }
    return sf2Sampler.loadSoundFont(loadPath);
}

void MultiTrackEditorPage::scanAndLoadExistingSf2()
{
    const QDir dir(sf2Directory());
    if (!dir.exists())
        return;
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.sf2")}, QDir::Files,
                                                  QDir::Name | QDir::IgnoreCase);
    if (files.isEmpty())
        return;
    const QString first = files.first().absoluteFilePath();
    qDebug() << "MultiTrackEditorPage: auto-loading SF2 from app dir:" << first;
    sf2Sampler.loadSoundFont(first);
}

void MultiTrackEditorPage::replaceEngine()
{
    // A playback that was running ends here; the next one opens the device at the new rate.
    engine->stopPlayback();
    engine->shutdown();
    delete engine;
    engine = new MultiTrackAudioEngine;
    engine->initialize(sampleRate, engineBlockFrames);
}

TrackData MultiTrackEditorPage::tempoScaledTrack(const TrackData &track) const
{
    return tempoScaled(track, midiTempoScale(bpm, midiFileTempo));
}

QList<float> MultiTrackEditorPage::renderTrack(const TrackData &track)
{
    if (track.type == TrackType::Audio)
        return track.audioClips.empty() ? QList<float>() : renderAudioClips(track, sampleRate);

    const TrackData scaled = tempoScaledTrack(track);
    QList<float> render;
    if (sf2Sampler.isLoaded())
        render = sf2Sampler.renderTrack(scaled, sampleRate);
    else if (pianoSampler.hasSamples())
        render = pianoSampler.renderTrack(scaled, sampleRate);
    applyEnvelope(track, std::span<float>(render.data(), size_t(render.size())), sampleRate);
    return render;
}

void MultiTrackEditorPage::renderPlaybackSlots()
{
    renderCachesAndSlots(-1);
}

void MultiTrackEditorPage::buildPlaybackSlotsForRecording(int recordTrackIndex)
{
    renderCachesAndSlots(recordTrackIndex);
}

void MultiTrackEditorPage::renderCachesAndSlots(int recordTrackIndex)
{
    std::vector<QList<float>> midiRenders(tracks.size());
    std::vector<QList<float>> audioRenders(tracks.size());
    std::vector<bool> withEnvelope(tracks.size(), false);
    std::vector<MultiTrackAudioEngine::TrackSlot> trackSlots;
    trackSlots.reserve(tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i) {
        const TrackData &track = tracks[i];
        const bool midi = track.type == TrackType::Midi;
        QList<float> &render = midi ? midiRenders[i] : audioRenders[i];
        if (int(i) != recordTrackIndex) {
            render = renderTrack(track);
        } else {
            // The last clip is the one the recording fills; the others play along.
            TrackData played = track;
            const auto dropLast = [](auto &clips) {
                if (clips.size() < 2)
                    return false;
                clips.pop_back();
                return true;
            };
            if (midi ? dropLast(played.midiClips) : dropLast(played.audioClips))
                render = renderTrack(played);
        }
        withEnvelope[i] = envelopeInForce(track);
        trackSlots.push_back(trackSlot(track, render, withEnvelope[i]));
    }
    engine->setTracks(trackSlots);
    // The old renders are freed only once no block of a running stream can read them.
    if (!engine->waitForSlotAdoption())
        engine->stopPlayback();
    midiRenderCache = std::move(midiRenders);
    audioRenderCache = std::move(audioRenders);
    envelopeInRender = std::move(withEnvelope);
}

void MultiTrackEditorPage::updateEngineTrackSlot(int index)
{
    if (index < 0 || !engine || index >= int(tracks.size()) || !engine->isPlaying())
        return;
    const size_t i = size_t(index);
    const TrackData &track = tracks[i];
    const std::vector<QList<float>> &cache = track.type == TrackType::Midi ? midiRenderCache : audioRenderCache;
    const QList<float> render = i < cache.size() ? cache[i] : QList<float>();
    // The gain follows the cached render: an envelope switched on or off since it was made
    // is heard from the next Play, not as a jump to gain 1 over a render without it.
    const bool withEnvelope = i < envelopeInRender.size() && envelopeInRender[i];
    engine->updateTrackSlot(index, trackSlot(track, render, withEnvelope));
}

bool MultiTrackEditorPage::renderMixdown(QList<float> &out, int &outRate)
{
    outRate = sampleRate;
    if (tracks.empty())
        return false;

    // The end counts the MIDI clips as they sound, tempo-scaled, so no tail is cut.
    double projectEnd = 0.0;
    for (const TrackData &track : tracks) {
        const TrackRenderPlan plan(tempoScaledTrack(track), sampleRate);
        if (!plan.isEmpty())
            projectEnd = std::max(projectEnd, plan.trackEnd());
    }
    const std::optional<qint64> frames = TrackRenderPlan::framesAt(projectEnd, sampleRate);
    if (!(projectEnd > 0.0) || !frames || *frames < 1)
        return false;

    // Audio tracks are rendered and mixed a window at a time, so a long project never holds
    // every track's render at once; MIDI tracks come whole from their instrument. Every track
    // gets a slot, silent ones too, so a soloed silent track still silences the rest.
    constexpr qint64 windowFrames = 16384;
    std::vector<QList<float>> renders(tracks.size());
    std::vector<bool> windowed(tracks.size(), false);
    for (size_t i = 0; i < tracks.size(); ++i) {
        const TrackData &track = tracks[i];
        windowed[i] = track.type == TrackType::Audio && !TrackRenderPlan(track, sampleRate).isEmpty();
        if (windowed[i])
            renders[i].resize(windowFrames);
        else
            renders[i] = renderTrack(track);
    }
    out.resize(2 * *frames);
    QList<float> window;
    std::vector<MultiTrackAudioEngine::TrackSlot> trackSlots(tracks.size());
    for (qint64 first = 0; first < *frames; first += windowFrames) {
        const qint64 count = std::min(windowFrames, *frames - first);
        for (size_t i = 0; i < tracks.size(); ++i) {
            std::span<const float> part;
            if (windowed[i]) {
                const std::span<float> target(renders[i].data(), size_t(count));
                renderAudioClips(tracks[i], sampleRate, first, target);
                part = target;
            } else if (renders[i].size() > first) {
                part = {renders[i].constData() + first, size_t(std::min(count, renders[i].size() - first))};
            }
            trackSlots[i] = trackSlot(tracks[i], part, envelopeInForce(tracks[i]));
        }
        engine->renderOffline(trackSlots, int(count), sampleRate, window);
        std::copy(window.cbegin(), window.cend(), out.begin() + 2 * first);
    }
    return true;
}

void MultiTrackEditorPage::setVideoPlayerDialog(VideoPlayerDialog *dialog)
{
    disconnect(videoDestroyedConnection);
    videoDialog = dialog;
    if (dialog)
        videoDestroyedConnection = connect(dialog, &QObject::destroyed, this, [this] { videoDialog = nullptr; });
}

void MultiTrackEditorPage::showVideoButtonOnTrack(int) {}
