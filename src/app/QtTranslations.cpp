// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts (standard buttons, file dialogs, its messages) in Simplified Chinese.
#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstring>

namespace {

// The file dialog's type column, which Qt's catalogue leaves English ("Folder").
class CatalogueGaps : public QTranslator
{
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (std::strcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        static const struct
        {
            const char *english;
            const char *chinese;
        } texts[] = {{"Folder", "文件夹"}, {"Drive", "驱动器"}, {"Shortcut", "快捷方式"}, {"Unknown", "未知"}};
        for (const auto &text : texts)
            if (std::strcmp(sourceText, text.english) == 0)
                return QString::fromUtf8(text.chinese);
        return {};
    }
};

} // namespace

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
    return QCoreApplication::installTranslator(translator)
        && QCoreApplication::installTranslator(new CatalogueGaps(&app));
}
