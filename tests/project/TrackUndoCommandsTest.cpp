// SPDX-License-Identifier: GPL-3.0-or-later
// Marker, envelope, clip and track undo commands on a real QUndoStack, with a stand-in page
// whose rows record which track record they are bound to.
#include "project/ProjectSerializer.h"
#include "project/UndoCommands.h"

#include <gtest/gtest.h>

#include <QJsonObject>
#include <QUndoStack>

#include <algorithm>
#include <functional>
#include <random>

namespace {

AudioClip audioClip(double start, float firstSample)
{
    AudioClip clip;
    clip.samples = {firstSample, 0.5f, -0.25f};
    clip.stereoSamples = {firstSample, firstSample, 0.5f, 0.5f, -0.25f, -0.25f};
    clip.start = start;
    clip.audioStart = 0.001;
    clip.fadeIn = 0.01;
    clip.fadeOutCurve = FadeCurve::SCurve;
    return clip;
}

MidiClip midiClip(double start, int pitch)
{
    MidiClip clip;
    clip.start = start;
    clip.notes = {{pitch, 0.0, 0.5, 100}, {pitch + 4, 0.25, 0.5, 90}};
    return clip;
}

TrackData audioTrack(const QString &name, std::vector<AudioClip> clips = {})
{
    TrackData track;
    track.name = name;
    track.audioClips = std::move(clips);
    return track;
}

TrackData midiTrack(const QString &name, std::vector<MidiClip> clips = {})
{
    TrackData track;
    track.type = TrackType::Midi;
    track.name = name;
    track.midiClips = std::move(clips);
    return track;
}

std::vector<float> firstSamples(const std::vector<AudioClip> &clips)
{
    std::vector<float> values;
    for (const AudioClip &clip : clips)
        values.push_back(clip.samples.first());
    return values;
}

// Stands in for the multitrack page. Each row remembers the record it is bound to, its index
// and the name its header was built with: re-binding a row does not rebuild its header.
class RecordingHost : public TrackRowHost
{
public:
    struct Row
    {
        const TrackData *track;
        int index;
        QString shownName;
    };

    explicit RecordingHost(std::vector<TrackData> initial = {})
    {
        for (TrackData &track : initial)
            append(std::move(track));
    }

    std::vector<TrackData> &trackList() override { return tracks; }

    void createTrackRow(int index) override
    {
        ASSERT_TRUE(index >= 0 && size_t(index) < tracks.size() && size_t(index) <= rows.size()) << index;
        rows.insert(rows.begin() + index, Row{&tracks[size_t(index)], index, tracks[size_t(index)].name});
    }

    void destroyTrackRow(int index) override
    {
        if (index >= 0 && size_t(index) < rows.size())
            rows.erase(rows.begin() + index);
    }

    void rebindTrackRows(int from) override
    {
        for (size_t i = size_t(std::max(from, 0)); i < rows.size(); ++i) {
            ASSERT_LT(i, tracks.size());
            rows[i].track = &tracks[i];
            rows[i].index = int(i);
        }
    }

    void updateRuler() override { ++rulerUpdates; }

    // What the page does itself before pushing an add or a remove.
    void insert(int index, TrackData track)
    {
        tracks.insert(tracks.begin() + index, std::move(track));
        createTrackRow(index);
        rebindTrackRows(0);
    }

    void append(TrackData track) { insert(int(tracks.size()), std::move(track)); }

    TrackData remove(int index)
    {
        destroyTrackRow(index);
        TrackData track = std::move(tracks[size_t(index)]);
        tracks.erase(tracks.begin() + index);
        rebindTrackRows(index);
        return track;
    }

    testing::AssertionResult rowsMatch() const
    {
        if (rows.size() != tracks.size())
            return testing::AssertionFailure() << rows.size() << " rows for " << tracks.size() << " tracks";
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].track != &tracks[i])
                return testing::AssertionFailure() << "row " << i << " is bound to another record";
            if (rows[i].index != int(i))
                return testing::AssertionFailure() << "row " << i << " carries index " << rows[i].index;
            if (rows[i].shownName != tracks[i].name)
                return testing::AssertionFailure() << "row " << i << " shows " << rows[i].shownName.toStdString()
                                                   << " above track " << tracks[i].name.toStdString();
        }
        return testing::AssertionSuccess();
    }

    std::vector<TrackData> tracks;
    std::vector<Row> rows;
    int rulerUpdates = 0;
};

