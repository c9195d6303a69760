// SPDX-License-Identifier: GPL-3.0-or-later
// The benchmarks' memory figures, read from the kernel's view of this process.
#pragma once

#include <cstring>
#include <fstream>
#include <string>

// A memory line of /proc/self/status in MiB: "VmRSS" is the resident memory now, "VmHWM"
// its peak since the start (or since the peak was reset through /proc/self/clear_refs).
inline double processMemoryMiB(const char *field)
{
    std::ifstream status("/proc/self/status");
    const std::size_t length = std::strlen(field);
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::stod(line.substr(length + 1)) / 1024.0;  // the kernel gives kB
    return 0.0;
}
