// SPDX-License-Identifier: GPL-3.0-or-later
// Load plus activate per zam-plugin, and ZamEQ2 over ten seconds of audio: through the
// bridge, and through the plug-in's own IAudioProcessor::process in a bare loop (the
// host's overhead is the difference).
#include "../ProcessMemory.h"
#include "plugins/AudioBuffer.h"
#include "plugins/AudioPluginBridge.h"
#include "plugins/VST3HostObjects.h"
#include "plugins/VST3PluginInstance.h"
#include "plugins/platform/Vst3Module.h"

#include <benchmark/benchmark.h>

#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>


using namespace Steinberg;

namespace {

constexpr int sampleRate = 44100;
constexpr int blockFrames = 512;
constexpr int totalFrames = 10 * sampleRate;

std::vector<std::string> zamPlugins()
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator("/usr/lib/vst3"))
        if (entry.path().extension() == ".vst3")
            names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<float> signal()
{
    std::vector<float> samples(totalFrames);
    for (int i = 0; i < totalFrames; ++i)
        samples[std::size_t(i)] = 0.5f * float(std::sin(2.0 * 3.141592653589793 * 1000.0 * i / sampleRate));
    return samples;
}

// Calls `processBlock(in, out, frames)` for every block of the ten seconds.
template<class ProcessBlock>
void forEachBlock(std::vector<float> &in, std::vector<float> &out, ProcessBlock processBlock)
{
    for (int start = 0; start < totalFrames; start += blockFrames) {
        float *inChannel = in.data() + start;
        float *outChannel = out.data() + start;
        processBlock(&inChannel, &outChannel, std::min(blockFrames, totalFrames - start));
    }
}

void loadAndActivate(benchmark::State &state)
{
    const std::string path = zamPlugins().at(std::size_t(state.range(0)));
    state.SetLabel(std::filesystem::path(path).stem().string());
    for (auto _ : state) {
        VST3PluginInstance plugin;
        if (!plugin.load(path, sampleRate, blockFrames) || !plugin.activate())
            state.SkipWithError("load failed");
    }
}

// Resident memory growth over loading and unloading all 17 plug-ins, after one warm-up round.
void loadUnloadResidentGrowth(benchmark::State &state)
{
    const std::vector<std::string> paths = zamPlugins();
    auto cycle = [&] {
        for (const std::string &path : paths) {
            VST3PluginInstance plugin;
            plugin.load(path, sampleRate, blockFrames);
            plugin.activate();
        }
    };
    cycle();
    double growthKb = 0;
    for (auto _ : state) {
        const double before = processMemoryMiB("VmRSS");
        cycle();
        growthKb = (processMemoryMiB("VmRSS") - before) * 1024.0;
    }
    state.counters["rss_growth_kb"] = growthKb;
}

void eq2ThroughBridge(benchmark::State &state)
{
    AudioPluginBridge bridge;
    bridge.initialize(sampleRate, blockFrames);
    const int id = bridge.loadPlugin("/usr/lib/vst3/ZamEQ2.vst3");
    bridge.activatePlugin(id);
    std::vector<float> in = signal();
    std::vector<float> out(in.size());
    for (auto _ : state) {
        forEachBlock(in, out, [&](float **inChannel, float **outChannel, int frames) {
            AudioBuffer inView;
            AudioBuffer outView;
            inView.channels = inChannel;
            outView.channels = outChannel;
            inView.numChannels = outView.numChannels = 1;
            inView.numFrames = outView.numFrames = frames;
            bridge.process(inView, outView);
            inView.channels = outView.channels = nullptr;
        });
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime"] = benchmark::Counter(10.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}

void eq2Direct(benchmark::State &state)
{
    std::string error;
    auto module = Vst3Module::create("/usr/lib/vst3/ZamEQ2.vst3", error);
    Vst::IComponent *component = nullptr;
    for (const Vst3Module::ClassInfo &cls : module->classInfos())
        if (cls.category == kVstAudioEffectClass)
            module->factory()->createInstance(reinterpret_cast<FIDString>(cls.cid.data()), Vst::IComponent::iid,
                                              reinterpret_cast<void **>(&component));
    component->initialize(&g_hostApp);
    Vst::IAudioProcessor *processor = nullptr;
    component->queryInterface(Vst::IAudioProcessor::iid, reinterpret_cast<void **>(&processor));
    Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, blockFrames, double(sampleRate)};
    processor->setupProcessing(setup);
    component->setActive(true);
    auto *changes = new VST3ParameterChanges;

    std::vector<float> in = signal();
    std::vector<float> out(in.size());
    for (auto _ : state) {
        forEachBlock(in, out, [&](float **inChannel, float **outChannel, int frames) {
            Vst::AudioBusBuffers inBus;
            Vst::AudioBusBuffers outBus;
            inBus.numChannels = outBus.numChannels = 1;
            inBus.channelBuffers32 = inChannel;
            outBus.channelBuffers32 = outChannel;
            Vst::ProcessContext context{};
            context.state = Vst::ProcessContext::kPlaying;
            context.sampleRate = sampleRate;
            changes->clear();
            Vst::ProcessData data;
            data.numSamples = frames;
            data.numInputs = data.numOutputs = 1;
            data.inputs = &inBus;
            data.outputs = &outBus;
            data.outputParameterChanges = changes;
            data.processContext = &context;
            processor->process(data);
        });
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime"] = benchmark::Counter(10.0 * double(state.iterations()), benchmark::Counter::kIsRate);

    changes->release();
    component->setActive(false);
    processor->release();
    component->terminate();
    component->release();
}

} // namespace

BENCHMARK(loadAndActivate)->DenseRange(0, 16)->Unit(benchmark::kMillisecond);
BENCHMARK(loadUnloadResidentGrowth)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(eq2ThroughBridge)->Unit(benchmark::kMillisecond);
BENCHMARK(eq2Direct)->Unit(benchmark::kMillisecond);
