// SPDX-License-Identifier: GPL-3.0-or-later
// Sample-list undo commands on a real QUndoStack, against a plain model of the list.
#include "project/UndoCommands.h"

#include <gtest/gtest.h>

#include <QUndoStack>

#include <bit>
#include <cstring>
#include <random>

namespace {

QList<float> ramp(int size)
{
    QList<float> list;
    for (int i = 0; i < size; ++i)
        list.append(float(i));
    return list;
}

// Bit-exact, so -0.0 against 0.0 would count as a difference. Empty lists are compared by
// size only: one of them may have no storage at all, which memcmp must not see.
bool sameBits(const QList<float> &a, const QList<float> &b)
{
    return a.size() == b.size()
           && (a.isEmpty() || std::memcmp(a.constData(), b.constData(), a.size() * sizeof(float)) == 0);
}

TEST(SampleUndo, DeleteSelectionRemovesOnPushAndRestoresOnUndo)
{
    QList<float> list = ramp(10);
    QUndoStack stack;
    stack.push(new DeleteSelectionCommand(&list, 2, 5, QStringLiteral("删除选区")));
    EXPECT_EQ(list, (QList<float>{0, 1, 5, 6, 7, 8, 9}));
    EXPECT_EQ(stack.undoText(), QStringLiteral("删除选区"));
    stack.undo();
    EXPECT_EQ(list, ramp(10));
    stack.redo();
    EXPECT_EQ(list, (QList<float>{0, 1, 5, 6, 7, 8, 9}));

    QList<float> whole = ramp(10);
    stack.push(new DeleteSelectionCommand(&whole, 0, 10, QStringLiteral("删除选区")));
    EXPECT_TRUE(whole.isEmpty());
    stack.undo();
    EXPECT_EQ(whole, ramp(10));
}

TEST(SampleUndo, UnusableDeleteRangesChangeNothing)
{
    const std::pair<int, int> ranges[] = {{3, 3}, {5, 2}, {-1, 4}, {8, 11}};
    for (const auto &[start, end] : ranges) {
        SCOPED_TRACE(testing::Message() << start << " to " << end);
        QList<float> list = ramp(10);
        QUndoStack stack;
        stack.push(new DeleteSelectionCommand(&list, start, end, QStringLiteral("删除选区")));
        EXPECT_EQ(list, ramp(10));
        EXPECT_EQ(stack.count(), 1);
        stack.undo();
        EXPECT_EQ(list, ramp(10));
    }
}

TEST(SampleUndo, DeleteOnAListShortenedBehindTheStackStaysInside)
{
    QList<float> list = ramp(10);
    QUndoStack stack;
    stack.push(new DeleteSelectionCommand(&list, 6, 9, QStringLiteral("删除选区")));
    stack.undo();
    list.resize(7);  // changed without a command
    stack.redo();
    EXPECT_EQ(list, ramp(6));
    list.clear();
    stack.undo();
    EXPECT_EQ(list, (QList<float>{6, 7, 8}));
}

TEST(SampleUndo, RecordCommandKeepsTheTail)
{
    struct Case
    {
        int position;
        qsizetype sizeAfterUndo;
        bool changes;
    };
    const Case cases[] = {{3, 3, true}, {10, 10, false}, {12, 10, false}, {-2, 0, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.position);
        QList<float> list = ramp(10);
        QUndoStack stack;
        stack.push(new RecordCommand(&list, c.position, QStringLiteral("录音")));
        EXPECT_EQ(list, ramp(10));
        stack.undo();
        EXPECT_TRUE(sameBits(list, ramp(int(c.sizeAfterUndo)))) << list.size();
        stack.redo();
        EXPECT_EQ(list, ramp(10));
    }
}

TEST(SampleUndo, InsertRecordSwapsWholeListsAnyNumberOfTimes)
{
    QList<float> list = ramp(5);
    QList<float> before = list;
    list.insert(2, 3, 0.5f);  // the recording, already in the list
    const QList<float> recorded = list;
    QUndoStack stack;
    stack.push(new InsertRecordCommand(&list, std::move(before), QStringLiteral("插入录音")));
    EXPECT_TRUE(before.isEmpty());
    EXPECT_EQ(list, recorded);
    for (int i = 0; i < 3; ++i) {
        stack.undo();
        EXPECT_EQ(list, ramp(5));
        stack.redo();
        EXPECT_EQ(list, recorded);
    }
}

TEST(SampleUndo, SamplesReplaceTargetsOnlyTheGivenLists)
{
    QList<float> mono = ramp(4);
    QList<float> stereo = ramp(8);
    QUndoStack stack;
    stack.push(new SamplesReplaceCommand(&mono, nullptr, mono, stereo, {9, 9}, {}, QStringLiteral("增益")));
    EXPECT_EQ(mono, (QList<float>{9, 9}));
    EXPECT_EQ(stereo, ramp(8));

    stack.push(new SamplesReplaceCommand(&mono, &stereo, mono, stereo, ramp(3), {}, QStringLiteral("转换为单声道")));
    EXPECT_TRUE(stereo.isEmpty());
    EXPECT_EQ(mono, ramp(3));
    stack.undo();
    EXPECT_EQ(stereo, ramp(8));
    EXPECT_EQ(mono, (QList<float>{9, 9}));
    stack.undo();
    EXPECT_EQ(mono, ramp(4));
}

TEST(SampleUndo, SnapshotSurvivesWritesIntoThePageList)
{
    QList<float> list = ramp(6);
    QUndoStack stack;
    stack.push(new InsertRecordCommand(&list, ramp(6), QStringLiteral("插入录音")));
    list[0] = 42.0f;  // detaches from the command's snapshot
    stack.undo();
    stack.redo();
    EXPECT_EQ(list, ramp(6));
}

// Random edits pushed as commands must match a plain model step by step, and undoing to
// the start and redoing to the end must reproduce every intermediate list bit for bit.
TEST(SampleUndo, RandomEditSequencesMatchAPlainModel)
{
    std::mt19937 random(20261210);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        QList<float> mono;
        QList<float> stereo;
        for (int i = 0; i < 200; ++i)
            mono.append(i % 17 == 0 ? -0.0f : sample(random));
        std::vector<QList<float>> history{mono};
        QUndoStack stack;
        for (int step = 0; step < 30; ++step) {
            QList<float> expected = mono;
            const int kind = std::uniform_int_distribution<int>(0, 2)(random);
            const int size = int(mono.size());
            if (kind == 0) {
                const int a = std::uniform_int_distribution<int>(-2, size + 2)(random);
                const int b = std::uniform_int_distribution<int>(-2, size + 2)(random);
                if (a >= 0 && a < b && b <= size)
                    expected.remove(a, b - a);
                stack.push(new DeleteSelectionCommand(&mono, a, b, QStringLiteral("删除选区")));
            } else if (kind == 1) {
                QList<float> before = mono;
                const int at = std::uniform_int_distribution<int>(0, size)(random);
                QList<float> take;
                for (int i = std::uniform_int_distribution<int>(0, 50)(random); i > 0; --i)
                    take.append(sample(random));
                mono.insert(at, take.size(), 0.0f);
                std::copy(take.cbegin(), take.cend(), mono.begin() + at);
                expected = mono;
                stack.push(new InsertRecordCommand(&mono, std::move(before), QStringLiteral("插入录音")));
            } else {
                QList<float> after = mono;
                for (float &v : after)
                    v *= 0.5f;
                QList<float> stereoAfter;
                for (float v : after)
                    stereoAfter << v << -v;
                expected = after;
                stack.push(new SamplesReplaceCommand(&mono, &stereo, mono, stereo, after, stereoAfter,
                                                     QStringLiteral("增益")));
            }
            ASSERT_TRUE(sameBits(mono, expected)) << "step " << step;
            history.push_back(mono);
        }
        for (auto it = history.rbegin() + 1; it != history.rend(); ++it) {
            stack.undo();
            ASSERT_TRUE(sameBits(mono, *it));
        }
        for (auto it = history.begin() + 1; it != history.end(); ++it) {
            stack.redo();
            ASSERT_TRUE(sameBits(mono, *it));
        }
    }
}

} // namespace
