// SPDX-License-Identifier: GPL-3.0-or-later
// Process-wide answer to whether the editors may record from the microphone.
#pragma once

#include <functional>

// Desktop systems need no prompt, so recording is always allowed. GUI thread only.
class PermissionManager
{
public:
    static PermissionManager &getInstance();

    bool checkMicrophonePermission() const;
    // Calls `callback` once with true before returning; an empty callback is not called.
    void requestMicrophonePermission(std::function<void(bool)> callback);

    PermissionManager(const PermissionManager &) = delete;
    PermissionManager &operator=(const PermissionManager &) = delete;

private:
    PermissionManager() = default;
};
