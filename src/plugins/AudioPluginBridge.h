// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor's plug-in manager: hands out plug-in ids in load order, keeps the
// loaded plug-ins' processing chain and runs it over planar buffers.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

struct AudioBuffer;

// Thread-safe: process may run on an audio thread while the GUI thread loads or activates;
// both take the one mutex. Progress goes to standard output, failures to standard error.
//
// This build loads no plug-in modules: loadPlugin always fails, so no id is ever handed out
// and the chain stays empty.
class AudioPluginBridge
{
public:
    AudioPluginBridge() = default;
    ~AudioPluginBridge();
    AudioPluginBridge(const AudioPluginBridge &) = delete;
    AudioPluginBridge &operator=(const AudioPluginBridge &) = delete;

    // Stores the rate and block size the plug-ins will run at; an initialised bridge keeps
    // its values until shutdown. Always true.
    bool initialize(int sampleRate, int blockSize);
    // Ends processing; loading needs a new initialize. Does nothing when not initialised.
    void shutdown();
    bool isInitialized() const { return initialized.load(std::memory_order_acquire); }
    int sampleRate() const;
    int blockSize() const;

    // `path` in UTF-8. The id of the new, inactive plug-in, or -1 when the bridge is not
    // initialised or the module cannot be loaded.
    int loadPlugin(const std::string &path);
    // True when plug-in `id` is active afterwards; false for an id never handed out.
    bool activatePlugin(int id);

    // Runs the active plug-ins of the chain in load order from `in` into `out`. With an
    // empty chain, or before initialize, `out` is left as it is. `in` and `out` may view
    // the same memory.
    void process(const AudioBuffer &in, AudioBuffer &out);

private:
    mutable std::mutex mutex;
    std::atomic<bool> initialized{false};
    std::int32_t rate = 44100;
    std::int32_t block = 512;
};
