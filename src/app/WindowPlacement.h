// SPDX-License-Identifier: GPL-3.0-or-later
// Where the main window goes on first show: its preferred size, centred on a screen.
#pragma once

#include <QRect>
#include <QSize>

// The preferred size cut down to the screen's available area (the desktop minus panels),
// centred in it. On a screen smaller than the preferred size the window would otherwise
// start above and left of the screen with its title bar out of reach.
QRect fitWindowToScreen(QSize preferred, const QRect &available);
