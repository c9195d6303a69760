// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in dark style sheet applied to the whole application at start.
#pragma once

#include <QString>
#include <QStringList>

// Font families for every widget, in order of preference. The Windows UI font comes
// first; the installed CJK fonts follow so Chinese text never falls back to a Latin-only
// font that draws boxes.
QStringList uiFontFamilies();

// The application style sheet; pages add local sheets on top and address the object
// names used here ("WelcomePage", "TransportPlayButton", "MeterPanel", ...).
QString darkStyleSheet();
