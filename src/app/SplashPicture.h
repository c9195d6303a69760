// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up splash picture: program name, version and loading note on a dark field.
#pragma once

#include <QPixmap>
#include <QString>

// A 600 x 340 picture; `version` is shown as "v<version>". GUI thread (uses fonts).
QPixmap paintSplashPicture(const QString &version);
