// SPDX-License-Identifier: GPL-3.0-or-later
// A broken VST3 module for the loader's failure paths; the variant is chosen at build time.
#include <unistd.h>

extern "C" {

#if !defined(HOSTILE_ENTRY_FAILS)
__attribute__((visibility("default"))) bool ModuleEntry(void *) { return true; }
#else
__attribute__((visibility("default"))) bool ModuleEntry(void *) { return false; }
#endif
__attribute__((visibility("default"))) bool ModuleExit() { return true; }

#if defined(HOSTILE_NULL_FACTORY) || defined(HOSTILE_ENTRY_FAILS)
__attribute__((visibility("default"))) void *GetPluginFactory() { return nullptr; }
#elif defined(HOSTILE_CRASHING_FACTORY)
__attribute__((visibility("default"))) void *GetPluginFactory()
{
    volatile int *nowhere = nullptr;
    *nowhere = 1;
    return nullptr;
}
#elif defined(HOSTILE_GARBAGE_FACTORY)
// Looks like an object whose virtual table points at unmapped memory.
__attribute__((visibility("default"))) void *GetPluginFactory()
{
    static const unsigned long garbage[4] = {0x10, 0x10, 0x10, 0x10};
    return const_cast<unsigned long *>(garbage);
}
#elif defined(HOSTILE_EXITING_FACTORY)
// Takes the whole process down quietly, as if it had finished.
__attribute__((visibility("default"))) void *GetPluginFactory()
{
    _exit(0);
}
#elif defined(HOSTILE_HANGING_FACTORY)
__attribute__((visibility("default"))) void *GetPluginFactory()
{
    for (;;)
        pause();
}
#endif
}
