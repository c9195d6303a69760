// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor's plug-in manager: hands out plug-in ids in load order, keeps the
// loaded plug-ins' processing chain and runs it over planar buffers.
#include "AudioPluginBridge.h"

#include "AudioBuffer.h"

#include <iostream>

AudioPluginBridge::~AudioPluginBridge()
{
    shutdown();
}

bool AudioPluginBridge::initialize(int sampleRate, int blockSize)
{
    const std::lock_guard lock(mutex);
    if (initialized.load(std::memory_order_relaxed))
        return true;
    rate = sampleRate;
    block = blockSize;
    initialized.store(true, std::memory_order_release);
    std::cout << "AudioPluginBridge: Initialized SR=" << rate << " BS=" << block << std::endl;
    return true;
}

void AudioPluginBridge::shutdown()
{
    const std::lock_guard lock(mutex);
    if (!initialized.load(std::memory_order_relaxed))
        return;
    initialized.store(false, std::memory_order_release);
    std::cout << "AudioPluginBridge: Shutdown" << std::endl;
}

int AudioPluginBridge::sampleRate() const
{
    const std::lock_guard lock(mutex);
    return rate;
}

int AudioPluginBridge::blockSize() const
{
    const std::lock_guard lock(mutex);
    return block;
}

int AudioPluginBridge::loadPlugin(const std::string &path)
{
    if (!isInitialized())
        return -1;
    // Module loading is not part of this build: report the failure, use up no id.
    std::cerr << "AudioPluginBridge: Cannot load plugin (no module loader): " << path << std::endl;
    return -1;
}

bool AudioPluginBridge::activatePlugin([[maybe_unused]] int id)
{
    // No id has been handed out, so every id is unknown.
    return false;
}

void AudioPluginBridge::process([[maybe_unused]] const AudioBuffer &in, [[maybe_unused]] AudioBuffer &out)
{
    // The chain holds only loaded plug-ins and none can be loaded, so it is always empty
    // and `out` stays as it is.
}
