// SPDX-License-Identifier: GPL-3.0-or-later
// ZamVerb and ZamHeadX2 do not free their convolvers when destroyed. Keeping their libraries
// mapped for the whole run lets the leak checker name them (lsan.supp), instead of showing
// frames of an unloaded module that cannot be told from ours.
#include "Vst3TestSupport.h"

#include <dlfcn.h>

namespace {

struct KeepMapped
{
    KeepMapped()
    {
        for (const char *name : {"ZamVerb", "ZamHeadX2"})
            dlopen((zamPath(name) + "/Contents/x86_64-linux/" + name + ".so").c_str(), RTLD_NOW | RTLD_LOCAL);
    }
} keepMapped;

} // namespace
