// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor's plug-in manager: hands out plug-in ids in load order, keeps the
// loaded plug-ins' processing chain and per-track chains, and runs them over planar buffers.
#include "AudioPluginBridge.h"

#include "AudioBuffer.h"
#include "PluginProbe.h"
#include "PluginScanner.h"
#include "VST3PluginInstance.h"

#include <algorithm>
#include <iostream>

namespace {

void copyChannels(float *const *from, float *const *to, int channels, int frames)
{
    for (int c = 0; c < channels; ++c)
        if (from[c] != to[c])
            std::copy_n(from[c], frames, to[c]);
}

} // namespace

AudioPluginBridge::AudioPluginBridge()
    : scanner(std::make_unique<PluginScanner>())
{
}

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
    chain.clear();
    trackPlugins.clear();
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

std::shared_ptr<VST3PluginInstance> AudioPluginBridge::find(int id) const
{
    const auto found = plugins.find(id);
    return found == plugins.end() ? nullptr : found->second;
}

int AudioPluginBridge::loadPlugin(const std::string &path)
{
    if (!isInitialized())
        return -1;
    auto instance = std::make_shared<VST3PluginInstance>();
    if (!instance->load(path, sampleRate(), blockSize()))
        return -1;
    const int id = nextPluginId.fetch_add(1);
    const std::lock_guard lock(mutex);
    chain.push_back(instance);
    plugins[id] = std::move(instance);
    std::cout << "AudioPluginBridge: Loaded plugin id=" << id << std::endl;
    return id;
}

// Unloads the instance, takes it out of the chain and the id map; callers hold `mutex`.
void AudioPluginBridge::dropInstance(int id)
{
    const std::shared_ptr<VST3PluginInstance> instance = find(id);
    if (!instance)
        return;
    instance->unload();
    std::erase(chain, instance);
    plugins.erase(id);
}

bool AudioPluginBridge::unloadPlugin(int id)
{
    const std::lock_guard lock(mutex);
    if (!find(id))
        return false;
    dropInstance(id);
    for (auto &[key, slots] : trackPlugins)
        std::erase_if(slots, [id](const TrackPluginSlot &slot) { return slot.pluginId == id; });
    std::cout << "AudioPluginBridge: Unloaded plugin id=" << id << std::endl;
    return true;
}

bool AudioPluginBridge::activatePlugin(int id)
{
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    return instance && instance->activate();
}

bool AudioPluginBridge::deactivatePlugin(int id)
{
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    if (instance)
        instance->deactivate();
    return instance != nullptr;
}

PluginInfo AudioPluginBridge::getPluginInfo(int id) const
{
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    return instance ? instance->getInfo() : PluginInfo{};
}

std::string AudioPluginBridge::pluginName(int id) const
{
    return getPluginInfo(id).name;
}

std::shared_ptr<VST3PluginInstance> AudioPluginBridge::getPluginInstance(int id) const
{
    const std::lock_guard lock(mutex);
    return find(id);
}

std::vector<int> AudioPluginBridge::loadedPluginIds() const
{
    const std::lock_guard lock(mutex);
    std::vector<int> ids;
    for (const auto &entry : plugins)
        ids.push_back(entry.first);
    return ids;
}

std::vector<PluginInfo> AudioPluginBridge::getAvailablePlugins() const
{
    const std::lock_guard lock(mutex);
    std::vector<PluginInfo> infos;
    for (const auto &instance : chain)
        infos.push_back(instance->getInfo());
    return infos;
}

std::vector<std::string> AudioPluginBridge::getParameterNames(int id) const
{
    const std::lock_guard lock(mutex);
    std::vector<std::string> names;
    if (const auto instance = find(id))
        for (int i = 0; i < instance->getParameterCount(); ++i)
            names.push_back(instance->getParameterName(i));
    return names;
}

bool AudioPluginBridge::setParameter(int id, int index, float value)
{
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    if (instance)
        instance->setParameter(index, value);
    return instance != nullptr;
}

