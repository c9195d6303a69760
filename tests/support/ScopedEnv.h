// SPDX-License-Identifier: GPL-3.0-or-later
// Sets an environment variable for the lifetime of the object.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            previous = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (previous)
            qputenv(name, *previous);
        else
            qunsetenv(name);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name;
    std::optional<QByteArray> previous;
};
