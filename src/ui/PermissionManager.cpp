// SPDX-License-Identifier: GPL-3.0-or-later
// Process-wide answer to whether the editors may record from the microphone.
#include "ui/PermissionManager.h"

#include <iostream>

PermissionManager &PermissionManager::getInstance()
{
    static PermissionManager instance;
    return instance;
}

bool PermissionManager::checkMicrophonePermission() const
{
    return true;
}

void PermissionManager::requestMicrophonePermission(std::function<void(bool)> callback)
{
    std::cout << "PermissionManager: Desktop - no permission needed" << std::endl;
    if (callback)
        callback(true);
}
