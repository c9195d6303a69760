// SPDX-License-Identifier: GPL-3.0-or-later
// Tries a VST3 module in a short-lived child process (the zentriq-plugin-probe helper) before
// the program loads it: the child loads it as the host would, optionally restores a state
// file, runs a few process calls and unloads it. A module that crashes, hangs or fails there
// never reaches the program.
#pragma once

#include "PluginInfo.h"
#include "PluginLoadFailure.h"

#include <chrono>
#include <stop_token>
#include <string>

struct PluginProbeRequest
{
    std::string modulePath;  // bundle folder or .so, UTF-8
    std::string statePath;   // a component state to restore before processing; empty for none
    int sampleRate = 44100;
    int blockSize = 512;
    std::chrono::milliseconds timeLimit{20000};
};

struct PluginProbeResult
{
    enum class Outcome
    {
        Passed,
        Failed,      // the helper reported `failure`
        Crashed,     // ended by `signal`
        TimedOut,    // killed after the time limit
        NoReport,    // exited with `exitCode` without saying how it went
        NotStarted,  // the helper could not be run; `detail` says why
        Cancelled,
    };

    Outcome outcome = Outcome::NotStarted;
    PluginLoadFailure failure = PluginLoadFailure::None;
    int signal = 0;
    int exitCode = 0;
    std::string detail;
    PluginInfo plugin;  // the audio class the helper set up (name empty if it got no further)

    bool passed() const { return outcome == Outcome::Passed; }
    // Whether the module itself is to blame, as opposed to a missing helper or a cancel.
    bool blamesModule() const;
    // One line for the log, in English.
    std::string summary() const;
};

// The helper's path: $ZENTRIQ_PLUGIN_PROBE when set, else zentriq-plugin-probe beside the
// running program.
std::string pluginProbeProgram();

// Blocks until the child has finished, the time limit has passed (the child and anything it
// started are killed) or `stop` is requested. Call it off the GUI thread. Thread-safe.
PluginProbeResult runPluginProbe(const PluginProbeRequest &request, std::stop_token stop = {});
