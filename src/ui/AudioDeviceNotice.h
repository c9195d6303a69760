// SPDX-License-Identifier: GPL-3.0-or-later
// What the editors tell the user when the audio device cannot be opened or goes away while
// it plays or records.
#pragma once

#include <QString>

class QWidget;

namespace AudioDeviceNotice {

enum class Event {
    OutputUnavailable,   // playback could not open the output
    InputUnavailable,    // recording could not open the input
    LostWhilePlaying,    // the device or audio server went away during playback
    LostWhileRecording,  // ... during a recording, whose audio so far was kept
};

QString text(Event event);
// A warning box over `parent` that does not wait for the user: it may be shown from a timer
// while the transport winds down. It deletes itself when closed.
void show(QWidget *parent, Event event);

} // namespace AudioDeviceNotice