float AudioPluginBridge::getParameter(int id, int index) const
{
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    return instance ? instance->getParameter(index) : 0.0f;
}

bool AudioPluginBridge::sendMidiEvent(int id, const unsigned char *data, int length)
{
    if (!isInitialized() || !data || length <= 0)
        return false;
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    if (instance)
        instance->sendMidiEvent(data, length);
    return instance != nullptr;
}

void AudioPluginBridge::setProcessCallback(std::function<void(const AudioBuffer &, AudioBuffer &)> callback)
{
    processCallback = std::move(callback);
}

void AudioPluginBridge::setParameterCallback(std::function<void(const ParameterValue &)> callback)
{
    parameterCallback = std::move(callback);
}

void AudioPluginBridge::setMidiCallback(std::function<void(const unsigned char *, int)> callback)
{
    midiCallback = std::move(callback);
}

bool AudioPluginBridge::savePreset(int id, const std::string &path)
{
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    return instance && instance->saveState(path);
}

bool AudioPluginBridge::loadPreset(int id, const std::string &path)
{
    PluginProbeRequest request;
    {
        const std::lock_guard lock(mutex);
        const auto instance = find(id);
        if (!instance)
            return false;
        request = {instance->getInfo().path, path, rate, block};
    }
    // A state can make a plug-in crash or hang in its next process call: it is tried in the
    // probe's child process first, and the loaded plug-in gets it only if it survived there.
    const PluginProbeResult probe = runPluginProbe(request);
    if (!probe.passed()) {
        std::cerr << "AudioPluginBridge: Preset refused: " << path << " (" << probe.summary() << ")" << std::endl;
        return false;
    }
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    return instance && instance->loadState(path);
}

int AudioPluginBridge::getProgramCount(int) const { return 0; }
bool AudioPluginBridge::setProgram(int, int) { return false; }
int AudioPluginBridge::getCurrentProgram(int) const { return 0; }

bool AudioPluginBridge::showPluginEditor(int id, void *parentWindow)
{
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    return instance && instance->showEditor(parentWindow);
}

bool AudioPluginBridge::hidePluginEditor(int id)
{
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    if (instance)
        instance->hideEditor();
    return instance != nullptr;
}

bool AudioPluginBridge::isPluginEditorOpen(int id) const
{
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    return instance && instance->isEditorOpen();
}

void AudioPluginBridge::process(const AudioBuffer &in, AudioBuffer &out)
{
    if (!isInitialized())
        return;
    const std::lock_guard lock(mutex);
    if (chain.empty())
        return;
    const int channels = std::max(0, std::min(in.numChannels, out.numChannels));
    const int frames = std::max(0, std::min(in.numFrames, out.numFrames));
    bool ran = false;
    for (const auto &instance : chain) {
        if (!instance->isActive())
            continue;
        instance->process(ran ? out.channels : in.channels, out.channels, channels, frames);
        ran = true;
    }
    if (!ran)
        copyChannels(in.channels, out.channels, channels, frames);
    if (processCallback)
        processCallback(in, out);
}

void AudioPluginBridge::processTrack(const std::string &trackKey, const AudioBuffer &in, AudioBuffer &out)
{
    if (!isInitialized())
        return;
    const std::lock_guard lock(mutex);
    const int channels = std::max(0, std::min(in.numChannels, out.numChannels));
    const int frames = std::max(0, std::min(in.numFrames, out.numFrames));
    const auto track = trackPlugins.find(trackKey);
    if (track == trackPlugins.end() || track->second.empty()) {
        copyChannels(in.channels, out.channels, channels, frames);
        return;
    }
    const std::vector<TrackPluginSlot> &slots = track->second;
    bool wroteOut = false;
    for (std::size_t s = 0; s < slots.size(); ++s) {
        const auto instance = find(slots[s].pluginId);
        if (slots[s].bypassed || !instance || !instance->isActive())
            continue;
        const bool last = s + 1 == slots.size();
        instance->process(in.channels, last ? out.channels : in.channels, channels, frames);
        wroteOut = last;
    }
    if (!wroteOut)
        copyChannels(in.channels, out.channels, channels, frames);
}

