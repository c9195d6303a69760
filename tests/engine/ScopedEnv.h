// SPDX-License-Identifier: GPL-3.0-or-later
// Sets an environment variable for the lifetime of the object.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class ScopedEnv
{
public:
    ScopedEnv(const char *name, const char *value)
        : name(name)
    {
        if (const char *old = std::getenv(name))
            previous = old;
        setenv(name, value, 1);
    }
    ~ScopedEnv()
    {
        if (previous)
            setenv(name, previous->c_str(), 1);
        else
            unsetenv(name);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name;
    std::optional<std::string> previous;
};
