// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor's plug-in manager: hands out plug-in ids in load order, keeps the
// loaded plug-ins' processing chain and per-track chains, and runs them over planar buffers.
#pragma once

#include "PluginInfo.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct AudioBuffer;
class PluginScanner;
class VST3PluginInstance;

// Input of renderOffline: a note at a frame offset from the start of the render.
struct OfflineMidiEvent
{
    std::int32_t frame = 0;
    std::int32_t kind = 0;  // 1 note off, anything else note on
    std::int32_t channel = 0;
    std::int32_t note = 0;
    float velocity = 0.0f;  // 0..1
};

struct ParameterValue
{
    int pluginId = -1;
    int index = 0;
    float value = 0.0f;
};

// Thread-safe: one mutex guards the chains and the id map and is held across every call into
// a plug-in (not recursive: nothing called under it may call the bridge). Loading a module
// runs outside it. Progress goes to standard output.
class AudioPluginBridge
{
public:
    struct TrackPluginSlot
    {
        std::int32_t pluginId = -1;
        bool bypassed = false;
    };

    AudioPluginBridge();
    ~AudioPluginBridge();
    AudioPluginBridge(const AudioPluginBridge &) = delete;
    AudioPluginBridge &operator=(const AudioPluginBridge &) = delete;

    // Stores the rate and block size plug-ins loaded from now on run at; an initialised
    // bridge keeps its values until shutdown. Always true.
    bool initialize(int sampleRate, int blockSize);
    // Empties the chains; loaded plug-ins stay listed. Nothing when not initialised.
    void shutdown();
    bool isInitialized() const { return initialized.load(std::memory_order_acquire); }
    int sampleRate() const;
    int blockSize() const;

    // `path` in UTF-8: a bundle folder or its .so. The id of the new, inactive plug-in, or
    // -1 when not initialised or the module cannot be loaded.
    int loadPlugin(const std::string &path);
    bool unloadPlugin(int id);
    bool activatePlugin(int id);
    bool deactivatePlugin(int id);

    PluginInfo getPluginInfo(int id) const;
    std::string pluginName(int id) const;
    std::shared_ptr<VST3PluginInstance> getPluginInstance(int id) const;
    std::vector<int> loadedPluginIds() const;
    std::vector<PluginInfo> getAvailablePlugins() const;

    std::vector<std::string> getParameterNames(int id) const;
    bool setParameter(int id, int index, float value);
    float getParameter(int id, int index) const;
    bool sendMidiEvent(int id, const unsigned char *data, int length);

    void setProcessCallback(std::function<void(const AudioBuffer &, AudioBuffer &)> callback);
    void setParameterCallback(std::function<void(const ParameterValue &)> callback);
    void setMidiCallback(std::function<void(const unsigned char *, int)> callback);

    bool savePreset(int id, const std::string &path);
    // Restores a state file, once the probe helper has restored and played it without harm
    // in a child process; blocks for that while (see PluginProbe), so not on the GUI thread.
    bool loadPreset(int id, const std::string &path);
    int getProgramCount(int id) const;
    bool setProgram(int id, int program);
    int getCurrentProgram(int id) const;

    bool showPluginEditor(int id, void *parentWindow);
    bool hidePluginEditor(int id);
    bool isPluginEditorOpen(int id) const;

    // Runs the active plug-ins of the chain in load order from `in` into `out` over the
    // smaller channel and frame counts. With an empty chain, or before initialize, `out` is
    // left as it is. `in` and `out` may view the same memory.
    void process(const AudioBuffer &in, AudioBuffer &out);
    // Runs one track's chain; earlier slots work in place on `in`'s arrays.
    void processTrack(const std::string &trackKey, const AudioBuffer &in, AudioBuffer &out);
    int addPluginToTrack(const std::string &trackKey, const std::string &path);
    bool removePluginFromTrack(const std::string &trackKey, int slot);
    void clearTrackPlugins(const std::string &trackKey);
    bool setTrackPluginBypass(const std::string &trackKey, int slot, bool bypassed);

    // Renders `numFrames` frames of plug-in `id` as interleaved stereo into `output`
    // (2 × numFrames floats), sending each event at the start of the block holding it.
    bool renderOffline(int id, const OfflineMidiEvent *events, int numEvents, int numFrames, int unused, float *output);

    std::vector<PluginInfo> scanPlugins(const std::string &directory);
    std::vector<PluginInfo> scannedPluginList() const { return scannedPlugins; }

private:
    std::shared_ptr<VST3PluginInstance> find(int id) const;
    void dropInstance(int id);

    std::unique_ptr<PluginScanner> scanner;
    std::vector<std::shared_ptr<VST3PluginInstance>> chain;
    std::map<int, std::shared_ptr<VST3PluginInstance>> plugins;
    std::vector<PluginInfo> scannedPlugins;
    mutable std::mutex mutex;
    std::atomic<bool> initialized{false};
    std::int32_t rate = 44100;
    std::int32_t block = 512;
    std::function<void(const AudioBuffer &, AudioBuffer &)> processCallback;
    std::function<void(const ParameterValue &)> parameterCallback;
    std::function<void(const unsigned char *, int)> midiCallback;
    std::atomic<std::int32_t> nextPluginId{0};
    std::map<std::string, std::vector<TrackPluginSlot>> trackPlugins;
};