TEST(MarkerUndo, SnapshotsReplaceTheWholeList)
{
    const TimelineMarker one{1.0, QStringLiteral("A"), Qt::red};
    const TimelineMarker three{3.0, QStringLiteral("新"), QColor(255, 165, 0)};
    const TimelineMarker five{5.0, QStringLiteral("B"), Qt::blue};
    std::vector<TimelineMarker> markers{one, five};
    QUndoStack stack;
    stack.push(new MarkerSnapshotCommand(&markers, markers, {one, three, five}, QStringLiteral("添加标记")));
    EXPECT_EQ(markers, (std::vector<TimelineMarker>{one, three, five}));
    stack.undo();
    EXPECT_EQ(markers, (std::vector<TimelineMarker>{one, five}));
    stack.redo();
    EXPECT_EQ(markers, (std::vector<TimelineMarker>{one, three, five}));

    stack.push(new MarkerSnapshotCommand(nullptr, {one}, {}, QStringLiteral("删除标记")));
    stack.undo();
    EXPECT_EQ(markers.size(), 3u);
}

TEST(EnvelopeUndo, PointsAndFlagGoTogether)
{
    const std::vector<EnvelopePoint> before{{1.0, 0.2f}};
    const std::vector<EnvelopePoint> after{{1.0, 0.2f}, {3.0, 1.0f}};
    const struct
    {
        bool enabledBefore;
        bool enabledAfter;
    } cases[] = {{false, true}, {true, false}, {true, true}, {false, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.enabledBefore << " -> " << c.enabledAfter);
        std::vector<TrackData> tracks{audioTrack(QStringLiteral("A"), {audioClip(0.0, 0.1f)}),
                                     audioTrack(QStringLiteral("B"))};
        tracks[1].volumeEnvelope = before;
        tracks[1].envelopeEnabled = c.enabledBefore;
        const std::vector<TrackData> start = tracks;
        QUndoStack stack;
        stack.push(new EnvelopeSnapshotCommand(&tracks, 1, before, after, c.enabledBefore, c.enabledAfter,
                                               QStringLiteral("编辑包络")));
        EXPECT_EQ(tracks[1].volumeEnvelope, after);
        EXPECT_EQ(tracks[1].envelopeEnabled, c.enabledAfter);
        EXPECT_EQ(tracks[0], start[0]);
        stack.undo();
        EXPECT_EQ(tracks, start);
    }
}

TEST(ClipUndo, ClipSnapshotsTouchOnlyTheirOwnVectorAndShareSamples)
{
    // A track holding both kinds, so touching the wrong vector shows.
    TrackData mixed = audioTrack(QStringLiteral("A"), {audioClip(0.0, 0.1f), audioClip(2.0, 0.2f)});
    mixed.midiClips = {midiClip(0.0, 60)};
    std::vector<TrackData> tracks{mixed};
    const float *samples = tracks[0].audioClips[1].samples.constData();

    QUndoStack stack;
    std::vector<AudioClip> before = tracks[0].audioClips;
    tracks[0].audioClips.erase(tracks[0].audioClips.begin());  // the page deletes, then pushes
    stack.push(new TrackClipsSnapshotCommand(&tracks, 0, std::move(before), tracks[0].audioClips,
                                             QStringLiteral("删除音频块")));
    EXPECT_EQ(firstSamples(tracks[0].audioClips), (std::vector<float>{0.2f}));
    EXPECT_EQ(tracks[0].midiClips, mixed.midiClips);

    std::vector<MidiClip> midiAfter{midiClip(1.0, 62), midiClip(5.0, 64)};
    stack.push(TrackClipsSnapshotCommand::createForMidi(&tracks, 0, tracks[0].midiClips, midiAfter,
                                                        QStringLiteral("拆分片段")));
    EXPECT_EQ(tracks[0].midiClips, midiAfter);
    EXPECT_EQ(firstSamples(tracks[0].audioClips), (std::vector<float>{0.2f}));

    for (int round = 0; round < 2; ++round) {
        stack.undo();
        EXPECT_EQ(tracks[0].midiClips, mixed.midiClips);
        EXPECT_EQ(firstSamples(tracks[0].audioClips), (std::vector<float>{0.2f}));
        stack.undo();
        EXPECT_EQ(tracks[0], mixed);
        stack.redo();
        stack.redo();
        EXPECT_EQ(tracks[0].midiClips, midiAfter);
    }
    EXPECT_EQ(tracks[0].audioClips[0].samples.constData(), samples) << "the audio was copied, not shared";
}