int AudioPluginBridge::addPluginToTrack(const std::string &trackKey, const std::string &path)
{
    if (!isInitialized())
        return -1;
    const int id = loadPlugin(path);
    if (id < 0)
        return -1;
    const std::lock_guard lock(mutex);
    std::vector<TrackPluginSlot> &slots = trackPlugins[trackKey];
    slots.push_back({id, false});
    const int slot = int(slots.size()) - 1;
    std::cout << "AudioPluginBridge: Added plugin " << id << " to track " << trackKey << " slot=" << slot << std::endl;
    return slot;
}

bool AudioPluginBridge::removePluginFromTrack(const std::string &trackKey, int slot)
{
    const std::lock_guard lock(mutex);
    const auto track = trackPlugins.find(trackKey);
    if (track == trackPlugins.end() || slot < 0 || slot >= int(track->second.size()))
        return false;
    const int id = track->second[std::size_t(slot)].pluginId;
    track->second.erase(track->second.begin() + slot);
    dropInstance(id);
    return true;
}

void AudioPluginBridge::clearTrackPlugins(const std::string &trackKey)
{
    const std::lock_guard lock(mutex);
    const auto track = trackPlugins.find(trackKey);
    if (track == trackPlugins.end())
        return;
    for (const TrackPluginSlot &slot : track->second)
        dropInstance(slot.pluginId);
    track->second.clear();
}

bool AudioPluginBridge::setTrackPluginBypass(const std::string &trackKey, int slot, bool bypassed)
{
    const std::lock_guard lock(mutex);
    const auto track = trackPlugins.find(trackKey);
    if (track == trackPlugins.end() || slot < 0 || slot >= int(track->second.size()))
        return false;
    track->second[std::size_t(slot)].bypassed = bypassed;
    return true;
}

bool AudioPluginBridge::renderOffline(int id, const OfflineMidiEvent *events, int numEvents, int numFrames, int,
                                      float *output)
{
    if (!isInitialized() || !events || !output || numFrames < 1)
        return false;
    const std::lock_guard lock(mutex);
    const auto instance = find(id);
    if (!instance || !instance->activate())
        return false;

    constexpr int renderBlock = 512;
    std::vector<float> silence(2 * renderBlock, 0.0f);
    std::vector<float> rendered(2 * renderBlock, 0.0f);
    float *inputs[2] = {silence.data(), silence.data() + renderBlock};
    float *outputs[2] = {rendered.data(), rendered.data() + renderBlock};
    int nextEvent = 0;
    for (int start = 0; start < numFrames; start += renderBlock) {
        const int frames = std::min(renderBlock, numFrames - start);
        for (; nextEvent < numEvents; ++nextEvent) {
            const OfflineMidiEvent &event = events[nextEvent];
            if (event.frame >= start + frames)
                break;
            if (event.frame < start)
                continue;
            const int velocity = std::min(127, int(event.velocity * 127.0f));
            const unsigned char message[3] = {
                static_cast<unsigned char>((event.kind == 1 ? 0x80 : 0x90) | (event.channel & 0x0F)),
                static_cast<unsigned char>(event.note & 0x7F), static_cast<unsigned char>(std::max(0, velocity))};
            instance->sendMidiEvent(message, 3);
        }
        std::fill(rendered.begin(), rendered.end(), 0.0f);
        instance->process(inputs, outputs, 2, frames);
        for (int f = 0; f < frames; ++f) {
            output[2 * (start + f)] = outputs[0][f];
            output[2 * (start + f) + 1] = outputs[1][f];
        }
    }
    return true;
}

std::vector<PluginInfo> AudioPluginBridge::scanPlugins(const std::string &directory)
{
    if (!scanner)
        return {};
    scannedPlugins = scanner->scan(directory);
    return scannedPlugins;
}
