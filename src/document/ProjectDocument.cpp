// SPDX-License-Identifier: GPL-3.0-or-later
// The open multitrack project: records, settings, instruments, the engine's renders and
// the mixdown.
#include "document/ProjectDocument.h"

#include "audio/ParallelRanges.h"
#include "document/TrackRendering.h"
#include "engine/MultiTrackAudioEngine.h"
#include "engine/TrackRenderPlan.h"
#include "project/ProjectData.h"
#include "project/ProjectLimits.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUndoStack>

#include <algorithm>
#include <optional>
#include <span>
#include <thread>
#include <utility>

namespace {

// Export depths the writers know; anything else from a file falls back to 16 bits.
int validBitDepth(int bits)
{
    if (bits == 16 || bits == 24 || bits == 32)
        return bits;
    qWarning() << "ProjectDocument: project bit depth" << bits << "replaced by 16";
    return 16;
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

ProjectDocument::ProjectDocument() : undoStack(new QUndoStack(this))
{
    engine = new MultiTrackAudioEngine;
    engine->initialize(sampleRate, engineBlockFrames);
    loadPianoSamples();
}

ProjectDocument::~ProjectDocument()
{
    engine->stopPlayback();
    engine->shutdown();
    delete engine;
}

void ProjectDocument::loadPianoSamples()
{
    const QString resources = QStringLiteral(":/piano");
    if (QDir(resources).exists()) {
        qDebug() << "PianoSampler: loading from Qt resources :/piano";
        if (pianoSampler.loadSampleLibraryFromResources(resources)) {
            qDebug() << "PianoSampler: pianoLoaded=" << "true";
            return;
        }
    }
    const QString appDir = QCoreApplication::applicationDirPath();
    qDebug() << "PianoSampler: app dir =" << appDir;
    const QStringList candidates = {
        appDir + QStringLiteral("/rawfile/piano"),
        appDir + QStringLiteral("/../rawfile/piano"),
        appDir + QStringLiteral("/resources/piano"),
        QDir(appDir + QStringLiteral("/../../entry/src/main/cpp/resources/piano")).absolutePath(),
        QDir(appDir + QStringLiteral("/../../entry/src/main/resources/rawfile/piano")).absolutePath(),
    };
    for (const QString &path : candidates) {
        const QDir dir(path);
        qDebug() << "PianoSampler: trying" << path << "exists=" << (dir.exists() ? "true" : "false");
        if (dir.exists() && !dir.entryList({QStringLiteral("*.mp3")}, QDir::Files).isEmpty()) {
            qDebug() << "PianoSampler: loading from" << path;
            pianoSampler.loadSampleLibrary(path);
            break;
        }
    }
    qDebug() << "PianoSampler: pianoLoaded=" << (pianoSampler.hasSamples() ? "true" : "false");
}

void ProjectDocument::setSampleRate(int rate)
{
    // At 1 Hz one engine block would play for minutes.
    if (rate == sampleRate || !ProjectLimits::supportedSampleRate(rate))
        return;
    sampleRate = rate;
    replaceEngine();
    emit sampleRateChanged(rate);
}

void ProjectDocument::replaceEngine()
{
    // A playback that was running ends here; the next one opens the device at the new rate.
    engine->stopPlayback();
    engine->shutdown();
    delete engine;
    engine = new MultiTrackAudioEngine;
    engine->initialize(sampleRate, engineBlockFrames);
}

void ProjectDocument::replace(ProjectData project)
{
    emit aboutToReplace();
    if (engine->isPlaying())
        engine->stopPlayback();
    tracks.clear();
    markers.clear();
    midiRenderCache.clear();
    audioRenderCache.clear();
    envelopeInRender.clear();
    setSampleRate(project.settings.sampleRate);
    mono = project.settings.channels == 1;
    bpm = project.settings.tempo;
    midiFileTempo = project.settings.midiFileTempo;
    bitDepth = validBitDepth(project.settings.bitDepth);
    appendLoadedTracks(std::move(project.tracks));
    setMarkers(project.markers);
    // After a load there is nothing to undo.
    undoStack->clear();
    emit replaced();
}

void ProjectDocument::appendLoadedTracks(std::vector<TrackData> loaded)
{
    tracks.reserve(tracks.size() + loaded.size());
    for (TrackData &track : loaded) {
        if (track.name.isEmpty())
            track.name = unnamedTrackName(track.type);
        tracks.push_back(std::move(track));
    }
}

void ProjectDocument::setMarkers(const std::vector<TimelineMarker> &list)
{
    markers = list;
    std::stable_sort(markers.begin(), markers.end(),
                     [](const TimelineMarker &a, const TimelineMarker &b) { return a.time < b.time; });
}

int ProjectDocument::countTracksOfType(TrackType type) const
{
    return static_cast<int>(
        std::count_if(tracks.begin(), tracks.end(), [type](const TrackData &t) { return t.type == type; }));
}

QString ProjectDocument::unnamedTrackName(TrackType type) const
{
    if (type == TrackType::Midi)
        return tr("MIDI轨 %1").arg(countTracksOfType(TrackType::Midi) + 1);
    return tr("轨道 %1").arg(tracks.size() + 1);
}

double ProjectDocument::clipsEnd() const
{
    // MIDI clips end where they sound, at the project tempo, as the lanes draw them.
    const double midiScale = midiTempoScale(bpm, midiFileTempo);
    double end = 0.0;
    for (const TrackData &track : tracks) {
        for (const AudioClip &clip : track.audioClips)
            end = std::max(end, clip.start + clip.length());
        for (const MidiClip &clip : track.midiClips)
            end = std::max(end, (clip.start + clip.duration) * midiScale);
    }
    return end;
}

TrackData ProjectDocument::tempoScaledTrack(const TrackData &track) const
{
    return tempoScaled(track, midiTempoScale(bpm, midiFileTempo));
}

QList<float> ProjectDocument::renderTrack(const TrackData &track)
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
void ProjectDocument::renderCachesAndSlots(int recordTrackIndex)
{
    std::vector<QList<float>> midiRenders(tracks.size());
    std::vector<QList<float>> audioRenders(tracks.size());
    std::vector<bool> withEnvelope(tracks.size(), false);
    // The recording track plays without its last clip, the one the recording fills.
    std::optional<TrackData> recordingTrackPlayed;
    if (recordTrackIndex >= 0 && recordTrackIndex < int(tracks.size())) {
        recordingTrackPlayed = tracks[size_t(recordTrackIndex)];
        if (recordingTrackPlayed->type == TrackType::Midi && !recordingTrackPlayed->midiClips.empty())
            recordingTrackPlayed->midiClips.pop_back();
        else if (recordingTrackPlayed->type == TrackType::Audio && !recordingTrackPlayed->audioClips.empty())
            recordingTrackPlayed->audioClips.pop_back();
    }
    const auto played = [&](size_t i) -> const TrackData & {
        return int(i) == recordTrackIndex ? *recordingTrackPlayed : tracks[i];
    };
    const auto hasClips = [](const TrackData &track) {
        return track.type == TrackType::Midi ? !track.midiClips.empty() : !track.audioClips.empty();
    };

    // Audio renders are pure and independent, so they run side by side; the instruments
    // keep one synthesiser each, so MIDI tracks render one after another.
    std::vector<size_t> audioTracks;
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (!hasClips(played(i)))
            continue;
        if (tracks[i].type == TrackType::Midi)
            midiRenders[i] = renderTrack(played(i));
        else
            audioTracks.push_back(i);
    }
    const int threads = int(std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), audioTracks.size()));
    ParallelRanges::run(qint64(audioTracks.size()), threads, [&](qint64 first, qint64 count, bool) {
        for (qint64 k = first; k < first + count; ++k)
            audioRenders[audioTracks[size_t(k)]] = renderAudioClips(played(audioTracks[size_t(k)]), sampleRate);
        return true;
    });

    std::vector<MultiTrackAudioEngine::TrackSlot> trackSlots;
    trackSlots.reserve(tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i) {
        const QList<float> &render = tracks[i].type == TrackType::Midi ? midiRenders[i] : audioRenders[i];
        withEnvelope[i] = envelopeInForce(tracks[i]);
        trackSlots.push_back(trackSlot(tracks[i], render, withEnvelope[i]));
    }
    engine->setTracks(trackSlots);
    // The old renders are freed only once no block of a running stream can read them.
    if (!engine->waitForSlotAdoption())
        engine->stopPlayback();
    midiRenderCache = std::move(midiRenders);
    audioRenderCache = std::move(audioRenders);
    envelopeInRender = std::move(withEnvelope);
}

