// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to AudioProcessor::loadAudioFile as a file with one fixed suffix
// (ZENTRIQ_FUZZ_SUFFIX), so each reader gets its own target and corpus.
#include "FuzzInput.h"
#include "audio/AudioProcessor.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = FuzzInput::writeFile(QStringLiteral("input.") + QStringLiteral(ZENTRIQ_FUZZ_SUFFIX), data, size);
    if (path.isEmpty())
        return 0;

    AudioProcessor processor;
    if (processor.loadAudioFile(path)) {
        // What a caller reads right after a load must be consistent.
        const qsizetype stereoExpected = processor.channels == 2 ? processor.samples.size() * 2 : 0;
        if (processor.stereoSamples.size() != stereoExpected || processor.sampleRate <= 0 || processor.channels <= 0)
            __builtin_trap();
    }
    return 0;
}
