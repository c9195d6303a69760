// SPDX-License-Identifier: GPL-3.0-or-later
// Process-wide holder of the current colour theme.
#include "ui/ThemeManager.h"

ThemeManager *ThemeManager::instance()
{
    static ThemeManager manager;
    return &manager;
}
