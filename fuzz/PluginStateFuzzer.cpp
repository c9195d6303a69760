// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to a plug-in as a saved state file, hosted as the plug-in bridge
// hosts it: Debian's zam-plugins, loaded once and active, the first input byte picking which
// one. Each run starts from the plug-in's own state at load, so a finding reproduces from
// its input alone.
#include "FuzzInput.h"
#include "plugins/VST3PluginInstance.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int blockFrames = 64;
constexpr int sampleRate = 48000;  // ZamVerb's impulse responses are at this rate

struct Host
{
    std::unique_ptr<VST3PluginInstance> plugin;
    std::string initialState;  // file of the state the plug-in had after loading
};

// Never destroyed: at exit the plug-ins' own globals may be gone before ours, and unloading
// one then crashes inside it.
std::vector<Host> &hosts()
{
    static auto *loaded = new std::vector<Host>;
    return *loaded;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::vector<std::filesystem::path> bundles;
    for (const auto &entry : std::filesystem::directory_iterator("/usr/lib/vst3"))
        if (entry.path().filename().string().starts_with("Za") && entry.path().extension() == ".vst3")
            bundles.push_back(entry.path());
    std::sort(bundles.begin(), bundles.end());  // a stable choice per first byte across runs
    for (const auto &bundle : bundles) {
        auto plugin = std::make_unique<VST3PluginInstance>();
        const QString initial = QDir(FuzzInput::scratchFolder()).filePath(QString::number(hosts().size()));
        if (plugin->load(bundle.string(), sampleRate, blockFrames) && plugin->activate()
            && plugin->saveState(initial.toStdString()))
            hosts().push_back({std::move(plugin), initial.toStdString()});
    }
    if (hosts().empty())
        std::abort();  // zam-plugins is missing: nothing would be fuzzed
    // fuzz/corpus/make-seeds.sh takes each plug-in's own state, behind its index, as a seed.
    if (const QString seeds = qEnvironmentVariable("ZENTRIQ_FUZZ_WRITE_SEEDS"); !seeds.isEmpty()) {
        for (std::size_t i = 0; i < hosts().size(); ++i) {
            QFile state(QString::fromStdString(hosts()[i].initialState));
            QFile seed(QDir(seeds).filePath(QStringLiteral("state-%1").arg(i)));
            if (state.open(QIODevice::ReadOnly) && seed.open(QIODevice::WriteOnly))
                seed.write(char(i) + state.readAll());
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const Host &host = hosts()[data[0] % hosts().size()];
    VST3PluginInstance &plugin = *host.plugin;
    const QString path = FuzzInput::writeFile(QStringLiteral("state"), data + 1, size - 1);
    // No audio is processed afterwards: that fuzzes the plug-ins' signal processing, not
    // the state's way in (ZamGrains 4.1 divides by zero with some states a file can hold).
    if (!path.isEmpty())
        plugin.loadState(path.toStdString());
    // Also after a refusal: the component may have taken the state and the controller not.
    plugin.loadState(host.initialState);
    return 0;
}
