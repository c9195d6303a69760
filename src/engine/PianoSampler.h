// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in sampled piano: one recording per sampled key, any note played by
// resampling the nearest one, 16 live voices and offline mono track renders.
#pragma once

#include <QList>
#include <QString>

#include <array>
#include <map>
#include <mutex>
#include <span>

struct TrackData;

// The mutex guards the voices, the output rate, the pedal and the live mix. The sample map
// is filled by a load and read without the lock; offline renders must not run while a
// load does. A load stops every voice before it touches the map, so no voice is left
// reading a freed recording.
class PianoSampler
{
public:
    struct SampleBuffer
    {
        QList<float> samples;  // mono
        int sampleRate = 44100;
    };

    struct Voice
    {
        int note = 60;
        const SampleBuffer *buffer = nullptr;  // borrowed from the sample map
        double position = 0.0;                 // fractional read position, in samples
        int sampleCount = 0;
        float gain = 1.0f;  // velocity / 127
        float step = 1.0f;  // recording samples per output frame
        bool active = false;
    };

    static constexpr int voiceCount = 16;
    static constexpr int mixFrames = 1024;

    PianoSampler();
    PianoSampler(const PianoSampler &) = delete;
    PianoSampler &operator=(const PianoSampler &) = delete;

    bool hasSamples() const { return !sampleMap.empty(); }
    int recordingCount() const { return int(sampleMap.size()); }
    // Fill the map from a Qt resource folder (":/piano") or a folder on disk; the files
    // decode in parallel. True when at least one recording loaded.
    bool loadSampleLibraryFromResources(const QString &dir);
    bool loadSampleLibrary(const QString &dir);

    // "A0.mp3" -> 21, "Csharp4" -> 61; -1 when the name is no note. Case is ignored.
    static int filenameToPitch(const QString &name);
    // The sampled pitch closest to `pitch` (the lower one on a tie); -1 when empty.
    int findNearestPitch(int pitch) const;

    void setSampleRate(int rate);
    void noteOn(int note, int velocity);
    void noteOff(int note);
    void allNotesOff();
    void sustain(bool on);
    // Writes `frames` interleaved 16-bit stereo frames of the live voices. Allocates nothing.
    void renderLive(short *out, int frames);

    // `buffer` (a recording of the map) shifted to `targetPitch` at output rate `rate`, for at
    // most `seconds` and at most to the recording's end.
    QList<float> resample(const SampleBuffer &buffer, int targetPitch, int rate, double seconds) const;
    // The track's MIDI notes summed to mono, unclipped; no lock is taken.
    QList<float> renderTrack(const TrackData &track, int rate) const;
    QList<float> renderNotePreview(int note, int velocity, double seconds, int rate) const;

private:
    enum class Source { Resources, Disk };
    bool loadFrom(const QString &dir, Source source);
    // Adds `buffer`, pitched from `ownPitch` to `targetPitch` at `rate`, times `gain` into
    // `out` from its start; returns the frames the recording could fill (before the cut).
    static qint64 addResampled(const SampleBuffer &buffer, int ownPitch, int targetPitch, int rate, float gain,
                               std::span<float> out);
    static qint64 resampledFrames(const SampleBuffer &buffer, int ownPitch, int targetPitch, int rate,
                                  double seconds);

    std::map<int, SampleBuffer> sampleMap;
    std::array<Voice, voiceCount> voices{};
    int outputRate = 44100;
    std::mutex mutex;
    std::array<float, mixFrames> mix{};  // both channels carry the same mono mix
    bool sustainOn = false;
    std::array<int, 128> pendingRelease;
};
