// SPDX-License-Identifier: GPL-3.0-or-later
// The busy multitrack page the row and clip-edit benchmarks share: 64 tracks of 50 clips.
#pragma once

#include "multitrack/MultiTrackEditorPage.h"

#include <QApplication>
#include <QList>
#include <QUndoStack>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

constexpr int trackCount = 64;
constexpr int clipsPerTrack = 50;
constexpr int rate = 44100;

// Seeded noise, so every run draws the same waveforms.
inline QList<float> noise(qsizetype frames)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-0.8f, 0.8f);
    QList<float> samples(frames);
    std::generate(samples.begin(), samples.end(), [&] { return value(random); });
    return samples;
}

// Layouts settle over a few passes (the lanes' column grows, a scroll bar appears).
inline void settle()
{
    for (int pass = 0; pass < 5; ++pass)
        QApplication::processEvents();
}

// A page over `document`, which must outlive it. Three audio tracks in four, one MIDI of `notes` notes; every clip shares one sample list,
// a second apart, as clips split from one import do.
inline std::unique_ptr<MultiTrackEditorPage> busyPage(ProjectDocument &document, const QList<float> &samples,
                                                      int tracks = trackCount, int notes = 40)
{
    auto page = std::make_unique<MultiTrackEditorPage>(document, nullptr);
    page->resize(1600, 900);
    page->show();
    settle();
    const double clipSeconds = double(samples.size()) / rate;
    for (int t = 0; t < tracks; ++t) {
        if (t % 4 == 3) {
            std::vector<MidiNote> midi;
            for (int n = 0; n < notes; ++n)
                midi.push_back({48 + (n * 7) % 24, n * 0.125, 0.1, 100});
            page->addMidiTrack(QString(), midi, clipSeconds);
        } else {
            page->addTrack(TrackType::Audio, samples, rate, QString(), {});
        }
        TrackData &track = page->document().tracks.back();
        for (int c = 1; c < clipsPerTrack; ++c) {
            if (track.type == TrackType::Midi) {
                track.midiClips.push_back(track.midiClips[0]);
                track.midiClips.back().start = c * (clipSeconds + 1.0);
            } else {
                track.audioClips.push_back(track.audioClips[0]);
                track.audioClips.back().start = c * (clipSeconds + 1.0);
            }
        }
    }
    page->document().undoStack->clear();
    settle();
    page->updateRuler();
    return page;
}
