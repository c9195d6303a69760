// SPDX-License-Identifier: GPL-3.0-or-later
// The bridge's C interface: handles, blocks, records and the editor shortcut.
#include "Vst3TestSupport.h"
#include "plugins/PluginBridgeC.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(PluginBridgeCTest, UnknownHandleGivesTheFailureValues)
{
    int unknown = 0;
    void *handle = &unknown;
    bridge_plugin_info info;
    std::memset(&info, 0x5A, sizeof info);
    float data[4] = {1, 2, 3, 4};
    bridge_audio_block block{data, 1, 4};
    EXPECT_EQ(bridge_initialize(handle, 44100, 512), 0);
    EXPECT_EQ(bridge_load_plugin(handle, zamPath("ZamEQ2").c_str()), -1);
    EXPECT_EQ(bridge_activate_plugin(handle, 0), 0);
    EXPECT_EQ(bridge_get_parameter(handle, 0, 0), 0.0f);
    EXPECT_EQ(bridge_add_plugin_to_track(handle, "t", "p"), -1);
    EXPECT_EQ(bridge_get_plugin_count(handle), 0);
    EXPECT_EQ(bridge_get_plugin_info(handle, 0, &info), 0);
    EXPECT_EQ(bridge_scan_plugins(handle, "/usr/lib/vst3"), 0);
    EXPECT_EQ(bridge_show_editor(handle, zamPath("ZamEQ2").c_str()), 0);
    bridge_process(handle, &block, &block);
    destroy_bridge(handle);
    EXPECT_EQ(info.numParameters, 0x5A5A5A5A);
    EXPECT_EQ(data[3], 4.0f);
    EXPECT_EQ(bridge_schedule_midi_sequence(), -1);
    EXPECT_EQ(bridge_render_offline(), 0);
}

TEST(PluginBridgeCTest, ProcessesThroughAnActivePlugin)
{
    void *handle = create_bridge();
    void *other = create_bridge();
    EXPECT_NE(handle, other);
    destroy_bridge(other);
    ASSERT_EQ(bridge_initialize(handle, 44100, 512), 1);

    std::vector<float> in = sine(1000.0, 0.5f, 4096);
    std::vector<float> out(4096, 9.0f);
    bridge_audio_block inBlock{in.data(), 1, 4096};
    bridge_audio_block outBlock{out.data(), 1, 4096};
    bridge_process(handle, &inBlock, &outBlock);
    EXPECT_EQ(out, std::vector<float>(4096, 0.0f));  // empty chain: silence

    const int id = bridge_load_plugin(handle, zamPath("ZamEQ2").c_str());
    ASSERT_EQ(id, 0);
    ASSERT_EQ(bridge_activate_plugin(handle, id), 1);
    bridge_process(handle, &inBlock, &outBlock);
    EXPECT_NEAR(rmsDb(out, 1024), rmsDb(in, 1024), 0.05);

    bridge_plugin_info info;
    ASSERT_EQ(bridge_get_plugin_info(handle, 0, &info), 1);
    EXPECT_STREQ(info.name, "ZamEQ2");
    EXPECT_EQ(info.numParameters, 15);
    EXPECT_EQ(bridge_get_plugin_info(handle, 1, &info), 0);

    // The editor reuses the loaded instance instead of loading another.
    EXPECT_EQ(bridge_show_editor(handle, zamPath("ZamEQ2").c_str()), 1);
    EXPECT_EQ(bridge_get_plugin_count(handle), 1);
    EXPECT_EQ(bridge_is_editor_open_by_id(handle, id), 1);
    EXPECT_EQ(bridge_show_editor(handle, zamPath("ZamComp").c_str()), 0);

    EXPECT_EQ(bridge_scan_plugins(handle, "/usr/lib/vst3"), 17);
    EXPECT_EQ(bridge_get_scanned_plugin_count(handle), 17);
    bridge_shutdown(handle);
    EXPECT_EQ(bridge_get_plugin_count(handle), 0);
    destroy_bridge(handle);
}
