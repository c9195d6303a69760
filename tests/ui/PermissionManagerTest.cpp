// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop microphone permission is always granted, synchronously and once per request.
#include "ui/PermissionManager.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(PermissionManager, GrantsWithoutAskingAndCallsBackOnce)
{
    PermissionManager &manager = PermissionManager::getInstance();
    EXPECT_EQ(&manager, &PermissionManager::getInstance());
    EXPECT_TRUE(manager.checkMicrophonePermission());

    std::vector<bool> answers;
    testing::internal::CaptureStdout();
    manager.requestMicrophonePermission([&](bool granted) { answers.push_back(granted); });
    manager.requestMicrophonePermission({});
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ(answers, std::vector<bool>{true});
    EXPECT_EQ(printed, "PermissionManager: Desktop - no permission needed\n"
                       "PermissionManager: Desktop - no permission needed\n");
}

} // namespace
