// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts (standard buttons, file dialogs, its messages) in Simplified Chinese.
#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QTranslator>

bool installQtTranslations(QCoreApplication &app)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *translator = new QTranslator(&app);
    // "qt_zh_CN" brings the catalogues of the modules in use (qtbase, qtmultimedia) with it.
    if (!translator->load(QStringLiteral("qt_zh_CN"), folder)) {
        qWarning() << "QtTranslations: no Simplified Chinese catalogue of Qt in" << folder;
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
