// SPDX-License-Identifier: GPL-3.0-or-later
// Sampled piano: recordings decoded through AudioProcessor, voices mixed under the lock.
#include "engine/PianoSampler.h"

#include "audio/AudioProcessor.h"
#include "engine/TrackRenderPlan.h"
#include "project/TrackData.h"

#include <QDebug>
#include <QDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {
constexpr char noteLetters[] = "ABCDEFG";
constexpr int noteBase[] = {9, 11, 0, 2, 4, 5, 7};

// Continuous and monotone: a louder mix never comes out quieter. Values inside [-1, 1]
// pass unchanged, so only an overloaded mix is limited.
short toPcm16(float x)
{
    return short(std::clamp(x, -1.0f, 1.0f) * 32767.0f);
}

double pitchRatio(int fromPitch, int toPitch)
{
    return std::pow(2.0, double(toPitch - fromPitch) / 12.0);
}

struct LoadedFile
{
    int pitch = -1;
    std::optional<PianoSampler::SampleBuffer> recording;
};
} // namespace

PianoSampler::PianoSampler()
{
    pendingRelease.fill(-1);
}

int PianoSampler::filenameToPitch(const QString &name)
{
    QString rest = name;
    if (rest.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive))
        rest.chop(4);
    if (rest.isEmpty())
        return -1;
    const char *letter = std::char_traits<char>::find(noteLetters, 7, rest.at(0).toUpper().toLatin1());
    if (!letter)
        return -1;
    rest.remove(0, 1);
    const bool sharp = rest.startsWith(QLatin1String("sharp"), Qt::CaseInsensitive);
    if (sharp)
        rest.remove(0, 5);
    // Only an optional sign and digits: no spaces, no fractions.
    const qsizetype digitsFrom = rest.startsWith(u'-') || rest.startsWith(u'+') ? 1 : 0;
    if (rest.size() == digitsFrom
        || !std::all_of(rest.cbegin() + digitsFrom, rest.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return -1;
    bool ok = false;
    const int octave = rest.toInt(&ok);
    if (!ok)
        return -1;
    const qint64 pitch = noteBase[letter - noteLetters] + 12 * (qint64(octave) + 1) + (sharp ? 1 : 0);
    return pitch >= std::numeric_limits<int>::min() && pitch <= std::numeric_limits<int>::max() ? int(pitch) : -1;
}

int PianoSampler::findNearestPitch(int pitch) const
{
    if (sampleMap.empty())
        return -1;
    const auto upper = sampleMap.lower_bound(pitch);
    if (upper == sampleMap.end())
        return sampleMap.rbegin()->first;
    if (upper == sampleMap.begin())
        return upper->first;
    const int above = upper->first;
    const int below = std::prev(upper)->first;
    return qint64(above) - pitch < qint64(pitch) - below ? above : below;
}

bool PianoSampler::loadSampleLibraryFromResources(const QString &dir)
{
    return loadFrom(dir, Source::Resources);
}

bool PianoSampler::loadSampleLibrary(const QString &dir)
{
    return loadFrom(dir, Source::Disk);
}

bool PianoSampler::loadFrom(const QString &dir, Source source)
{
    {
        // Voices borrow recordings from the map: silence them before the map goes.
        const std::lock_guard lock(mutex);
        for (Voice &voice : voices)
            voice = Voice{};
        pendingRelease.fill(-1);
        sampleMap.clear();
    }

    const bool resources = source == Source::Resources;
    const QDir folder(dir);
    if (!resources)
        qDebug() << "PianoSampler: checking dir:" << dir << "exists=" << (folder.exists() ? "true" : "false");
    if (!folder.exists()) {
        qWarning() << (resources ? "PianoSampler: resource dir not found:" : "PianoSampler: directory not found:")
                   << dir;
        return false;
    }
    const QStringList files = folder.entryList({QStringLiteral("*.mp3"), QStringLiteral("*.MP3")}, QDir::Files,
                                               QDir::Name | QDir::IgnoreCase);
    if (files.isEmpty()) {
        qWarning() << (resources ? "PianoSampler: no MP3 files in resources:" : "PianoSampler: no MP3 files found in:")
                   << dir;
        return false;
    }

    // Paths are made here: QDir caches lazily and must not be shared across threads.
    QList<std::pair<QString, QString>> namesAndPaths;
    for (const QString &name : files)
        namesAndPaths.append({name, resources ? dir + QLatin1Char('/') + name : folder.absoluteFilePath(name)});

    // Decoding dominates start-up and each file is independent: decode them in parallel, on a
    // pool of our own whose threads end with the load instead of idling until exit.
    QThreadPool pool;
    const auto decode = [resources](const std::pair<QString, QString> &file) {
        const auto &[name, path] = file;
        LoadedFile loadedFile;
        loadedFile.pitch = filenameToPitch(name);
        if (loadedFile.pitch < 0 || loadedFile.pitch > 127)
            return loadedFile;
        AudioProcessor processor;
        if (processor.loadAudioFile(path) && !processor.samples.isEmpty())
            loadedFile.recording = SampleBuffer{processor.samples, processor.sampleRate};
        else if (resources)
            qWarning() << "PianoSampler: failed to load resource:" << path;
        else
            qWarning() << "PianoSampler: failed to load:" << name;
        return loadedFile;
    };
    const QList<LoadedFile> loadedFiles = QtConcurrent::blockingMapped(&pool, namesAndPaths, decode);

    std::map<int, SampleBuffer> loaded;
    int count = 0;
    for (const LoadedFile &file : loadedFiles) {
        if (file.recording) {
            loaded[file.pitch] = *file.recording;
            ++count;
        }
    }
    {
        const std::lock_guard lock(mutex);
        sampleMap = std::move(loaded);
    }
    qDebug() << "PianoSampler: loaded" << count << (resources ? "samples from resources" : "samples from") << dir;
    return count > 0;
}

void PianoSampler::setSampleRate(int rate)
{
    const std::lock_guard lock(mutex);
    outputRate = rate;
}

void PianoSampler::noteOn(int note, int velocity)
{
    const std::lock_guard lock(mutex);
    if (sampleMap.empty() || note < 0 || note > 127)
        return;
    const int sampled = findNearestPitch(note);
    const SampleBuffer &recording = sampleMap.at(sampled);
    // Each note-on takes its own voice; with all 16 busy the first one is taken over.
    auto voice = std::find_if(voices.begin(), voices.end(), [](const Voice &v) { return !v.active; });
    if (voice == voices.end())
        voice = voices.begin();
    voice->note = note;
    voice->buffer = &recording;
    voice->position = 0.0;
    voice->sampleCount = int(std::min<qsizetype>(recording.samples.size(), std::numeric_limits<int>::max()));
    voice->gain = float(velocity) / 127.0f;
    voice->step = float(pitchRatio(sampled, note));
    if (recording.sampleRate != outputRate && outputRate > 0)
        voice->step = float(double(recording.sampleRate) / outputRate * double(voice->step));
    voice->active = true;
}

void PianoSampler::noteOff(int note)
{
    const std::lock_guard lock(mutex);
    if (note < 0 || note > 127)
        return;
    const auto voice =
        std::find_if(voices.begin(), voices.end(), [note](const Voice &v) { return v.active && v.note == note; });
    if (voice == voices.end())
        return;
    if (sustainOn)
        pendingRelease[size_t(note)] = int(voice - voices.begin());
    else
        voice->active = false;
}

void PianoSampler::allNotesOff()
{
    const std::lock_guard lock(mutex);
    for (Voice &voice : voices)
        voice.active = false;
    pendingRelease.fill(-1);
}

void PianoSampler::sustain(bool on)
{
    const std::lock_guard lock(mutex);
    sustainOn = on;
    if (on)
        return;
    for (int &index : pendingRelease) {
        if (index >= 0 && index < voiceCount)
            voices[size_t(index)].active = false;
        index = -1;
    }
}

void PianoSampler::renderLive(short *out, int frames)
{
    if (!out || frames <= 0)
        return;
    const std::lock_guard lock(mutex);
    for (int done = 0; done < frames; done += mixFrames) {
        const int block = std::min(mixFrames, frames - done);
        std::fill_n(mix.begin(), block, 0.0f);
        for (Voice &voice : voices) {
            if (!voice.active || !voice.buffer)
                continue;
            const float *samples = voice.buffer->samples.constData();
            for (int f = 0; f < block; ++f) {
                const qint64 i = qint64(std::floor(voice.position));
                if (i + 1 >= voice.sampleCount) {
                    voice.active = false;
                    break;
                }
                const double frac = voice.position - double(i);
                mix[size_t(f)] += float((1.0 - frac) * samples[i] + frac * samples[i + 1]) * voice.gain;
                voice.position += voice.step;
            }
        }
        short *target = out + 2 * qsizetype(done);
        for (int f = 0; f < block; ++f)
            target[2 * f] = target[2 * f + 1] = toPcm16(mix[size_t(f)]);
    }
}

qint64 PianoSampler::resampledFrames(const SampleBuffer &buffer, int ownPitch, int targetPitch, int rate,
                                     double seconds)
{
    if (rate < 1 || buffer.sampleRate < 1)
        return 0;
    const double wanted = std::round(seconds * rate);
    const double available = std::trunc(double(buffer.samples.size()) / pitchRatio(ownPitch, targetPitch)
                                        * (double(rate) / buffer.sampleRate));
    // NaN fails the comparison; both bounds keep hostile values from allocating without end.
    const double frames = std::min(wanted, available);
    return frames > 0.0 ? qint64(std::min(frames, double(TrackRenderPlan::maxFrames))) : 0;
}

qint64 PianoSampler::addResampled(const SampleBuffer &buffer, int ownPitch, int targetPitch, int rate, float gain,
                                  std::span<float> out)
{
    const qsizetype n = buffer.samples.size();
    const float *samples = buffer.samples.constData();
    const double ratio = pitchRatio(ownPitch, targetPitch);
    const double rateRatio = double(buffer.sampleRate) / rate;
    for (size_t i = 0; i < out.size(); ++i) {
        const double o = double(i) * ratio * rateRatio;
        const qint64 k = qint64(o);
        if (k + 1 < n) {
            const double f = o - double(k);
            out[i] += float((1.0 - f) * samples[k] + f * samples[k + 1]) * gain;
        } else if (k == n - 1) {
            out[i] += samples[k] * gain;
        } else {
            return qint64(i);
        }
    }
    return qint64(out.size());
}

QList<float> PianoSampler::resample(const SampleBuffer &buffer, int targetPitch, int rate, double seconds) const
{
    // The recording's own pitch is its key in the map; a buffer from elsewhere keeps its pitch.
    const auto own = std::find_if(sampleMap.begin(), sampleMap.end(),
                                  [&buffer](const auto &entry) { return &entry.second == &buffer; });
    const int ownPitch = own != sampleMap.end() ? own->first : targetPitch;
    QList<float> out(resampledFrames(buffer, ownPitch, targetPitch, rate, seconds), 0.0f);
    addResampled(buffer, ownPitch, targetPitch, rate, 1.0f, out);
    return out;
}

QList<float> PianoSampler::renderTrack(const TrackData &track, int rate) const
{
    const TrackRenderPlan plan(track, rate);
    if (plan.isEmpty() || sampleMap.empty())
        return {};
    QList<float> result(plan.length(), 0.0f);
    for (const MidiClip &clip : track.midiClips) {
        for (const MidiNote &note : clip.notes) {
            if (note.pitch < 0 || note.pitch > 127)
                continue;
            const std::optional<TrackRenderPlan::NoteSpan> span = plan.place(clip, note);
            if (!span)
                continue;
            const int sampled = findNearestPitch(note.pitch);
            const SampleBuffer &recording = sampleMap.at(sampled);
            const qint64 frames = std::min(
                resampledFrames(recording, sampled, note.pitch, plan.rate(), note.duration), span->room);
            addResampled(recording, sampled, note.pitch, plan.rate(), float(note.velocity) / 127.0f,
                         std::span<float>(result.data() + span->start, size_t(frames)));
        }
    }
    return result;
}

QList<float> PianoSampler::renderNotePreview(int note, int velocity, double seconds, int rate) const
{
    if (sampleMap.empty())
        return {};
    const int sampled = findNearestPitch(note);
    const SampleBuffer &recording = sampleMap.at(sampled);
    QList<float> out(resampledFrames(recording, sampled, note, rate, seconds), 0.0f);
    addResampled(recording, sampled, note, rate, float(velocity) / 127.0f, out);
    return out;
}
