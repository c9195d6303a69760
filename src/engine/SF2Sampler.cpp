// SPDX-License-Identifier: GPL-3.0-or-later
// SoundFont instrument: one live FluidSynth synthesiser, one kept for note previews and a
// fresh one for every track render.
#include "engine/SF2Sampler.h"

#include "audio/DecodedAudio.h"
#include "engine/TrackRenderPlan.h"
#include "project/TrackData.h"

#include <QDebug>
#include <QFile>

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// FluidSynth renders in blocks of this many frames and keeps what it rendered past a
// request for the next one.
constexpr int fluidBlockFrames = 64;
constexpr int chunkFrames = 64 * fluidBlockFrames;
constexpr int maxVoices = 256;
} // namespace

struct SF2Sampler::Synth
{
    fluid_settings_t *settings = nullptr;
    fluid_synth_t *synth = nullptr;
    int sfontId = -1;
    int rate = 0;

    Synth() = default;
    Synth(const Synth &) = delete;
    Synth &operator=(const Synth &) = delete;
    ~Synth()
    {
        if (synth)
            delete_fluid_synth(synth);
        if (settings)
            delete_fluid_settings(settings);
    }
};

SF2Sampler::SF2Sampler() = default;

SF2Sampler::~SF2Sampler()
{
    const std::lock_guard lock(mutex);
    offline.reset();
    live.reset();
}

int SF2Sampler::sampleRate() const
{
    const std::lock_guard lock(mutex);
    return outputRate;
}

std::unique_ptr<SF2Sampler::Synth> SF2Sampler::makeSynth(int rate) const
{
    auto s = std::make_unique<Synth>();
    s->rate = rate;
    s->settings = new_fluid_settings();
    if (!s->settings)
        return nullptr;
    // Dry output at unity gain: the instrument adds no effects of its own, and the
    // synthesiser's locking is redundant under our mutex.
    if (fluid_settings_setnum(s->settings, "synth.sample-rate", rate) != FLUID_OK) {
        qWarning() << "SF2Sampler: unsupported sample rate:" << rate;
        return nullptr;
    }
    fluid_settings_setnum(s->settings, "synth.gain", 1.0);
    fluid_settings_setint(s->settings, "synth.polyphony", maxVoices);
    fluid_settings_setint(s->settings, "synth.midi-channels", channelCount);
    fluid_settings_setint(s->settings, "synth.reverb.active", 0);
    fluid_settings_setint(s->settings, "synth.chorus.active", 0);
    fluid_settings_setint(s->settings, "synth.threadsafe-api", 0);
    s->synth = new_fluid_synth(s->settings);
    if (!s->synth)
        return nullptr;
    // A second synthesiser on the same file shares its sample data through FluidSynth's cache.
    s->sfontId = fluid_synth_sfload(s->synth, QFile::encodeName(soundFontPath).constData(), 0);
    if (s->sfontId == FLUID_FAILED)
        return nullptr;
    // Presets are chosen by index, never by General MIDI's drum channel rule.
    for (int channel = 0; channel < channelCount; ++channel)
        fluid_synth_set_channel_type(s->synth, channel, CHANNEL_TYPE_MELODIC);
    return s;
}

void SF2Sampler::setSampleRate(int rate)
{
    const std::lock_guard lock(mutex);
    if (rate == outputRate)
        return;
    outputRate = rate;
    if (!live)
        return;
    std::unique_ptr<Synth> rebuilt = makeSynth(rate <= 0 ? 44100 : rate);
    if (!rebuilt)
        return;
    live = std::move(rebuilt);
    applyChannelPresets();
}

bool SF2Sampler::loadSoundFont(const QString &path)
{
    const std::lock_guard lock(mutex);
    loaded.store(false, std::memory_order_release);
    offline.reset();
    live.reset();
    presets.clear();
    channelPresets.clear();
    soundFontPath = path;

    std::unique_ptr<Synth> s = makeSynth(outputRate < 1 ? 44100 : outputRate);
    if (!s) {
        qWarning() << "SF2Sampler: failed to load SoundFont:" << path;
        soundFontPath.clear();
        return false;
    }
    fluid_sfont_t *sfont = fluid_synth_get_sfont_by_id(s->synth, s->sfontId);
    fluid_sfont_iteration_start(sfont);
    while (fluid_preset_t *preset = fluid_sfont_iteration_next(sfont)) {
        presets.push_back({fluid_preset_get_banknum(preset), fluid_preset_get_num(preset),
                           QString::fromUtf8(fluid_preset_get_name(preset))});
    }
    std::stable_sort(presets.begin(), presets.end(), [](const Preset &a, const Preset &b) {
        return a.bank != b.bank ? a.bank < b.bank : a.program < b.program;
    });
    live = std::move(s);
    scratch.resize(2 * size_t(chunkFrames));
    loaded.store(true, std::memory_order_release);
    qDebug() << "SF2Sampler: loaded SoundFont:" << path << "presets:" << presets.size();
    return true;
}

