// SPDX-License-Identifier: GPL-3.0-or-later
// Drives an effect dialog of the editor page as a user would: open it, set the controls
// to the settings bench/audio/offline-effects.sh gives the effect, and press "应用".
#pragma once

#include <QString>

class AudioEditorPage;

// Names: gain, reverb, delay, exciter, width, noisered, centre (spectral mode), compress, eq5. False for an
// unknown name, a dialog that did not open, or an apply that recorded no step.
bool applyThroughDialog(AudioEditorPage &page, const QString &effect);
