// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing the document with a loaded project: what is taken as it is, what is mended,
// and what a page bound to the old tracks is told.
#include "document/ProjectDocument.h"

#include "project/ProjectData.h"

#include <QUndoCommand>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TrackData namedTrack(TrackType type, const QString &name)
{
    TrackData track;
    track.type = type;
    track.name = name;
    return track;
}

TEST(ProjectDocumentReplace, TakesTheProjectAndMendsWhatTheEditorCannotUse)
{
    ProjectDocument document;
    document.tracks = {namedTrack(TrackType::Audio, QStringLiteral("old"))};
    document.undoStack->push(new QUndoCommand(QStringLiteral("step")));

    ProjectData project;
    project.settings.sampleRate = 48000;
    project.settings.bitDepth = 20;  // no writer knows it
    project.settings.channels = 1;
    project.settings.tempo = 97.5;
    project.settings.midiFileTempo = 132.0;
    project.tracks = {namedTrack(TrackType::Audio, QString()), namedTrack(TrackType::Midi, QString()),
                      namedTrack(TrackType::Audio, QStringLiteral("Bass")), namedTrack(TrackType::Midi, QString())};
    project.markers = {{5.0, QStringLiteral("b"), Qt::red}, {1.0, QStringLiteral("a"), Qt::green}};

    std::vector<std::string> told;
    QObject::connect(&document, &ProjectDocument::aboutToReplace, [&] {
        told.push_back("before with " + std::to_string(document.tracks.size()) + " tracks");
    });
    QObject::connect(&document, &ProjectDocument::sampleRateChanged,
                     [&](int rate) { told.push_back("rate " + std::to_string(rate)); });
    QObject::connect(&document, &ProjectDocument::replaced, [&] {
        told.push_back("after with " + std::to_string(document.tracks.size()) + " tracks");
    });
    document.replace(project);

    EXPECT_EQ(told, (std::vector<std::string>{"before with 1 tracks", "rate 48000", "after with 4 tracks"}));
    EXPECT_EQ(document.sampleRate, 48000);
    EXPECT_EQ(document.bitDepth, 16);
    EXPECT_TRUE(document.mono);
    EXPECT_EQ(document.bpm, 97.5);
    EXPECT_EQ(document.midiFileTempo, 132.0);
    ASSERT_EQ(document.tracks.size(), 4u);
    // Empty names are filled in as the next new track of that kind would be named.
    EXPECT_EQ(document.tracks[0].name, QStringLiteral("轨道 1"));
    EXPECT_EQ(document.tracks[1].name, QStringLiteral("MIDI轨 1"));
    EXPECT_EQ(document.tracks[2].name, QStringLiteral("Bass"));
    EXPECT_EQ(document.tracks[3].name, QStringLiteral("MIDI轨 2"));
    ASSERT_EQ(document.markers.size(), 2u);
    EXPECT_EQ(document.markers[0].label, QStringLiteral("a"));
    EXPECT_EQ(document.markers[1].label, QStringLiteral("b"));
    EXPECT_EQ(document.undoStack->count(), 0);
}

TEST(ProjectDocumentReplace, KeepsItsRateWhenTheProjectHasOneNoEngineRunsAt)
{
    ProjectDocument document;
    document.setSampleRate(48000);
    ProjectData project;
    project.settings.sampleRate = 1;
    project.settings.channels = 2;
    document.replace(project);
    EXPECT_EQ(document.sampleRate, 48000);
    EXPECT_FALSE(document.mono);
}

} // namespace
