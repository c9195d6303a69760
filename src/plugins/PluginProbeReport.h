// SPDX-License-Identifier: GPL-3.0-or-later
// The lines the probe helper writes on its report channel and the host reads back: one
// "plugin" line with the audio class it set up, a "failed" line naming why it stopped, or a
// closing "ok" once the plug-in loaded, processed and unloaded cleanly.
#pragma once

#include "PluginInfo.h"
#include "PluginLoadFailure.h"

#include <string>

struct PluginProbeReport
{
    PluginInfo plugin;  // `name` empty until the plug-in loaded
    PluginLoadFailure failure = PluginLoadFailure::None;
    bool complete = false;  // the closing "ok" arrived

    // The failure as the report spells it ("not-a-library", ...).
    static const char *failureName(PluginLoadFailure failure);
    static std::string pluginLine(const PluginInfo &info);
    static std::string failureLine(PluginLoadFailure failure);
    static std::string completeLine();
    // Reads what the helper wrote; lines it does not know are skipped.
    static PluginProbeReport parse(const std::string &text);
};
