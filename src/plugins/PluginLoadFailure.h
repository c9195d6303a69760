// SPDX-License-Identifier: GPL-3.0-or-later
// Why a plug-in module could not be loaded or set up; the probe reports it to the host.
#pragma once

enum class PluginLoadFailure
{
    None,
    NotALibrary,        // dlopen refused the file
    MissingEntryPoint,  // ModuleEntry or GetPluginFactory is not exported
    EntryFailed,        // ModuleEntry returned false
    NoFactory,          // GetPluginFactory returned null
    NoAudioClass,
    ComponentNotCreated,
    ComponentNotInitialised,
    StateRefused,  // the state file could not be read or the plug-in rejected it
};
