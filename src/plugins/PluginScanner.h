// SPDX-License-Identifier: GPL-3.0-or-later
// Finds VST3 plug-ins on disk and describes each without loading it.
#pragma once

#include "PluginInfo.h"

#include <string>
#include <vector>

// Stateless. A folder named *.vst3 is a plug-in bundle and is not searched further.
// Progress goes to standard output, errors to standard error.
class PluginScanner
{
public:
    // `directory`, or every default folder when it is empty, in the order found.
    std::vector<PluginInfo> scan(const std::string &directory);
    void scanDirectory(const std::string &directory, std::vector<PluginInfo> &out);
    // $HOME/.vst3, /usr/lib/vst3 and /usr/local/lib/vst3, sorted, without repeats.
    std::vector<std::string> getDefaultSearchPaths();
    // The extension is "vst3" in any letter case.
    bool isValidPlugin(const std::string &path);
    PluginInfo parseVST3Plugin(const std::string &path);
};
