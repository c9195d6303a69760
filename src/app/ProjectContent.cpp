// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the records of a project file from the editor pages.
#include "ProjectContent.h"

#include "editor/AudioEditorPage.h"
#include "multitrack/MultiTrackEditorPage.h"

ProjectContent ProjectContent::fromSingleTrack(const AudioEditorPage &page, const QString &name)
{
    ProjectContent content;
    content.settings.sampleRate = page.document().sampleRate();
    content.settings.bitDepth = page.bitDepth;
    content.settings.channels = page.document().stereoSamples().isEmpty() || page.mono ? 1 : 2;
    TrackData track;
    track.name = name;
    if (!page.document().samples().isEmpty()) {
        AudioClip clip;
        clip.samples = page.document().samples();
        clip.stereoSamples = page.document().stereoSamples();
        clip.sampleRate = page.document().sampleRate();
        track.audioClips.push_back(std::move(clip));
    }
    content.tracks.push_back(std::move(track));
    return content;
}

ProjectContent ProjectContent::fromMultiTrack(const MultiTrackEditorPage &page)
{
    ProjectContent content;
    content.tracks = page.tracks;
    content.markers = page.markers;
    content.settings.sampleRate = page.sampleRate;
    content.settings.bitDepth = page.bitDepth;
    content.settings.channels = page.mono ? 1 : 2;
    content.settings.tempo = page.bpm;
    content.settings.midiFileTempo = page.midiFileTempo;
    return content;
}
