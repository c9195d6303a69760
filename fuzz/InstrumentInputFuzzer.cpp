// SPDX-License-Identifier: GPL-3.0-or-later
// Outside input of the instruments: piano sample file names, and note and clip values of a
// project placed by the offline track render. Placements must stay inside the render.
#include "engine/PianoSampler.h"
#include "engine/TrackRenderPlan.h"
#include "project/TrackData.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
template<typename T>
T take(const uint8_t *&data, size_t &size)
{
    T value{};
    const size_t n = std::min(sizeof(T), size);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    PianoSampler::filenameToPitch(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));

    TrackData track;
    track.type = TrackType::Midi;
    const int rate = take<int32_t>(data, size);
    while (size > 0 && track.midiClips.size() < 8) {
        MidiClip clip;
        clip.start = take<double>(data, size);
        clip.duration = take<double>(data, size);
        for (int n = take<uint8_t>(data, size) % 8; n > 0 && size > 0; --n) {
            MidiNote note;
            note.start = take<double>(data, size);
            note.duration = take<double>(data, size);
            clip.notes.push_back(note);
        }
        track.midiClips.push_back(clip);
    }
    const TrackRenderPlan plan(track, rate);
    if (plan.length() < 0 || plan.length() > TrackRenderPlan::maxFrames)
        std::abort();
    for (const MidiClip &clip : track.midiClips) {
        for (const MidiNote &note : clip.notes) {
            const auto span = plan.place(clip, note);
            if (span && (span->start < 0 || span->room < 1 || span->start + span->room > plan.length()))
                std::abort();
        }
    }
    return 0;
}
