// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts (standard buttons, file dialogs, its messages) in Simplified Chinese, like
// the rest of the interface.
#pragma once

class QCoreApplication;

// Installs Qt's Simplified Chinese catalogue from Qt's translation folder (on Debian the
// package qt6-translations-l10n), whatever language the system speaks. Without the
// catalogue it warns and returns false; Qt's texts then stay English.
bool installQtTranslations(QCoreApplication &app);
