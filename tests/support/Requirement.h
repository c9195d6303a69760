// SPDX-License-Identifier: GPL-3.0-or-later
// A test that needs a tool, service or locale this machine lacks is skipped on a developer's
// machine but fails in CI (the CI variable set), where scripts/install-deps.sh and
// scripts/test.sh provide everything: a skip there would hide a missing part.
#pragma once

#include <QtGlobal>

#include <gtest/gtest.h>

#define ZENTRIQ_REQUIRE(available, what)                                                         \
    do {                                                                                         \
        if (!(available)) {                                                                      \
            if (qEnvironmentVariableIsSet("CI"))                                                 \
                GTEST_FAIL() << what << " (CI must provide it)";                                 \
            GTEST_SKIP() << what;                                                                \
        }                                                                                        \
    } while (false)
