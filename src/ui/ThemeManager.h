// SPDX-License-Identifier: GPL-3.0-or-later
// Process-wide holder of the current colour theme.
#pragma once

#include <QObject>

// GUI thread only. Theme 1 is dark; nothing switches themes yet.
class ThemeManager : public QObject
{
    Q_OBJECT

public:
    static ThemeManager *instance();

    int theme = 1;

signals:
    void themeChanged();

private:
    ThemeManager() = default;
};
