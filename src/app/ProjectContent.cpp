// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the records of a project file from the editor pages.
#include "ProjectContent.h"

#include "document/ProjectDocument.h"
#include "editor/AudioEditorPage.h"

ProjectContent ProjectContent::fromSingleTrack(const AudioEditorPage &page, int bitDepth, const QString &name)
{
    ProjectContent content;
    content.settings.sampleRate = page.sampleRate;
    content.settings.bitDepth = bitDepth;
    content.settings.channels = page.stereoSamples.isEmpty() || page.mono ? 1 : 2;
    TrackData track;
    track.name = name;
    if (!page.samples.isEmpty()) {
        AudioClip clip;
        clip.samples = page.samples;
        clip.stereoSamples = page.stereoSamples;
        clip.sampleRate = page.sampleRate;
        track.audioClips.push_back(std::move(clip));
    }
    content.tracks.push_back(std::move(track));
    return content;
}

ProjectContent ProjectContent::fromMultiTrack(const ProjectDocument &document)
{
    ProjectContent content;
    content.tracks = document.tracks;
    content.markers = document.markers;
    content.settings.sampleRate = document.sampleRate;
    content.settings.bitDepth = document.bitDepth;
    content.settings.channels = document.mono ? 1 : 2;
    content.settings.tempo = document.bpm;
    content.settings.midiFileTempo = document.midiFileTempo;
    return content;
}
