// SPDX-License-Identifier: GPL-3.0-or-later
// Project-wide settings saved with every project.
#pragma once

#include <QString>

struct ProjectSettings
{
    int sampleRate = 44100;  // Hz
    int bitDepth = 32;       // bits per sample for export
    int channels = 2;        // 1 means a mono project
    double tempo = 120.0;    // beats per minute
    QString timeSignature = QStringLiteral("4/4");  // stored only, never interpreted
    // Tempo at which the MIDI clips' times are stored; they play scaled by it over `tempo`.
    // A file without it stores them at `tempo`.
    double midiFileTempo = 120.0;

    bool operator==(const ProjectSettings &) const = default;
};
