// SPDX-License-Identifier: GPL-3.0-or-later
// C-callable layer over AudioPluginBridge: an opaque handle, UTF-8 strings, fixed records
// and channel-major sample blocks. Not exported; an internal interface.
#pragma once

#include <cstdint>

extern "C" {

struct bridge_audio_block
{
    float *data;
    std::int32_t numChannels;
    std::int32_t numFrames;
};

struct bridge_plugin_info
{
    char uid[256];
    char name[256];
    char vendor[256];
    char path[512];
    char format[32];
    std::int32_t numParameters;
    std::int32_t reserved;
    std::int32_t numInputChannels;
    std::int32_t numOutputChannels;
    std::int32_t isInstrument;
};

// Functions taking a handle answer an unknown one with their failure value (0, -1, nothing).
void *create_bridge();
void destroy_bridge(void *handle);
int bridge_initialize(void *handle, int sampleRate, int blockSize);
void bridge_shutdown(void *handle);
int bridge_load_plugin(void *handle, const char *path);
int bridge_unload_plugin(void *handle, int id);
int bridge_activate_plugin(void *handle, int id);
int bridge_deactivate_plugin(void *handle, int id);
void bridge_process(void *handle, const bridge_audio_block *in, bridge_audio_block *out);
void bridge_process_track(void *handle, const char *trackKey, float *inData, float *outData, int numChannels,
                          int numFrames);
int bridge_set_parameter(void *handle, int id, int index, float value);
float bridge_get_parameter(void *handle, int id, int index);
int bridge_save_preset(void *handle, int id, const char *path);
int bridge_load_preset(void *handle, int id, const char *path);
int bridge_get_program_count();
int bridge_set_program();
int bridge_get_current_program();
// Opens the editor view of the first loaded plug-in with this exact path.
int bridge_show_editor(void *handle, const char *path);
int bridge_hide_editor(void *handle, int id);
int bridge_is_editor_open_by_id(void *handle, int id);
int bridge_is_editor_open();
void bridge_hide_editor_window();
void bridge_send_note_on();
void bridge_send_note_off();
int bridge_schedule_midi_sequence();
void bridge_stop_midi_sequence();
int bridge_render_offline();
int bridge_set_track_plugin_bypass(void *handle, const char *trackKey, int slot, int bypassed);
int bridge_add_plugin_to_track(void *handle, const char *trackKey, const char *path);
int bridge_remove_plugin_from_track(void *handle, const char *trackKey, int slot);
void bridge_clear_track_plugins(void *handle, const char *trackKey);
int bridge_get_plugin_count(void *handle);
int bridge_get_plugin_info(void *handle, int index, bridge_plugin_info *out);
int bridge_scan_plugins(void *handle, const char *directory);
int bridge_get_scanned_plugin_count(void *handle);
int bridge_get_scanned_plugin_info(void *handle, int index, bridge_plugin_info *out);

} // extern "C"
