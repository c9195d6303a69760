// SPDX-License-Identifier: GPL-3.0-or-later
// Seeded random projects for save/load round trips.
#include "RandomProject.h"

#include <algorithm>
#include <cfloat>
#include <random>

namespace {

class Generator
{
public:
    explicit Generator(unsigned seed) : random(seed) {}

    int integer(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
    double real(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random); }

    float sample()
    {
        switch (integer(0, 9)) {
        case 0: return -0.0f;
        case 1: return FLT_TRUE_MIN;
        case 2: return -FLT_MAX;
        case 3: return 1.0f;
        default: return float(real(-1.0, 1.0));
        }
    }

    QList<float> samples(int count)
    {
        QList<float> list;
        list.reserve(count);
        for (int i = 0; i < count; ++i)
            list.append(sample());
        return list;
    }

    QString text()
    {
        static const QString pieces[] = {QStringLiteral("人声"), QStringLiteral("Take \"2\""), QStringLiteral("a\\b"),
                                         QStringLiteral("tab\tnew\nline"), QStringLiteral(""), QStringLiteral("Bass")};
        return pieces[integer(0, 5)] + pieces[integer(0, 5)];
    }

    QColor color() { return QColor(integer(0, 255), integer(0, 255), integer(0, 255)); }

    double time() { return chance(0.1) ? -0.0 : real(-1.0, 600.0); }

private:
    std::mt19937 random;
};

} // namespace

ProjectData randomProject(unsigned seed, int maxFramesPerClip)
{
    Generator g(seed);
    ProjectData project;
    project.name = g.text() + QStringLiteral("工程");
    project.version = QStringLiteral("1.0.0");
    const int rates[] = {8000, 22050, 44100, 48000, 96000};
    project.settings.sampleRate = rates[g.integer(0, 4)];
    project.settings.bitDepth = g.chance(0.5) ? 16 : 24;
    project.settings.channels = g.integer(1, 2);
    project.settings.tempo = g.real(40.0, 240.0);
    // Derived, not drawn, so the seeds keep giving the projects they gave before.
    project.settings.midiFileTempo = project.settings.tempo * 1.25;
    project.settings.timeSignature = g.chance(0.5) ? QStringLiteral("3/4") : QStringLiteral("7/8");

    for (int t = g.integer(0, 5); t > 0; --t) {
        TrackData track;
        track.type = g.chance(0.4) ? TrackType::Midi : TrackType::Audio;
        track.name = g.text();
        track.color = g.color();
        track.volume = float(g.real(0.0, 1.5));
        track.pan = g.chance(0.2) ? -0.0f : float(g.real(-1.0, 1.0));
        track.muted = g.chance(0.5);
        track.solo = g.chance(0.5);
        track.envelopeEnabled = g.chance(0.5);
        for (int p = g.integer(0, 6); p > 0; --p)
            track.volumeEnvelope.push_back({g.real(0.0, 100.0), float(g.real(0.0, 1.5))});
        if (!track.volumeEnvelope.empty() && g.chance(0.5))  // a step: two points at one time
            track.volumeEnvelope.push_back({track.volumeEnvelope.front().time, 0.123f});
        std::stable_sort(track.volumeEnvelope.begin(), track.volumeEnvelope.end(),
                         [](const EnvelopePoint &a, const EnvelopePoint &b) { return a.time < b.time; });

        if (track.type == TrackType::Midi) {
            track.instrumentIndex = g.integer(0, 127);
            track.midiChannel = g.integer(0, 15);
            for (int c = g.integer(0, 3); c > 0; --c) {
                MidiClip clip;
                clip.start = g.time();
                clip.duration = g.real(0.1, 30.0);
                for (int n = g.integer(0, 20); n > 0; --n)
                    clip.notes.push_back({g.integer(0, 127), g.real(-1.0, 40.0), g.real(0.0, 4.0), g.integer(0, 127)});
                track.midiClips.push_back(clip);
            }
        } else {
            for (int c = g.integer(0, 3); c > 0; --c) {
                AudioClip clip;
                const int frames = g.integer(0, maxFramesPerClip);
                clip.samples = g.samples(frames);
                if (g.chance(0.5))
                    clip.stereoSamples = g.samples(2 * frames);
                clip.sampleRate = rates[g.integer(0, 4)];
                clip.start = g.time();
                clip.audioStart = g.real(0.0, 1.0);
                clip.audioEnd = g.chance(0.3) ? 0.0 : g.real(0.0, 1.0);
                clip.fadeIn = g.real(0.0, 2.0);
                clip.fadeOut = g.real(0.0, 2.0);
                clip.fadeInCurve = g.integer(0, 3);
                clip.fadeOutCurve = g.integer(0, 3);
                track.audioClips.push_back(clip);
            }
        }
        project.tracks.push_back(track);
    }

    for (int m = g.integer(0, 4); m > 0; --m)
        project.markers.push_back({g.real(0.0, 600.0), g.text(), g.color()});
    std::stable_sort(project.markers.begin(), project.markers.end(),
                     [](const TimelineMarker &a, const TimelineMarker &b) { return a.time < b.time; });
    return project;
}
