// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the SoundFont instrument as a file: load, the preset list, and a
// note played on the first and the last preset, which reads the file's sample data.
#include "FuzzInput.h"
#include "engine/SF2Sampler.h"

#include <fluidsynth.h>

#include <array>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::silenceQtLog();
    for (int level = 0; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, nullptr, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = FuzzInput::writeFile(QStringLiteral("input.sf2"), data, size);
    SF2Sampler sampler;
    sampler.setSampleRate(8000);
    if (path.isEmpty() || !sampler.loadSoundFont(path))
        return 0;
    const int presets = int(sampler.getPresetNames().size());
    std::array<short, 2 * 256> block{};
    for (int preset : {0, presets - 1}) {
        sampler.selectPreset(0, preset);
        sampler.noteOn(0, 60, 100);
        sampler.renderLive(block.data(), 256);
        sampler.noteOff(0, 60);
    }
    return 0;
}