TEST(ClipUndo, SnapshotsWithOneMergeKeyBecomeOneStep)
{
    std::vector<TrackData> tracks{midiTrack(QStringLiteral("M"), {midiClip(0.0, 60)}),
                                  midiTrack(QStringLiteral("N"), {midiClip(0.0, 48)})};
    const std::vector<TrackData> start = tracks;
    QUndoStack stack;
    // Each push moves track `index`'s clip to `startSec`; which pushes join one step.
    const auto push = [&](int index, double startSec, int key) {
        std::vector<MidiClip> after = tracks[size_t(index)].midiClips;
        after[0].start = startSec;
        auto *command = TrackClipsSnapshotCommand::createForMidi(&tracks, index, tracks[size_t(index)].midiClips,
                                                                 after, QStringLiteral("编辑音符"));
        if (key >= 0)
            command->setMergeKey(key);
        stack.push(command);
    };
    push(0, 1.0, 7);
    push(0, 2.0, 7);
    push(0, 3.0, 7);
    EXPECT_EQ(stack.count(), 1);
    push(1, 1.0, 7);  // another track
    push(0, 4.0, 8);  // another key
    push(0, 5.0, -1); // no key
    push(0, 6.0, -1);
    EXPECT_EQ(stack.count(), 5);

    stack.undo();
    stack.undo();
    stack.undo();
    stack.undo();
    EXPECT_EQ(tracks[0].midiClips[0].start, 3.0);
    EXPECT_EQ(tracks[1], start[1]);
    stack.undo();
    EXPECT_EQ(tracks, start);
    stack.redo();
    EXPECT_EQ(tracks[0].midiClips[0].start, 3.0);
}

TEST(ClipUndo, NoteSnapshotsReplaceOneClipsNotes)
{
    std::vector<TrackData> tracks{midiTrack(QStringLiteral("M"), {midiClip(0.0, 60), midiClip(4.0, 67)})};
    const std::vector<TrackData> start = tracks;
    const std::vector<MidiNote> after{{72, 1.0, 2.0, 127}};
    QUndoStack stack;
    stack.push(new MidiNoteSnapshotCommand(&tracks, 0, 1, tracks[0].midiClips[1].notes, after,
                                           QStringLiteral("编辑音符")));
    EXPECT_EQ(tracks[0].midiClips[1].notes, after);
    EXPECT_EQ(tracks[0].midiClips[0], start[0].midiClips[0]);
    stack.undo();
    EXPECT_EQ(tracks, start);
}

