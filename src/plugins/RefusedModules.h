// SPDX-License-Identifier: GPL-3.0-or-later
// The modules whose probe failed, remembered until their library file changes, so that a
// module that hangs is not waited for again and one that crashes is refused at once.
#pragma once

#include "PluginProbe.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// Not thread-safe; one owner thread.
class RefusedModules
{
public:
    // The failed probe remembered for the module at `path` (a bundle folder or its library,
    // either names the same module), if its library file has not changed since.
    std::optional<PluginProbeResult> find(const std::string &path) const;
    // Keeps `result` when it blames the module; anything else is not remembered.
    void remember(const std::string &path, const PluginProbeResult &result);

private:
    // Identity and version of a library file: replacing, rewriting or touching it changes it.
    struct FileStamp
    {
        bool exists = false;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modifiedNs = 0;
        bool operator==(const FileStamp &) const = default;
    };
    struct Entry
    {
        FileStamp stamp;
        PluginProbeResult result;
    };

    static std::string keyOf(const std::string &path);
    static FileStamp stampOf(const std::string &library);

    std::map<std::string, Entry> refused;
};