QList<QString> SF2Sampler::getPresetNames() const
{
    const std::lock_guard lock(mutex);
    QList<QString> names;
    names.reserve(qsizetype(presets.size()));
    for (const Preset &preset : presets)
        names.append(preset.name);
    return names;
}

bool SF2Sampler::ensureChannel(int channel)
{
    if (channel < 0 || channel >= channelCount)
        return false;
    // Creating a channel creates every lower one too, each on preset 0.
    while (int(channelPresets.size()) <= channel) {
        channelPresets.push_back(0);
        if (!presets.empty())
            fluid_synth_program_select(live->synth, int(channelPresets.size()) - 1, live->sfontId,
                                       presets[0].bank, presets[0].program);
    }
    return true;
}

void SF2Sampler::applyChannelPresets()
{
    for (size_t channel = 0; channel < channelPresets.size(); ++channel) {
        const int index = channelPresets[channel];
        if (index >= 0 && size_t(index) < presets.size())
            fluid_synth_program_select(live->synth, int(channel), live->sfontId, presets[size_t(index)].bank,
                                       presets[size_t(index)].program);
    }
}

int SF2Sampler::channelPresetOrDefault(int channel) const
{
    return channel >= 0 && size_t(channel) < channelPresets.size() ? channelPresets[size_t(channel)] : 0;
}

void SF2Sampler::selectPreset(int channel, int presetIndex)
{
    const std::lock_guard lock(mutex);
    if (!live || !ensureChannel(channel))
        return;
    channelPresets[size_t(channel)] = presetIndex;
    applyChannelPresets();
}

int SF2Sampler::currentPresetIndex(int channel) const
{
    const std::lock_guard lock(mutex);
    return live ? channelPresetOrDefault(channel) : 0;
}

void SF2Sampler::noteOn(int channel, int key, int velocity)
{
    const std::lock_guard lock(mutex);
    if (!live || channel < 0 || size_t(channel) >= channelPresets.size() || key < 0 || key > 127)
        return;
    if (velocity <= 0) {
        fluid_synth_noteoff(live->synth, channel, key);
        return;
    }
    const int index = channelPresets[size_t(channel)];
    // A preset index the SoundFont does not have plays nothing.
    if (index < 0 || size_t(index) >= presets.size())
        return;
    fluid_synth_noteon(live->synth, channel, key, std::min(velocity, 127));
}

void SF2Sampler::noteOff(int channel, int key)
{
    const std::lock_guard lock(mutex);
    if (live && channel >= 0 && size_t(channel) < channelPresets.size() && key >= 0 && key <= 127)
        fluid_synth_noteoff(live->synth, channel, key);
}

void SF2Sampler::allNotesOff()
{
    const std::lock_guard lock(mutex);
    if (live)
        fluid_synth_all_notes_off(live->synth, -1);
}

void SF2Sampler::sustain(int channel, bool on)
{
    const std::lock_guard lock(mutex);
    if (live && ensureChannel(channel))
        fluid_synth_cc(live->synth, channel, 64, on ? 127 : 0);
}

void SF2Sampler::renderLive(short *out, int frames)
{
    if (!out || frames <= 0)
        return;
    const std::lock_guard lock(mutex);
    if (!live) {
        std::memset(out, 0, sizeof(short) * 2 * size_t(frames));
        return;
    }
    // FluidSynth's own 16-bit output dithers, so silence would not be silent; convert
    // without dither instead.
    for (int done = 0; done < frames; done += chunkFrames) {
        const int chunk = std::min(chunkFrames, frames - done);
        fluid_synth_write_float(live->synth, chunk, scratch.data(), 0, 2, scratch.data(), 1, 2);
        for (int i = 0; i < 2 * chunk; ++i) {
            const float v = scratch[size_t(i)];
            out[2 * done + i] = v > 1.0f ? 32767 : v < -1.0f ? -32767 : short(v * 32767.0f);
        }
    }
}

