// SPDX-License-Identifier: GPL-3.0-or-later
// Description of one plug-in, loaded or found on disk.
#pragma once

#include <cstdint>
#include <string>

struct PluginInfo
{
    std::string uid;
    std::string name;
    std::string vendor;
    std::string path;  // empty: no such plug-in
    std::string format;
    std::int32_t numParameters = 0;
    std::int32_t reserved = 0;
    std::int32_t numInputChannels = 0;
    std::int32_t numOutputChannels = 0;
    bool isInstrument = false;
};
