// SPDX-License-Identifier: GPL-3.0-or-later
// zentriq-plugin-probe MODULE SAMPLE_RATE BLOCK_SIZE [STATE_FILE]: loads a VST3 module as the
// program would, restores the state file if given, runs a few process calls with a tone and
// a note, unloads it, and reports on its standard output how far it got. The program runs
// this in a child process first, so a plug-in that crashes or hangs takes only this with it.
#include "plugins/PluginProbeReport.h"
#include "plugins/VST3PluginInstance.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int probeBlocks = 16;

// The host names the signal that ended a crashed child; a handler installed before main (a
// sanitizer's, say) would turn the crash into a plain exit code.
void restoreCrashSignals()
{
    struct sigaction defaults{};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP})
        sigaction(signal, &defaults, nullptr);
}

class ReportChannel
{
public:
    // The report keeps the standard output the host reads; everything else written there (our
    // log lines, the plug-in's own) goes to standard error.
    ReportChannel()
    {
        fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }

    void write(const std::string &line) const
    {
        std::size_t done = 0;
        while (done < line.size()) {
            const ssize_t wrote = ::write(fd, line.data() + done, line.size() - done);
            if (wrote <= 0)
                return;
            done += std::size_t(wrote);
        }
    }

private:
    int fd = -1;
};

void processSomeBlocks(VST3PluginInstance &plugin, int sampleRate, int blockSize)
{
    const PluginInfo info = plugin.getInfo();
    const int channels = std::max({2, info.numInputChannels, info.numOutputChannels});
    std::vector<std::vector<float>> inputs(std::size_t(channels), std::vector<float>(std::size_t(blockSize), 0.0f));
    std::vector<std::vector<float>> outputs = inputs;
    std::vector<float *> in;
    std::vector<float *> out;
    for (int c = 0; c < channels; ++c) {
        in.push_back(inputs[std::size_t(c)].data());
        out.push_back(outputs[std::size_t(c)].data());
    }
    long frame = 0;
    for (int block = 0; block < probeBlocks; ++block) {
        if (block == 0)
            plugin.sendNoteOn(0, 60, 0.8f);
        if (block == probeBlocks / 2)
            plugin.sendNoteOff(0, 60, 0.0f);
        for (int i = 0; i < blockSize; ++i, ++frame) {
            const float sample = 0.25f * float(std::sin(2.0 * std::numbers::pi * 440.0 * double(frame) / sampleRate));
            for (auto &channel : inputs)
                channel[std::size_t(i)] = sample;
        }
        plugin.process(in.data(), out.data(), channels, blockSize);
    }
}

} // namespace

int main(int argc, char **argv)
{
    restoreCrashSignals();
    const ReportChannel report;
    if (argc != 4 && argc != 5) {
        std::cerr << "usage: zentriq-plugin-probe MODULE SAMPLE_RATE BLOCK_SIZE [STATE_FILE]" << std::endl;
        return 2;
    }
    const std::string modulePath = argv[1];
    const int sampleRate = std::clamp(std::atoi(argv[2]), 8000, 768000);
    const int blockSize = std::clamp(std::atoi(argv[3]), 16, 8192);
    const std::string statePath = argc == 5 ? argv[4] : "";

    VST3PluginInstance plugin;
    if (!plugin.load(modulePath, sampleRate, blockSize)) {
        report.write(PluginProbeReport::failureLine(plugin.loadFailure()));
        return 1;
    }
    report.write(PluginProbeReport::pluginLine(plugin.getInfo()));
    if (!statePath.empty() && !plugin.loadState(statePath)) {
        report.write(PluginProbeReport::failureLine(PluginLoadFailure::StateRefused));
        return 1;
    }
    // A plug-in that will not activate loads in the program too; it just stays silent there.
    if (plugin.activate())
        processSomeBlocks(plugin, sampleRate, blockSize);
    plugin.unload();
    report.write(PluginProbeReport::completeLine());
    return 0;
}
