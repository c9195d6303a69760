// SPDX-License-Identifier: GPL-3.0-or-later
// A take spliced in batches gives the same lists as inserting it whole, on both lists.
#include "editor/RecordTake.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

QList<float> ramp(qsizetype count, float first)
{
    QList<float> values(count);
    std::iota(values.begin(), values.end(), first);
    return values;
}

TEST(RecordTake, BatchedSplicesEqualOneInsertOnBothLists)
{
    struct Row
    {
        const char *name;
        int insertAt;
        int listFrames;
        bool stereo;
        bool oddStereoValue;
        std::vector<int> blocks;  // sizes; a negative entry splices before the next block
    };
    const Row rows[] = {
        {"middle, spliced twice", 3, 8, false, false, {2, 3, -1, 4, -1, 1}},
        {"at the start", 0, 5, true, false, {3, -1, 2}},
        {"at the end", 5, 5, true, false, {4, 4}},
        {"past the end clamps", 50, 4, true, false, {2, -1, 2}},
        {"odd stereo value stays last", 2, 4, true, true, {3, -1, 1}},
        {"nothing recorded", 2, 4, true, false, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QList<float> mono = ramp(row.listFrames, 0.0f);
        QList<float> stereo;
        if (row.stereo) {
            stereo = ramp(2 * row.listFrames + (row.oddStereoValue ? 1 : 0), 1000.0f);
        }
        const QList<float> monoBefore = mono;
        const QList<float> stereoBefore = stereo;

        RecordTake take;
        take.begin(row.insertAt);
        QList<float> recorded;
        float next = -1.0f;
        for (int size : row.blocks) {
            if (size < 0) {
                take.spliceInto(mono, stereo);
                continue;
            }
            const QList<float> block = ramp(size, next - float(size) + 1.0f);
            next -= float(size);
            take.append({block.constData(), std::size_t(block.size())});
            recorded.append(block);
        }
        take.spliceInto(mono, stereo);
        take.spliceInto(mono, stereo);  // nothing new: no change

        const qsizetype at = std::min<qsizetype>(row.insertAt, row.listFrames);
        QList<float> expectedMono = monoBefore;
        expectedMono.insert(at, recorded.size(), 0.0f);
        std::copy(recorded.begin(), recorded.end(), expectedMono.begin() + at);
        EXPECT_EQ(mono, expectedMono);
        EXPECT_EQ(take.size(), recorded.size());
        EXPECT_EQ(take.endPosition(), row.insertAt + recorded.size());

        if (row.stereo) {
            QList<float> expectedStereo = stereoBefore.mid(0, 2 * at);
            for (float value : recorded)
                expectedStereo << value << value;
            expectedStereo.append(stereoBefore.mid(2 * at));
            EXPECT_EQ(stereo, expectedStereo);
        } else {
            EXPECT_TRUE(stereo.isEmpty());
        }
    }
}

} // namespace