SF2Sampler::Synth *SF2Sampler::offlineSynth(int rate)
{
    if (!offline || offline->rate != rate)
        offline = makeSynth(rate);
    return offline.get();
}

template<typename Sink>
void SF2Sampler::renderNote(Synth &synth, int key, int velocity, qint64 frames, Sink &&sink)
{
    fluid_synth_noteon(synth.synth, 0, key, velocity);
    // Render to the end of FluidSynth's block so none of this note stays buffered for the
    // next one, and the next note-on lands on the first frame of a fresh block.
    const qint64 blockEnd = (frames + fluidBlockFrames - 1) / fluidBlockFrames * fluidBlockFrames;
    for (qint64 done = 0; done < blockEnd; done += chunkFrames) {
        const int chunk = int(std::min<qint64>(chunkFrames, blockEnd - done));
        fluid_synth_write_float(synth.synth, chunk, scratch.data(), 0, 2, scratch.data(), 1, 2);
        const qint64 used = std::min<qint64>(chunk, frames - done);
        if (used > 0)
            sink(scratch.data(), done, used);
    }
    // Voices switched off still sound for one more block: render it away so the next
    // note starts on silence.
    fluid_synth_all_sounds_off(synth.synth, -1);
    fluid_synth_write_float(synth.synth, fluidBlockFrames, scratch.data(), 0, 2, scratch.data(), 1, 2);
}

QList<float> SF2Sampler::renderNotePreview(int key, int velocity, double seconds, int rate)
{
    const int renderRate = rate < 1 ? 44100 : rate;
    const double wanted = std::trunc(double(rate) * seconds);
    if (!(wanted > 0.0) || wanted > double(TrackRenderPlan::maxFrames) || key < 0 || key > 127)
        return {};
    const qint64 frames = qint64(wanted);

    const std::lock_guard lock(mutex);
    if (!live)
        return {};
    Synth *synth = offlineSynth(renderRate);
    const int index = channelPresetOrDefault(0);
    if (!synth || index < 0 || size_t(index) >= presets.size())
        return {};
    fluid_synth_program_select(synth->synth, 0, synth->sfontId, presets[size_t(index)].bank,
                               presets[size_t(index)].program);
    QList<float> result(2 * frames, 0.0f);
    if (velocity > 0) {
        renderNote(*synth, key, std::min(velocity, 127), frames, [&](const float *stereo, qint64 at, qint64 count) {
            std::copy(stereo, stereo + 2 * count, result.begin() + 2 * at);
        });
    }
    return result;
}

QList<float> SF2Sampler::renderTrack(const TrackData &track, int rate)
{
    const TrackRenderPlan plan(track, rate);
    if (plan.isEmpty())
        return {};

    const std::lock_guard lock(mutex);
    if (!live)
        return {};
    // A synthesiser of its own for every render: one that has played before starts its notes
    // a little differently, and two renders of one project must be identical.
    const std::unique_ptr<Synth> synth = makeSynth(plan.rate());
    if (!synth)
        return {};
    QList<float> result(plan.length(), 0.0f);
    const int index = channelPresetOrDefault(track.midiChannel);
    if (index < 0 || size_t(index) >= presets.size())
        return result;
    fluid_synth_program_select(synth->synth, 0, synth->sfontId, presets[size_t(index)].bank,
                               presets[size_t(index)].program);

    for (const MidiClip &clip : track.midiClips) {
        for (const MidiNote &note : clip.notes) {
            if (note.pitch < 0 || note.pitch > 127 || note.velocity <= 0)
                continue;
            const std::optional<TrackRenderPlan::NoteSpan> span = plan.place(clip, note);
            if (!span)
                continue;
            const std::optional<qint64> end = plan.toFrames(clip.start + note.start + note.duration);
            qint64 frames = end ? *end - span->start : 0;
            if (frames < 1)
                frames = plan.rate() / 2;
            float *target = result.data() + span->start;
            renderNote(*synth, note.pitch, std::min(note.velocity, 127), std::min(frames, span->room),
                       [target](const float *stereo, qint64 at, qint64 count) {
                           for (qint64 i = 0; i < count; ++i)
                               target[at + i] += halfSum(stereo[2 * i], stereo[2 * i + 1]);
                       });
        }
    }
    return result;
}
