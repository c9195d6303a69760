// SPDX-License-Identifier: GPL-3.0-or-later
// Which blocks a stream delivers, drops the input of, or stops at, for sequences of blocks
// that the device layer reported as failed or not.
#include "engine/platform/StreamFaultWatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Block = StreamFaultWatch::Block;

struct Case
{
    const char *name;
    // One character per block: '.' went well, 'x' the layer reported an error after it.
    std::string blocks;
    // What nextBlock() said at the start of each block, as 'd' deliver, 'i' drop input, 's' stop.
    std::string expected;
};

char letter(Block block)
{
    switch (block) {
    case Block::Deliver:
        return 'd';
    case Block::DropInput:
        return 'i';
    case Block::Stop:
        return 's';
    }
    return '?';
}

TEST(StreamFaultWatch, TellsPassingHiccupsFromALostStream)
{
    const Case cases[] = {
        {"no error", "......", "dddddd"},
        {"one overrun: only the next block's input is dropped", "..x...", "dddidd"},
        {"hiccups apart never add up", "x.x.x.x.x.", "dididididi"},
        {"three failed blocks in a row are still a hiccup", "xxx...", "diiidd"},
        {"a server gone fails every block", "..xxxxxx", "dddiiiss"},
        {"lost stays lost, even when the errors stop", "xxxx....", "diiissss"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        StreamFaultWatch watch;
        watch.reset();
        std::string seen;
        for (char block : c.blocks) {
            seen += letter(watch.nextBlock());
            if (block == 'x')
                watch.noteError("write error, Connection terminated.");
        }
        EXPECT_EQ(seen, c.expected);
        EXPECT_EQ(watch.lost(), c.expected.find('s') != std::string::npos);
    }
}

TEST(StreamFaultWatch, KeepsTheErrorThatLostTheStreamAndForgetsItOnReset)
{
    StreamFaultWatch watch;
    watch.reset();
    EXPECT_EQ(watch.reason(), "") << "no reason before a loss";
    const std::string longText(1000, 'e');
    for (int block = 0; block < StreamFaultWatch::failedBlocksForLoss; ++block) {
        watch.nextBlock();
        watch.noteError(block == 0 ? longText : "audio write error, Connection terminated.");
    }
    ASSERT_EQ(watch.nextBlock(), Block::Stop);
    // What the layer says while it winds the stream down does not replace the cause.
    watch.noteError("abortStream: error flushing output device");
    EXPECT_EQ(watch.reason(), "audio write error, Connection terminated.");

    watch.reset();
    EXPECT_FALSE(watch.lost());
    EXPECT_EQ(watch.reason(), "");
    EXPECT_EQ(watch.nextBlock(), Block::Deliver);

    // A text longer than the kept buffer is cut, not overrun.
    for (int block = 0; block < StreamFaultWatch::failedBlocksForLoss; ++block) {
        watch.nextBlock();
        watch.noteError(longText);
    }
    ASSERT_EQ(watch.nextBlock(), Block::Stop);
    EXPECT_FALSE(watch.reason().empty());
    EXPECT_LT(watch.reason().size(), longText.size());
    EXPECT_EQ(watch.reason(), std::string(watch.reason().size(), 'e'));
}

} // namespace
