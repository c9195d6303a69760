// SPDX-License-Identifier: GPL-3.0-or-later
// Asks the PulseAudio server at what rate its default sink or source runs: a stream opened at
// any other rate is resampled by the server, with a delay that no latency figure includes.
#pragma once

// The default source's rate for `input`, else the default sink's; 0 when the server gives
// no answer within a second or two. Blocks while it asks; GUI thread.
unsigned int pulseDefaultDeviceRate(bool input);
