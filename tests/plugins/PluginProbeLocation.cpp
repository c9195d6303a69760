// SPDX-License-Identifier: GPL-3.0-or-later
// Test programs do not sit beside the probe helper: point the probe at the one just built.
#include <cstdlib>

namespace {

const bool located = setenv("ZENTRIQ_PLUGIN_PROBE", PLUGIN_PROBE_PROGRAM, 0) == 0;

} // namespace
