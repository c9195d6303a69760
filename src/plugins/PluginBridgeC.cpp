// SPDX-License-Identifier: GPL-3.0-or-later
// C-callable layer over AudioPluginBridge.
#include "PluginBridgeC.h"

#include "AudioBuffer.h"
#include "AudioPluginBridge.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

static_assert(sizeof(bridge_audio_block) == 16 && offsetof(bridge_audio_block, numChannels) == 8
              && offsetof(bridge_audio_block, numFrames) == 12);
static_assert(sizeof(bridge_plugin_info) == 1332 && offsetof(bridge_plugin_info, path) == 768
              && offsetof(bridge_plugin_info, format) == 1280 && offsetof(bridge_plugin_info, numParameters) == 1312
              && offsetof(bridge_plugin_info, isInstrument) == 1328);

namespace {

std::map<void *, std::unique_ptr<AudioPluginBridge>> g_bridges;
std::mutex g_bridgeMutex;

// Every lookup takes the registry mutex, so a call cannot meet a half-erased entry.
AudioPluginBridge *lookup(void *handle)
{
    const std::lock_guard lock(g_bridgeMutex);
    const auto found = g_bridges.find(handle);
    return found == g_bridges.end() ? nullptr : found->second.get();
}

template<std::size_t size>
void copyText(char (&to)[size], const std::string &from)
{
    std::memcpy(to, from.data(), std::min(from.size(), size - 1));
}

int fillInfo(const std::vector<PluginInfo> &infos, int index, bridge_plugin_info *out)
{
    if (!out || index < 0 || index >= int(infos.size()))
        return 0;
    const PluginInfo &info = infos[std::size_t(index)];
    std::memset(out, 0, sizeof *out);
    copyText(out->uid, info.uid);
    copyText(out->name, info.name);
    copyText(out->vendor, info.vendor);
    copyText(out->path, info.path);
    copyText(out->format, info.format);
    out->numParameters = info.numParameters;
    out->reserved = info.reserved;
    out->numInputChannels = info.numInputChannels;
    out->numOutputChannels = info.numOutputChannels;
    out->isInstrument = info.isInstrument ? 1 : 0;
    return 1;
}

// A view over a channel-major block; `pointers` keeps its channel array.
void viewOf(float *data, int numChannels, int numFrames, std::vector<float *> &pointers, AudioBuffer &view)
{
    for (int c = 0; c < numChannels; ++c)
        pointers.push_back(data + std::ptrdiff_t(c) * numFrames);
    view.channels = pointers.data();
    view.numChannels = numChannels;
    view.numFrames = numFrames;
}

void copyOut(const AudioBuffer &from, float *to, int toChannels, int toFrames)
{
    for (int c = 0; c < std::min(from.numChannels, toChannels); ++c)
        std::copy_n(from.channels[c], std::min(from.numFrames, toFrames), to + std::ptrdiff_t(c) * toFrames);
}

bool validBlock(int numChannels, int numFrames)
{
    return numChannels >= 0 && (numChannels == 0 || numFrames >= 1);
}

} // namespace

extern "C" {

void *create_bridge()
{
    const std::lock_guard lock(g_bridgeMutex);
    auto bridge = std::make_unique<AudioPluginBridge>();
    void *handle = bridge.get();
    g_bridges.emplace(handle, std::move(bridge));
    return handle;
}

void destroy_bridge(void *handle)
{
    std::unique_ptr<AudioPluginBridge> doomed;
    {
        const std::lock_guard lock(g_bridgeMutex);
        const auto found = g_bridges.find(handle);
        if (found == g_bridges.end())
            return;
        doomed = std::move(found->second);
        g_bridges.erase(found);
    }
}

int bridge_initialize(void *handle, int sampleRate, int blockSize)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && bridge->initialize(sampleRate, blockSize) ? 1 : 0;
}

void bridge_shutdown(void *handle)
{
    if (AudioPluginBridge *bridge = lookup(handle))
        bridge->shutdown();
}

int bridge_load_plugin(void *handle, const char *path)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && path ? bridge->loadPlugin(path) : -1;
}

int bridge_unload_plugin(void *handle, int id)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && bridge->unloadPlugin(id) ? 1 : 0;
}

int bridge_activate_plugin(void *handle, int id)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && bridge->activatePlugin(id) ? 1 : 0;
}

int bridge_deactivate_plugin(void *handle, int id)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && bridge->deactivatePlugin(id) ? 1 : 0;
}

