// SPDX-License-Identifier: GPL-3.0-or-later
// Planar float audio block: one array per channel, as plug-ins process it.
#include "AudioBuffer.h"

void AudioBuffer::allocate(int channelCount, int frameCount)
{
    deallocate();
    if (channelCount <= 0 || frameCount <= 0)
        return;
    ownedArrays.assign(std::size_t(channelCount), std::vector<float>(std::size_t(frameCount), 0.0f));
    ownedPointers.reserve(ownedArrays.size());
    for (std::vector<float> &array : ownedArrays)
        ownedPointers.push_back(array.data());
    channels = ownedPointers.data();
    numChannels = channelCount;
    numFrames = frameCount;
}

void AudioBuffer::deallocate()
{
    ownedArrays = {};
    ownedPointers = {};
    channels = nullptr;
    numChannels = 0;
    numFrames = 0;
}
