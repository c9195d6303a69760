// SPDX-License-Identifier: GPL-3.0-or-later
// A loaded VST3 module (.so inside a bundle, or the .so itself) and its plug-in factory.
#pragma once

#include "plugins/PluginLoadFailure.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Steinberg {
class IPluginFactory;
}

// Owns the library from dlopen to dlclose. Every object created through the factory must be
// released before the module is destroyed.
class Vst3Module
{
public:
    struct ClassInfo
    {
        std::array<std::uint8_t, 16> cid{};
        std::string name;
        std::string category;
        std::string vendor;
        std::vector<std::string> subCategories;
    };

    // `path` is a bundle folder (its Contents/x86_64-linux/<stem>.so is opened) or a .so.
    // Null with `error` (and `failure`, when given) set when the library, its entry points or
    // its factory are missing.
    static std::unique_ptr<Vst3Module> create(const std::string &path, std::string &error,
                                              PluginLoadFailure *failure = nullptr);
    // The library file create() opens for `path`.
    static std::string libraryPath(const std::string &path);
    ~Vst3Module();
    Vst3Module(const Vst3Module &) = delete;
    Vst3Module &operator=(const Vst3Module &) = delete;

    // The bundle's (or library's) file name without its extension.
    const std::string &name() const { return moduleName; }
    Steinberg::IPluginFactory *factory() const { return pluginFactory; }
    std::vector<ClassInfo> classInfos() const;

private:
    Vst3Module() = default;

    void *handle = nullptr;
    Steinberg::IPluginFactory *pluginFactory = nullptr;
    bool entered = false;
    std::string moduleName;
};