void bridge_process(void *handle, const bridge_audio_block *in, bridge_audio_block *out)
{
    AudioPluginBridge *bridge = lookup(handle);
    if (!bridge || !in || !out || !validBlock(in->numChannels, in->numFrames)
        || !validBlock(out->numChannels, out->numFrames))
        return;
    std::vector<float *> pointers;
    AudioBuffer view;
    viewOf(in->data, in->numChannels, in->numFrames, pointers, view);
    AudioBuffer output;
    output.allocate(out->numChannels, out->numFrames);
    bridge->process(view, output);
    copyOut(output, out->data, out->numChannels, out->numFrames);
}

void bridge_process_track(void *handle, const char *trackKey, float *inData, float *outData, int numChannels,
                          int numFrames)
{
    AudioPluginBridge *bridge = lookup(handle);
    if (!bridge || !trackKey || !inData || !outData || !validBlock(numChannels, numFrames))
        return;
    std::vector<float *> pointers;
    AudioBuffer view;
    viewOf(inData, numChannels, numFrames, pointers, view);
    AudioBuffer output;
    output.allocate(numChannels, numFrames);
    bridge->processTrack(trackKey, view, output);
    copyOut(output, outData, numChannels, numFrames);
}

int bridge_set_parameter(void *handle, int id, int index, float value)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && bridge->setParameter(id, index, value) ? 1 : 0;
}

float bridge_get_parameter(void *handle, int id, int index)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge ? bridge->getParameter(id, index) : 0.0f;
}

int bridge_save_preset(void *handle, int id, const char *path)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && path && bridge->savePreset(id, path) ? 1 : 0;
}

int bridge_load_preset(void *handle, int id, const char *path)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && path && bridge->loadPreset(id, path) ? 1 : 0;
}

int bridge_get_program_count() { return 0; }
int bridge_set_program() { return 0; }
int bridge_get_current_program() { return 0; }

int bridge_show_editor(void *handle, const char *path)
{
    AudioPluginBridge *bridge = lookup(handle);
    if (!bridge || !path)
        return 0;
    // The loaded instance is reused: loading the module again for each call would pile up
    // instances nobody unloads.
    for (int id : bridge->loadedPluginIds()) {
        if (bridge->getPluginInfo(id).path != path)
            continue;
        bridge->activatePlugin(id);
        return bridge->showPluginEditor(id, nullptr) ? 1 : 0;
    }
    return 0;
}

int bridge_hide_editor(void *handle, int id)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && bridge->hidePluginEditor(id) ? 1 : 0;
}

int bridge_is_editor_open_by_id(void *handle, int id)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && bridge->isPluginEditorOpen(id) ? 1 : 0;
}

int bridge_is_editor_open() { return 0; }
void bridge_hide_editor_window() {}
void bridge_send_note_on() {}
void bridge_send_note_off() {}
int bridge_schedule_midi_sequence() { return -1; }
void bridge_stop_midi_sequence() {}
int bridge_render_offline() { return 0; }

int bridge_set_track_plugin_bypass(void *handle, const char *trackKey, int slot, int bypassed)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && trackKey && bridge->setTrackPluginBypass(trackKey, slot, bypassed != 0) ? 1 : 0;
}

int bridge_add_plugin_to_track(void *handle, const char *trackKey, const char *path)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && trackKey && path ? bridge->addPluginToTrack(trackKey, path) : -1;
}

int bridge_remove_plugin_from_track(void *handle, const char *trackKey, int slot)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge && trackKey && bridge->removePluginFromTrack(trackKey, slot) ? 1 : 0;
}

void bridge_clear_track_plugins(void *handle, const char *trackKey)
{
    AudioPluginBridge *bridge = lookup(handle);
    if (bridge && trackKey)
        bridge->clearTrackPlugins(trackKey);
}

int bridge_get_plugin_count(void *handle)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge ? int(bridge->getAvailablePlugins().size()) : 0;
}

int bridge_get_plugin_info(void *handle, int index, bridge_plugin_info *out)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge ? fillInfo(bridge->getAvailablePlugins(), index, out) : 0;
}

int bridge_scan_plugins(void *handle, const char *directory)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge ? int(bridge->scanPlugins(directory ? directory : "").size()) : 0;
}

int bridge_get_scanned_plugin_count(void *handle)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge ? int(bridge->scannedPluginList().size()) : 0;
}

int bridge_get_scanned_plugin_info(void *handle, int index, bridge_plugin_info *out)
{
    AudioPluginBridge *bridge = lookup(handle);
    return bridge ? fillInfo(bridge->scannedPluginList(), index, out) : 0;
}

} // extern "C"
