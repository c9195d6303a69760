// SPDX-License-Identifier: GPL-3.0-or-later
// The planar buffer: what allocate owns, and that a view never frees the user's memory
// (the sanitizer build reports any free of memory the buffer does not own).
#include "plugins/AudioBuffer.h"

#include <gtest/gtest.h>

#include <array>

TEST(AudioBufferTest, AllocateGivesZeroedArraysPerChannel)
{
    AudioBuffer buffer;
    buffer.allocate(2, 300);
    ASSERT_NE(buffer.channels, nullptr);
    EXPECT_EQ(buffer.numChannels, 2);
    EXPECT_EQ(buffer.numFrames, 300);
    for (int c = 0; c < 2; ++c)
        for (int f = 0; f < 300; ++f)
            ASSERT_EQ(buffer.channels[c][f], 0.0f);
    buffer.channels[1][299] = 0.5f;  // the whole array is writable

    // A second allocate replaces the arrays; they start silent again.
    buffer.allocate(1, 10);
    EXPECT_EQ(buffer.numChannels, 1);
    EXPECT_EQ(buffer.numFrames, 10);
    EXPECT_EQ(buffer.channels[0][9], 0.0f);
}

TEST(AudioBufferTest, NonPositiveCountsAndDeallocateLeaveItEmpty)
{
    const struct
    {
        int channels;
        int frames;
    } cases[] = {{0, 512}, {2, 0}, {-1, 512}, {2, -5}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " x " << c.frames);
        AudioBuffer buffer;
        buffer.allocate(2, 64);
        buffer.allocate(c.channels, c.frames);
        EXPECT_EQ(buffer.channels, nullptr);
        EXPECT_EQ(buffer.numChannels, 0);
        EXPECT_EQ(buffer.numFrames, 0);
    }
    AudioBuffer buffer;
    buffer.allocate(2, 64);
    buffer.deallocate();
    EXPECT_EQ(buffer.channels, nullptr);
    EXPECT_EQ(buffer.numChannels, 0);
    EXPECT_EQ(buffer.numFrames, 0);
}

TEST(AudioBufferTest, ViewNeverFreesTheUsersMemory)
{
    std::array<float, 4> left{0.1f, 0.2f, 0.3f, 0.4f};
    std::array<float, 4> right{-0.1f, -0.2f, -0.3f, -0.4f};
    std::array<float *, 2> pointers{left.data(), right.data()};
    {
        AudioBuffer view;
        view.channels = pointers.data();
        view.numChannels = 2;
        view.numFrames = 4;
        view.deallocate();
        EXPECT_EQ(view.channels, nullptr);

        view.channels = pointers.data();
        view.allocate(1, 8);  // frees only what the buffer owns, which is nothing yet
        EXPECT_NE(view.channels, pointers.data());
        view.channels = pointers.data();  // the destructor still frees only its own arrays
    }
    EXPECT_EQ(pointers[0], left.data());
    EXPECT_EQ(left[3], 0.4f);
    EXPECT_EQ(right[0], -0.1f);
}
