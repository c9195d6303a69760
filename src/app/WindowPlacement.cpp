// SPDX-License-Identifier: GPL-3.0-or-later
// Where the main window goes on first show: its preferred size, centred on a screen.
#include "WindowPlacement.h"

QRect fitWindowToScreen(QSize preferred, const QRect &available)
{
    const QSize size = preferred.boundedTo(available.size());
    const QPoint offset((available.width() - size.width()) / 2, (available.height() - size.height()) / 2);
    return QRect(available.topLeft() + offset, size);
}
