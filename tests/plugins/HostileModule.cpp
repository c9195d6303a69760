// SPDX-License-Identifier: GPL-3.0-or-later
// A broken VST3 module for the loader's failure paths; the variant is chosen at build time.
extern "C" {

#if !defined(HOSTILE_ENTRY_FAILS)
__attribute__((visibility("default"))) bool ModuleEntry(void *) { return true; }
#else
__attribute__((visibility("default"))) bool ModuleEntry(void *) { return false; }
#endif
__attribute__((visibility("default"))) bool ModuleExit() { return true; }

#if defined(HOSTILE_NULL_FACTORY) || defined(HOSTILE_ENTRY_FAILS)
__attribute__((visibility("default"))) void *GetPluginFactory() { return nullptr; }
#endif
}