// Every command whose indices do not fit (or whose vector is missing) leaves the tracks alone.
TEST(ClipUndo, IndicesOutsideTheListsChangeNothing)
{
    using Make = std::function<QUndoCommand *(std::vector<TrackData> *)>;
    const QString text = QStringLiteral("移动片段");
    const AudioClip clip = audioClip(9.0, 0.9f);
    const MidiClip notes = midiClip(9.0, 40);
    const struct
    {
        const char *name;
        Make make;
    } cases[] = {
        {"envelope, track -1", [&](auto *t) { return new EnvelopeSnapshotCommand(t, -1, {}, {{}}, false, true, text); }},
        {"envelope, track past the end",
         [&](auto *t) { return new EnvelopeSnapshotCommand(t, 2, {}, {{}}, false, true, text); }},
        {"envelope, no vector",
         [&](auto *) { return new EnvelopeSnapshotCommand(nullptr, 0, {}, {{}}, false, true, text); }},
        {"audio clips, track -1", [&](auto *t) { return new TrackClipsSnapshotCommand(t, -1, {}, {clip}, text); }},
        {"MIDI clips, track past the end",
         [&](auto *t) { return TrackClipsSnapshotCommand::createForMidi(t, 2, {}, {notes}, text); }},
        {"audio clips, no vector",
         [&](auto *) { return new TrackClipsSnapshotCommand(nullptr, 0, {}, {clip}, text); }},
        {"notes, clip past the end",
         [&](auto *t) { return new MidiNoteSnapshotCommand(t, 1, 1, {}, notes.notes, text); }},
        {"notes, clip -1", [&](auto *t) { return new MidiNoteSnapshotCommand(t, 1, -1, {}, notes.notes, text); }},
        {"notes, audio track", [&](auto *t) { return new MidiNoteSnapshotCommand(t, 0, 0, {}, notes.notes, text); }},
        {"notes, track past the end",
         [&](auto *t) { return new MidiNoteSnapshotCommand(t, 2, 0, {}, notes.notes, text); }},
        {"move, clip index = clip count",
         [&](auto *t) { return new MoveClipCommand(t, 0, 0, 2, false, clip, {}, text); }},
        {"move, clip -1", [&](auto *t) { return new MoveClipCommand(t, 0, 0, -1, false, clip, {}, text); }},
        {"move, source past the end", [&](auto *t) { return new MoveClipCommand(t, 2, 0, 0, false, clip, {}, text); }},
        {"move, target -1", [&](auto *t) { return new MoveClipCommand(t, 0, -1, 0, false, clip, {}, text); }},
        {"move MIDI from a track without MIDI clips",
         [&](auto *t) { return new MoveClipCommand(t, 0, 1, 0, true, {}, notes, text); }},
        {"move, no vector", [&](auto *) { return new MoveClipCommand(nullptr, 0, 0, 0, false, clip, {}, text); }},
    };
    const std::vector<TrackData> start{audioTrack(QStringLiteral("A"), {audioClip(0.0, 0.1f), audioClip(1.0, 0.2f)}),
                                       midiTrack(QStringLiteral("M"), {midiClip(0.0, 60)})};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TrackData> tracks = start;
        QUndoStack stack;
        stack.push(c.make(&tracks));
        EXPECT_EQ(tracks, start);
        stack.undo();
        EXPECT_EQ(tracks, start);
        stack.redo();
        EXPECT_EQ(tracks, start);
        EXPECT_EQ(stack.count(), 1);
    }
}

