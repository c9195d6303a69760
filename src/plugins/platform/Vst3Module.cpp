// SPDX-License-Identifier: GPL-3.0-or-later
// A loaded VST3 module (.so inside a bundle, or the .so itself) and its plug-in factory.
#include "Vst3Module.h"

#include <pluginterfaces/base/ipluginbase.h>

#include <dlfcn.h>

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using namespace Steinberg;

namespace {

using ModuleEntryFunc = bool (*)(void *);
using ModuleExitFunc = bool (*)();
using GetFactoryFunc = IPluginFactory *(*)();

std::string dlText(const char *fallback)
{
    const char *text = dlerror();
    return text ? text : fallback;
}

std::string fixedText(const char *text, std::size_t size)
{
    return std::string(text, strnlen(text, size));
}

std::vector<std::string> splitSubCategories(const std::string &text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        const std::size_t bar = text.find('|', start);
        parts.push_back(text.substr(start, bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    return parts;
}

} // namespace

// Bundles keep their library at Contents/x86_64-linux/<stem>.so.
std::string Vst3Module::libraryPath(const std::string &path)
{
    const fs::path given(path);
    std::error_code ec;
    if (!fs::is_directory(given, ec))
        return path;
    const fs::path bundle = given.has_filename() ? given : given.parent_path();
    return (bundle / "Contents" / "x86_64-linux" / (bundle.stem().string() + ".so")).string();
}

std::unique_ptr<Vst3Module> Vst3Module::create(const std::string &path, std::string &error, PluginLoadFailure *failure)
{
    auto fail = [&](PluginLoadFailure why, std::string text) -> std::unique_ptr<Vst3Module> {
        error = std::move(text);
        if (failure)
            *failure = why;
        return nullptr;
    };
    std::unique_ptr<Vst3Module> module(new Vst3Module);
    const fs::path given = fs::path(path);
    module->moduleName = (given.has_filename() ? given : given.parent_path()).stem().string();

    const std::string library = libraryPath(path);
    dlerror();
    module->handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module->handle)
        return fail(PluginLoadFailure::NotALibrary, dlText("cannot open library"));
    // Linux modules must be entered before their factory is asked for.
    auto entry = reinterpret_cast<ModuleEntryFunc>(dlsym(module->handle, "ModuleEntry"));
    if (!entry)
        return fail(PluginLoadFailure::MissingEntryPoint, dlText("ModuleEntry not found"));
    if (!entry(module->handle))
        return fail(PluginLoadFailure::EntryFailed, "ModuleEntry failed");
    module->entered = true;
    auto getFactory = reinterpret_cast<GetFactoryFunc>(dlsym(module->handle, "GetPluginFactory"));
    if (!getFactory)
        return fail(PluginLoadFailure::MissingEntryPoint, dlText("GetPluginFactory not found"));
    module->pluginFactory = getFactory();
    if (!module->pluginFactory)
        return fail(PluginLoadFailure::NoFactory, "GetPluginFactory returned no factory");
    if (failure)
        *failure = PluginLoadFailure::None;
    return module;
}

Vst3Module::~Vst3Module()
{
    if (pluginFactory)
        pluginFactory->release();
    if (entered) {
        if (auto exitFunc = reinterpret_cast<ModuleExitFunc>(dlsym(handle, "ModuleExit")))
            exitFunc();
    }
    if (handle)
        dlclose(handle);
}

std::vector<Vst3Module::ClassInfo> Vst3Module::classInfos() const
{
    std::vector<ClassInfo> infos;
    if (!pluginFactory)
        return infos;
    PFactoryInfo factoryInfo;
    std::string factoryVendor;
    if (pluginFactory->getFactoryInfo(&factoryInfo) == kResultOk)
        factoryVendor = fixedText(factoryInfo.vendor, sizeof factoryInfo.vendor);
    IPluginFactory2 *factory2 = nullptr;
    pluginFactory->queryInterface(IPluginFactory2::iid, reinterpret_cast<void **>(&factory2));

    const int32 count = pluginFactory->countClasses();
    for (int32 i = 0; i < count; ++i) {
        ClassInfo info;
        PClassInfo2 info2;
        PClassInfo basic;
        if (factory2 && factory2->getClassInfo2(i, &info2) == kResultOk) {
            std::memcpy(info.cid.data(), info2.cid, 16);
            info.name = fixedText(info2.name, sizeof info2.name);
            info.category = fixedText(info2.category, sizeof info2.category);
            info.vendor = fixedText(info2.vendor, sizeof info2.vendor);
            info.subCategories = splitSubCategories(fixedText(info2.subCategories, sizeof info2.subCategories));
        } else if (pluginFactory->getClassInfo(i, &basic) == kResultOk) {
            std::memcpy(info.cid.data(), basic.cid, 16);
            info.name = fixedText(basic.name, sizeof basic.name);
            info.category = fixedText(basic.category, sizeof basic.category);
        } else {
            continue;
        }
        if (info.vendor.empty())
            info.vendor = factoryVendor;
        infos.push_back(std::move(info));
    }
    if (factory2)
        factory2->release();
    return infos;
}
