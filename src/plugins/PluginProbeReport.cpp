// SPDX-License-Identifier: GPL-3.0-or-later
// The probe helper's report lines, written and read.
#include "PluginProbeReport.h"

#include <array>
#include <sstream>
#include <utility>
#include <vector>

namespace {

constexpr std::array<std::pair<PluginLoadFailure, const char *>, 8> failureNames{{
    {PluginLoadFailure::NotALibrary, "not-a-library"},
    {PluginLoadFailure::MissingEntryPoint, "missing-entry-point"},
    {PluginLoadFailure::EntryFailed, "entry-failed"},
    {PluginLoadFailure::NoFactory, "no-factory"},
    {PluginLoadFailure::NoAudioClass, "no-audio-class"},
    {PluginLoadFailure::ComponentNotCreated, "component-not-created"},
    {PluginLoadFailure::ComponentNotInitialised, "component-not-initialised"},
    {PluginLoadFailure::StateRefused, "state-refused"},
}};

// Names and vendors travel tab-separated, one record a line.
std::string field(std::string text)
{
    for (char &c : text)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

std::string PluginProbeReport::pluginLine(const PluginInfo &info)
{
    return "plugin\t" + field(info.name) + '\t' + field(info.vendor) + '\t' + field(info.uid) + '\t'
           + (info.isInstrument ? "instrument" : "effect") + '\n';
}

const char *PluginProbeReport::failureName(PluginLoadFailure failure)
{
    for (const auto &[value, name] : failureNames)
        if (value == failure)
            return name;
    return "none";
}

std::string PluginProbeReport::failureLine(PluginLoadFailure failure)
{
    return std::string("failed\t") + failureName(failure) + '\n';
}

std::string PluginProbeReport::completeLine()
{
    return "ok\n";
}

PluginProbeReport PluginProbeReport::parse(const std::string &text)
{
    PluginProbeReport report;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string part; std::getline(parts, part, '\t');)
            fields.push_back(part);
        if (fields.empty())
            continue;
        if (fields[0] == "ok" && fields.size() == 1) {
            report.complete = true;
        } else if (fields[0] == "plugin" && fields.size() == 5) {
            report.plugin.name = fields[1];
            report.plugin.vendor = fields[2];
            report.plugin.uid = fields[3];
            report.plugin.isInstrument = fields[4] == "instrument";
        } else if (fields[0] == "failed" && fields.size() == 2) {
            for (const auto &[value, name] : failureNames)
                if (fields[1] == name)
                    report.failure = value;
        }
    }
    return report;
}