TEST(MoveClipUndo, MovesTheClipAndRestoresBothTracks)
{
    const struct
    {
        const char *name;
        int target;
        std::vector<float> sourceAfter;
        std::vector<float> targetAfter;
    } cases[] = {
        {"to another track", 1, {0.1f, 0.3f}, {0.4f, 0.9f}},
        {"within its track", 0, {0.1f, 0.3f, 0.9f}, {0.1f, 0.3f, 0.9f}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<TrackData> start{
            audioTrack(QStringLiteral("S"), {audioClip(0.0, 0.1f), audioClip(1.0, 0.2f), audioClip(2.0, 0.3f)}),
            audioTrack(QStringLiteral("T"), {audioClip(0.0, 0.4f)})};
        std::vector<TrackData> tracks = start;
        AudioClip moved = tracks[0].audioClips[1];
        moved.samples[0] = 0.9f;  // B': the form the clip takes on the target (detached on purpose)
        moved.start = 7.5;
        QUndoStack stack;
        stack.push(new MoveClipCommand(&tracks, 0, c.target, 1, false, moved, {}, QStringLiteral("移动片段")));
        EXPECT_EQ(firstSamples(tracks[0].audioClips), c.sourceAfter);
        EXPECT_EQ(firstSamples(tracks[size_t(c.target)].audioClips), c.targetAfter);
        EXPECT_EQ(tracks[size_t(c.target)].audioClips.back().samples.constData(), moved.samples.constData())
            << "the moved clip's audio was copied";
        for (int round = 0; round < 2; ++round) {
            stack.undo();
            EXPECT_EQ(tracks, start) << "the clip goes back as it was, start included";
            stack.redo();
            EXPECT_EQ(firstSamples(tracks[0].audioClips), c.sourceAfter);
            EXPECT_EQ(firstSamples(tracks[size_t(c.target)].audioClips), c.targetAfter);
        }
    }
}

TEST(MoveClipUndo, MidiMovesLeaveTheAudioClipsAlone)
{
    TrackData source = midiTrack(QStringLiteral("S"), {midiClip(0.0, 60), midiClip(2.0, 62)});
    source.audioClips = {audioClip(0.0, 0.1f)};
    const std::vector<TrackData> start{source, midiTrack(QStringLiteral("T"))};
    std::vector<TrackData> tracks = start;
    QUndoStack stack;
    stack.push(new MoveClipCommand(&tracks, 0, 1, 0, true, {}, midiClip(3.0, 60), QStringLiteral("移动片段")));
    EXPECT_EQ(tracks[0].midiClips, (std::vector<MidiClip>{midiClip(2.0, 62)}));
    EXPECT_EQ(tracks[1].midiClips, (std::vector<MidiClip>{midiClip(3.0, 60)}));
    EXPECT_EQ(tracks[0].audioClips, start[0].audioClips);
    stack.undo();
    EXPECT_EQ(tracks, start);
}

// Taking back "the target's last clip" would take the later clip and leave the moved clip
// on both tracks.
TEST(MoveClipUndo, UndoAfterAnotherClipFollowedTheMovedOne)
{
    const std::vector<TrackData> start{
        audioTrack(QStringLiteral("S"), {audioClip(0.0, 0.1f), audioClip(1.0, 0.2f)}),
        audioTrack(QStringLiteral("T"), {audioClip(0.0, 0.4f)})};
    std::vector<TrackData> tracks = start;
    QUndoStack stack;
    stack.push(new MoveClipCommand(&tracks, 0, 1, 1, false, tracks[0].audioClips[1], {}, QStringLiteral("移动片段")));
    tracks[1].audioClips.push_back(audioClip(5.0, 0.7f));  // added without a command
    stack.undo();
    EXPECT_EQ(firstSamples(tracks[0].audioClips), (std::vector<float>{0.1f, 0.2f}));
    EXPECT_EQ(firstSamples(tracks[1].audioClips), (std::vector<float>{0.4f}));
    stack.redo();
    EXPECT_EQ(firstSamples(tracks[0].audioClips), (std::vector<float>{0.1f}));
    EXPECT_EQ(firstSamples(tracks[1].audioClips), (std::vector<float>{0.4f, 0.2f}));
}

TEST(TrackUndo, AddTrackLeavesThePushedTrackAndTogglesItAtTheEnd)
{
    RecordingHost host({audioTrack(QStringLiteral("A"), {audioClip(2.0, 0.1f)})});
    QUndoStack stack;
    host.append(audioTrack(QStringLiteral("B"), {audioClip(2.0, 0.2f)}));
    const TrackData added = host.tracks.back();
    stack.push(new AddTrackCommand(&host, QStringLiteral("添加轨道")));
    ASSERT_EQ(host.tracks.size(), 2u) << "the first redo must not add the track twice";
    EXPECT_TRUE(host.rowsMatch());
    EXPECT_EQ(host.rulerUpdates, 0);
    EXPECT_EQ(stack.undoText(), QStringLiteral("添加轨道"));

    for (int round = 0; round < 3; ++round) {
        stack.undo();
        ASSERT_EQ(host.tracks.size(), 1u);
        EXPECT_EQ(host.tracks[0].name, QStringLiteral("A"));
        EXPECT_TRUE(host.rowsMatch());
        stack.redo();
        ASSERT_EQ(host.tracks.size(), 2u);
        EXPECT_EQ(host.tracks[1], added);
        EXPECT_TRUE(host.rowsMatch());
    }
    EXPECT_EQ(host.rulerUpdates, 6);
}

TEST(TrackUndo, AddTrackSurvivesTheVectorMovingItsRecords)
{
    RecordingHost host;
    host.tracks.reserve(1);
    QUndoStack stack;
    for (int i = 0; i < 20; ++i) {
        host.append(audioTrack(QString::number(i), {audioClip(0.0, float(i))}));
        stack.push(new AddTrackCommand(&host, QStringLiteral("添加轨道")));
    }
    stack.setIndex(0);
    EXPECT_TRUE(host.tracks.empty());
    EXPECT_TRUE(host.rowsMatch());
    stack.setIndex(20);
    ASSERT_EQ(host.tracks.size(), 20u);
    EXPECT_TRUE(host.rowsMatch());
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(host.tracks[size_t(i)], audioTrack(QString::number(i), {audioClip(0.0, float(i))}));
}

TEST(TrackUndo, AddTrackWithoutAUsableIndexDoesNothing)
{
    RecordingHost none;
    QUndoStack stack;
    stack.push(new AddTrackCommand(&none, QStringLiteral("添加轨道")));
    stack.push(new AddTrackCommand(nullptr, QStringLiteral("添加轨道")));
    stack.undo();
    stack.undo();
    stack.redo();
    stack.redo();
    EXPECT_TRUE(none.tracks.empty());
    EXPECT_EQ(none.rulerUpdates, 0);

    // The track list was emptied behind the stack's back: undo has nothing to take, and redo
    // must not bring back a copy of a track that is not gone.
    RecordingHost host({audioTrack(QStringLiteral("A"))});
    stack.push(new AddTrackCommand(&host, QStringLiteral("添加轨道")));
    host.remove(0);
    stack.undo();
    host.append(audioTrack(QStringLiteral("C")));
    stack.redo();
    ASSERT_EQ(host.tracks.size(), 1u);
    EXPECT_EQ(host.tracks[0].name, QStringLiteral("C"));
    EXPECT_TRUE(host.rowsMatch());
}

// Mix settings change without undo steps; taking a track out and putting it back must
// keep them, not restore the record from the time the command was made.
TEST(TrackUndo, RedoPutsBackTheTrackAsItWasTakenOut)
{
    {
        SCOPED_TRACE("add");
        RecordingHost host({audioTrack(QStringLiteral("A"))});
        QUndoStack stack;
        host.append(audioTrack(QStringLiteral("B"), {audioClip(0.0, 0.2f)}));
        stack.push(new AddTrackCommand(&host, QStringLiteral("添加轨道")));
        host.tracks[1].volume = 0.3f;
        host.tracks[1].muted = true;
        stack.undo();
        stack.redo();
        EXPECT_EQ(host.tracks[1].volume, 0.3f);
        EXPECT_TRUE(host.tracks[1].muted);
    }
    {
        SCOPED_TRACE("remove");
        RecordingHost host({audioTrack(QStringLiteral("A")), audioTrack(QStringLiteral("B"))});
        QUndoStack stack;
        stack.push(new RemoveTrackCommand(&host, 1, host.remove(1), QStringLiteral("删除轨道")));
        stack.undo();
        host.tracks[1].pan = -0.5f;
        stack.redo();
        stack.undo();
        EXPECT_EQ(host.tracks[1].pan, -0.5f);
    }
}

TEST(TrackUndo, RemovedTrackComesBackAtItsIndexWithItsRow)
{
    const struct
    {
        int index;
        std::vector<QString> left;
    } cases[] = {{0, {"B", "C"}}, {1, {"A", "C"}}, {2, {"A", "B"}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.index);
        const std::vector<TrackData> start{audioTrack(QStringLiteral("A"), {audioClip(0.0, 0.1f)}),
                                           midiTrack(QStringLiteral("B"), {midiClip(1.0, 60)}),
                                           audioTrack(QStringLiteral("C"))};
        RecordingHost host(start);
        QUndoStack stack;
        TrackData removed = host.remove(c.index);
        stack.push(new RemoveTrackCommand(&host, c.index, std::move(removed), QStringLiteral("删除轨道")));
        EXPECT_TRUE(removed.name.isEmpty()) << "the command takes the record over";
        for (int round = 0; round < 2; ++round) {
            std::vector<QString> names;
            for (const TrackData &track : host.tracks)
                names.push_back(track.name);
            EXPECT_EQ(names, c.left);
            EXPECT_TRUE(host.rowsMatch());
            stack.undo();
            EXPECT_EQ(host.tracks, start);
            EXPECT_TRUE(host.rowsMatch()) << "a row appended at the end would show the wrong header";
            stack.redo();
        }
    }
}

// Rendering a clip in place inserts the new track after its source, not at the end.
TEST(TrackUndo, TrackAddedInsideTheListTogglesAtItsIndex)
{
    for (int index = 0; index <= 2; ++index) {
        SCOPED_TRACE(index);
        const std::vector<TrackData> start{audioTrack(QStringLiteral("A")), midiTrack(QStringLiteral("B"))};
        RecordingHost host(start);
        QUndoStack stack;
        host.insert(index, audioTrack(QStringLiteral("B (渲染)"), {audioClip(0.0, 0.5f)}));
        const std::vector<TrackData> added = host.tracks;
        stack.push(new AddTrackCommand(&host, index, QStringLiteral("就地渲染MIDI")));
        EXPECT_EQ(host.tracks, added);
        for (int round = 0; round < 2; ++round) {
            stack.undo();
            EXPECT_EQ(host.tracks, start);
            EXPECT_TRUE(host.rowsMatch());
            stack.redo();
            EXPECT_EQ(host.tracks, added);
            EXPECT_TRUE(host.rowsMatch());
        }
    }
}

TEST(TrackUndo, RemoveTrackOutsideTheListDoesNothing)
{
    RecordingHost host({audioTrack(QStringLiteral("A")), audioTrack(QStringLiteral("B"))});
    QUndoStack stack;
    stack.push(new RemoveTrackCommand(&host, 1, host.remove(1), QStringLiteral("删除轨道")));
    host.remove(0);  // behind the stack's back: index 1 now lies past the end
    stack.undo();
    EXPECT_TRUE(host.tracks.empty());
    stack.redo();
    EXPECT_TRUE(host.tracks.empty());

    stack.push(new RemoveTrackCommand(nullptr, 0, audioTrack(QStringLiteral("X")), QStringLiteral("删除轨道")));
    stack.undo();
    stack.redo();
    EXPECT_TRUE(host.tracks.empty());
    EXPECT_TRUE(host.rowsMatch());
}

// A track inserted into a vector without spare room moves every record, the ones before
// the insertion point too.
TEST(TrackUndo, InsertingIntoAFullVectorRebindsEveryRow)
{
    RecordingHost host({audioTrack(QStringLiteral("A")), audioTrack(QStringLiteral("B")),
                        audioTrack(QStringLiteral("C"))});
    QUndoStack stack;
    stack.push(new RemoveTrackCommand(&host, 1, host.remove(1), QStringLiteral("删除轨道")));
    std::vector<TrackData>(host.tracks).swap(host.tracks);  // e.g. reloaded: no spare capacity
    host.rebindTrackRows(0);
    ASSERT_EQ(host.tracks.capacity(), host.tracks.size());
    stack.undo();
    EXPECT_TRUE(host.rowsMatch());
}

// The page's adds, inserts and removes, clip moves and edits, pushed in random order: after every
// step each row is bound to its own track, and undoing and redoing everything walks back
// through the same states, ending in the same project documents.
TEST(TrackUndo, RandomStepsKeepRowsBoundAndReplayExactly)
{
    std::mt19937 random(19104);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    int nextName = 0;
    auto newTrack = [&] {
        const QString name = QStringLiteral("轨道 %1").arg(++nextName);
        if (pick(0, 2) == 0)
            return midiTrack(name, {midiClip(pick(0, 20), pick(40, 80))});
        std::vector<AudioClip> clips;
        for (int i = pick(0, 3); i > 0; --i)
            clips.push_back(audioClip(pick(0, 40) * 0.5, float(nextName) + 0.01f * float(i)));
        return audioTrack(name, std::move(clips));
    };

    RecordingHost host({newTrack(), newTrack()});
    std::vector<TimelineMarker> markers;
    using State = std::pair<std::vector<TrackData>, std::vector<TimelineMarker>>;
    auto state = [&] { return State{host.tracks, markers}; };  // shares the sample lists
    // The saved document without the fields that change with every save.
    auto document = [&] {
        QJsonObject root = ProjectSerializer::saveProject(QStringLiteral("随机"), host.tracks, ProjectSettings(), 0.0,
                                                          1.0, markers)
                               .object();
        for (const char *key : {"id", "createdAt", "updatedAt"})
            root.remove(QLatin1String(key));
        return root;
    };
    const QJsonObject startDocument = document();
    std::vector<State> history{state()};
    QUndoStack stack;
    int adds = 0;
    int moves = 0;
    for (int step = 0; step < 200; ++step) {
        const int trackCount = int(host.tracks.size());
        const int kind = pick(0, 9);
        if (kind <= 1 || trackCount < 2) {
            host.append(newTrack());
            stack.push(new AddTrackCommand(&host, QStringLiteral("添加轨道")));
            ++adds;
        } else if (kind == 2) {
            const int index = pick(0, trackCount);  // as rendering in place does
            host.insert(index, newTrack());
            stack.push(new AddTrackCommand(&host, index, QStringLiteral("就地渲染MIDI")));
            ++adds;
        } else if (kind <= 4) {
            const int index = pick(0, trackCount - 1);
            stack.push(new RemoveTrackCommand(&host, index, host.remove(index), QStringLiteral("删除轨道")));
        } else if (kind <= 7) {
            const int source = pick(0, trackCount - 1);
            const bool isMidi = host.tracks[size_t(source)].type == TrackType::Midi;
            std::vector<int> sameKind;
            for (int i = 0; i < trackCount; ++i)
                if (host.tracks[size_t(i)].type == host.tracks[size_t(source)].type)
                    sameKind.push_back(i);
            const int target = sameKind[size_t(pick(0, int(sameKind.size()) - 1))];
            const int count = int(isMidi ? host.tracks[size_t(source)].midiClips.size()
                                         : host.tracks[size_t(source)].audioClips.size());
            const int clipIndex = pick(0, count);  // sometimes one past the end: nothing moves
            AudioClip audio;
            MidiClip midi;
            if (clipIndex < count) {
                if (isMidi) {
                    midi = host.tracks[size_t(source)].midiClips[size_t(clipIndex)];
                    midi.start += 1.0;
                } else {
                    audio = host.tracks[size_t(source)].audioClips[size_t(clipIndex)];
                    audio.start += 1.0;
                }
                ++moves;
            }
            stack.push(new MoveClipCommand(&host.tracks, source, target, clipIndex, isMidi, audio, midi,
                                           QStringLiteral("移动片段")));
        } else if (kind == 8) {
            const int index = pick(0, trackCount - 1);
            TrackData &track = host.tracks[size_t(index)];
            if (track.type == TrackType::Midi) {
                std::vector<MidiClip> before = track.midiClips;
                track.midiClips.push_back(midiClip(pick(0, 30), pick(30, 90)));
                stack.push(TrackClipsSnapshotCommand::createForMidi(&host.tracks, index, std::move(before),
                                                                    track.midiClips, QStringLiteral("录音")));
            } else {
                std::vector<AudioClip> before = track.audioClips;
                if (!track.audioClips.empty())
                    track.audioClips.erase(track.audioClips.begin());
                stack.push(new TrackClipsSnapshotCommand(&host.tracks, index, std::move(before), track.audioClips,
                                                         QStringLiteral("删除音频块")));
            }
        } else {
            const int index = pick(0, trackCount - 1);
            TrackData &track = host.tracks[size_t(index)];
            std::vector<EnvelopePoint> before = track.volumeEnvelope;
            const bool enabledBefore = track.envelopeEnabled;
            track.volumeEnvelope = {{0.0, 0.25f * float(pick(0, 4))}, {10.0, 1.0f}};
            track.envelopeEnabled = true;
            stack.push(new EnvelopeSnapshotCommand(&host.tracks, index, std::move(before), track.volumeEnvelope,
                                                   enabledBefore, true, QStringLiteral("编辑包络")));
            history.push_back(state());  // the envelope step alone
            std::vector<TimelineMarker> markersBefore = markers;
            markers.push_back({double(step), QString::number(step), Qt::green});
            stack.push(new MarkerSnapshotCommand(&markers, std::move(markersBefore), markers,
                                                 QStringLiteral("添加标记")));
        }
        ASSERT_TRUE(host.rowsMatch()) << "step " << step;
        history.push_back(state());
    }
    ASSERT_EQ(size_t(stack.count()) + 1, history.size());
    EXPECT_GE(adds, 20);
    EXPECT_GE(moves, 20);
    const QJsonObject endDocument = document();

    for (int i = stack.count() - 1; i >= 0; --i) {
        stack.undo();
        ASSERT_TRUE(host.rowsMatch()) << "undo to " << i;
        ASSERT_TRUE(state() == history[size_t(i)]) << "undo to " << i;
    }
    EXPECT_EQ(document(), startDocument);
    EXPECT_TRUE(markers.empty());
    for (size_t i = 1; i < history.size(); ++i) {
        stack.redo();
        ASSERT_TRUE(host.rowsMatch()) << "redo to " << i;
        ASSERT_TRUE(state() == history[i]) << "redo to " << i;
    }
    EXPECT_EQ(document(), endDocument);
}

} // namespace
