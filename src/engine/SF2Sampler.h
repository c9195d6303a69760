// SPDX-License-Identifier: GPL-3.0-or-later
// SoundFont 2 instrument on FluidSynth: live notes as 16-bit stereo blocks and offline
// mono renders of a MIDI track, with presets counted by index.
#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

struct TrackData;

// Thread-safe: every operation takes the one mutex, offline renders included, so live
// rendering waits while a track renders. Presets are numbered from 0 in the order of
// bank, then program. Of the 16 MIDI channels one exists only once a preset was selected
// on it or on a higher channel; notes on a channel that does not exist stay silent.
class SF2Sampler
{
public:
    SF2Sampler();
    ~SF2Sampler();
    SF2Sampler(const SF2Sampler &) = delete;
    SF2Sampler &operator=(const SF2Sampler &) = delete;

    bool isLoaded() const { return loaded.load(std::memory_order_acquire); }
    int sampleRate() const;
    // Rebuilds the live synthesiser at `rate` (44100 when <= 0); channels keep their presets,
    // sounding notes stop.
    void setSampleRate(int rate);

    // Replaces the SoundFont; on failure the sampler is left unloaded. Channels start afresh.
    bool loadSoundFont(const QString &path);
    QList<QString> getPresetNames() const;

    void selectPreset(int channel, int presetIndex);
    int currentPresetIndex(int channel) const;
    // Velocity 0 releases the key.
    void noteOn(int channel, int key, int velocity);
    void noteOff(int channel, int key);
    void allNotesOff();
    void sustain(int channel, bool on);

    // Writes `frames` interleaved 16-bit stereo frames (silence when nothing is loaded).
    void renderLive(short *out, int frames);

    // One note alone on channel 0's preset, as interleaved stereo floats.
    QList<float> renderNotePreview(int key, int velocity, double seconds, int rate);
    // The track's MIDI notes, each rendered alone and cut at its length, summed to mono.
    QList<float> renderTrack(const TrackData &track, int rate);

    static constexpr int channelCount = 16;

private:
    struct Synth;
    struct Preset
    {
        int bank = 0;
        int program = 0;
        QString name;
    };

    std::unique_ptr<Synth> makeSynth(int rate) const;
    bool ensureChannel(int channel);
    void applyChannelPresets();
    int channelPresetOrDefault(int channel) const;
    Synth *offlineSynth(int rate);
    // Plays `key` alone on `synth` from a clean start and hands its first `frames` frames to
    // `sink` (stereo interleaved, in chunks); afterwards the synthesiser is silent again.
    template<typename Sink>
    void renderNote(Synth &synth, int key, int velocity, qint64 frames, Sink &&sink);

    std::unique_ptr<Synth> live;
    std::unique_ptr<Synth> offline;  // kept between note previews; shares the SoundFont's samples
    int outputRate = 44100;
    mutable std::mutex mutex;
    std::atomic<bool> loaded{false};
    QString soundFontPath;
    std::vector<Preset> presets;
    std::vector<int> channelPresets;  // one entry per existing channel
    std::vector<float> scratch;       // one chunk of stereo frames, live or offline
};
