// SPDX-License-Identifier: GPL-3.0-or-later
// A document's engine replaced by one that plays into a device the test drives block by block.
#pragma once

#include "PumpedAudioBackend.h"

#include "document/ProjectDocument.h"
#include "engine/MultiTrackAudioEngine.h"

#include <limits>
#include <memory>
#include <optional>
#include <vector>

class PumpedDocumentEngine
{
public:
    PumpedDocumentEngine(ProjectDocument &document, int rate)
    {
        auto device = std::make_unique<PumpedAudioBackend>();
        backend = device.get();
        delete document.engine;
        document.engine = new MultiTrackAudioEngine(std::move(device));
        document.engine->initialize(rate, 512);
    }

    // Left output of the next block (all frames of a constant track are equal).
    float left()
    {
        const std::optional<std::vector<float>> block = backend->pump(64);
        return block ? (*block)[0] : std::numeric_limits<float>::quiet_NaN();
    }

private:
    PumpedAudioBackend *backend = nullptr;
};
