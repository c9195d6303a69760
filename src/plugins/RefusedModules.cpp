// SPDX-License-Identifier: GPL-3.0-or-later
// Failed modules keyed by their library file, with the file's stamp at the time.
#include "RefusedModules.h"

#include "platform/Vst3Module.h"

#include <sys/stat.h>

#include <filesystem>

std::string RefusedModules::keyOf(const std::string &path)
{
    // A symbolic-link loop has no canonical form; its own name stands for it.
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(Vst3Module::libraryPath(path), ec);
    return ec ? Vst3Module::libraryPath(path) : canonical.string();
}

RefusedModules::FileStamp RefusedModules::stampOf(const std::string &library)
{
    struct stat status{};
    if (stat(library.c_str(), &status) != 0)
        return {};
    return {true, std::uint64_t(status.st_dev), std::uint64_t(status.st_ino), std::int64_t(status.st_size),
            std::int64_t(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

std::optional<PluginProbeResult> RefusedModules::find(const std::string &path) const
{
    const std::string key = keyOf(path);
    const auto found = refused.find(key);
    if (found == refused.end() || found->second.stamp != stampOf(key))
        return std::nullopt;
    return found->second.result;
}

void RefusedModules::remember(const std::string &path, const PluginProbeResult &result)
{
    if (!result.blamesModule())
        return;
    const std::string key = keyOf(path);
    refused[key] = {stampOf(key), result};
}
