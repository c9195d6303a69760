// SPDX-License-Identifier: GPL-3.0-or-later
// Meter level of one block: int(RMS x 100), clamped, finite values only.
#include "ui/MeterLevel.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

TEST(MeterLevel, BlocksGiveTheirTruncatedRms)
{
    struct Row
    {
        const char *name;
        std::vector<float> block;
        int offset;
        int stride;
        int expected;
    };
    const Row rows[] = {
        {"constant half", std::vector<float>(512, 0.5f), 0, 1, 50},
        {"clipping", std::vector<float>(512, 2.0f), 0, 1, 100},
        {"silence", std::vector<float>(512, 0.0f), 0, 1, 0},
        {"full-scale square", {1.0f, -1.0f, 1.0f, -1.0f}, 0, 1, 100},
        // sqrt(0.0001) x 100 = 1; a level is truncated, never rounded up.
        {"just under one", std::vector<float>(64, 0.0099f), 0, 1, 0},
        {"NaN skipped", {nan, 0.5f, nan, 0.5f}, 0, 1, 50},
        {"only non-finite", {nan, inf, -inf}, 0, 1, 0},
        {"empty", {}, 0, 1, 0},
        {"left of alternating", {1.0f, 0.0f, 1.0f, 0.0f}, 0, 2, 100},
        {"right of alternating", {1.0f, 0.0f, 1.0f, 0.0f}, 1, 2, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(meterLevel(row.block, row.offset, row.stride), row.expected);
        if (row.stride == 1) {
            EXPECT_EQ(meterLevel(row.block), row.expected);
        }
    }
}
} // namespace
