// SPDX-License-Identifier: GPL-3.0-or-later
// Test device layer driven block by block from the test.
#include "PumpedAudioBackend.h"

PumpedAudioBackend::PumpedAudioBackend(Setup setup)
    : setup(setup)
{
}

AudioBackend::DeviceInfo PumpedAudioBackend::deviceInfo(unsigned int id)
{
    if (id == 0 || id > setup.devices)
        return {};
    DeviceInfo info;
    info.id = id;
    info.name = "Pumped " + std::to_string(id);
    info.outputChannels = 2;
    info.inputChannels = setup.inputChannels;
    info.isDefaultOutput = info.isDefaultInput = id == 1;
    return info;
}

bool PumpedAudioBackend::openStream(const StreamParameters *output, const StreamParameters *input,
                                    unsigned int sampleRate, unsigned int &bufferFrames, Callback callback,
                                    void *userData)
{
    (void)bufferFrames; // the pumped device keeps the requested block size
    std::lock_guard lock(stream);
    if (open) {
        lastError = "a stream is already open";
        return false;
    }
    if (setup.failOpen || (output && output->deviceId == 0) || (input && input->deviceId == 0)) {
        lastError = "device refused to open";
        return false;
    }
    ++opens;
    openedInput = input ? std::optional(*input) : std::nullopt;
    openedRate = sampleRate;
    hasInput = input != nullptr;
    this->callback = callback;
    this->userData = userData;
    open = true;
    return true;
}

bool PumpedAudioBackend::startStream()
{
    std::lock_guard lock(stream);
    if (!open || setup.failStart) {
        lastError = "device refused to start";
        return false;
    }
    running = true;
    return true;
}

bool PumpedAudioBackend::stopStream()
{
    std::lock_guard lock(stream);
    running = false;
    return true;
}

void PumpedAudioBackend::closeStream()
{
    std::lock_guard lock(stream);
    running = false;
    open = false;
}

std::optional<std::vector<float>> PumpedAudioBackend::pump(unsigned int frames, const std::vector<float> &input)
{
    std::vector<float> output(2 * std::size_t(frames), 123.0f); // garbage the engine must overwrite
    std::vector<float> captured = input;
    captured.resize(frames);
    if (!pumpInto(output, captured))
        return std::nullopt;
    return output;
}

bool PumpedAudioBackend::pumpInto(std::span<float> output, std::span<float> input)
{
    std::lock_guard lock(stream);
    if (!running)
        return false;
    const auto frames = static_cast<unsigned int>(input.size());
    callback(output.data(), hasInput ? input.data() : nullptr, frames, 0.0, 0, userData);
    return true;
}