void ProjectDocument::updateEngineTrackSlot(int index)
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

bool ProjectDocument::renderMixdown(QList<float> &out, int &outRate)
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

QString ProjectDocument::sf2Directory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/soundfonts");
}

bool ProjectDocument::copyAndLoadSoundFont(const QString &path)
{
    // Trying the file on an instrument of its own first keeps a damaged file out of the
    // folder and the loaded SoundFont playing.
    if (!SF2Sampler().loadSoundFont(path))
        return false;

    const QString dir = sf2Directory();
    QDir().mkpath(dir);
    const QString dest = dir + QLatin1Char('/') + QFileInfo(path).fileName();
    QString loadPath = dest;
    if (QFileInfo(dest).canonicalFilePath() == QFileInfo(path).canonicalFilePath()) {
        loadPath = path;
    } else if (copyReplacing(path, dest)) {
        qDebug() << "MultiTrackEditorPage: SF2 copied to" << dest;
    } else {
        qWarning() << "MultiTrackEditorPage: failed to copy SF2 to app dir:" << path << "->" << dest;
        loadPath = path;
    }
    return sf2Sampler.loadSoundFont(loadPath);
}

bool ProjectDocument::loadFirstSoundFontInFolder()
{
    const QDir dir(sf2Directory());
    if (!dir.exists())
        return false;
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.sf2")}, QDir::Files,
                                                  QDir::Name | QDir::IgnoreCase);
    // A damaged file must not keep the next one from loading.
    for (const QFileInfo &file : files) {
        const QString path = file.absoluteFilePath();
        qDebug() << "MultiTrackEditorPage: auto-loading SF2 from app dir:" << path;
        if (sf2Sampler.loadSoundFont(path))
            return true;
        qWarning() << "MultiTrackEditorPage: skipping a SoundFont that does not load:" << path;
    }
    return false;
}
