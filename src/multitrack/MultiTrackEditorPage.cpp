// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor page: owns the open project's tracks, markers and undo history.
#include "MultiTrackEditorPage.h"

#include "plugins/AudioPluginBridge.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUndoStack>

namespace {

constexpr int pluginBlockFrames = 512;

// Copies `source` over `target` through a temporary file, so a failed copy leaves any
// earlier file of that name whole.
bool copyReplacing(const QString &source, const QString &target)
{
    QFile in(source);
    QSaveFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    constexpr qint64 chunkBytes = 1 << 20;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(chunkBytes);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            break;
        }
    }
    return out.commit();
}

} // namespace

MultiTrackEditorPage::MultiTrackEditorPage(QWidget *parent)
    : QWidget(parent), undoStack(new QUndoStack(this)), pluginBridge(new AudioPluginBridge)
{
    setObjectName(QStringLiteral("MultiTrackEditorPage"));
    pluginBridge->initialize(sampleRate, pluginBlockFrames);
}

MultiTrackEditorPage::~MultiTrackEditorPage()
{
    pluginBridge->shutdown();
    delete pluginBridge;
}

QString MultiTrackEditorPage::sf2Directory() const
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/soundfonts");
}

bool MultiTrackEditorPage::copyAndLoadSoundFont(const QString &path)
{
    // Trying the file on an instrument of its own first keeps a damaged file out of the
    // folder and the loaded SoundFont playing.
    if (!SF2Sampler().loadSoundFont(path))
        return false;

    const QString dir = sf2Directory();
    QDir().mkpath(dir);
    const QString dest = dir + QLatin1Char('/') + QFileInfo(path).fileName();
    if (QFileInfo(dest).canonicalFilePath() == QFileInfo(path).canonicalFilePath())
        return sf2Sampler.loadSoundFont(path);

    QString loadPath = dest;
    if (copyReplacing(path, dest)) {
        qDebug() << "MultiTrackEditorPage: SF2 copied to" << dest;
    } else {
        qWarning() << "MultiTrackEditorPage: failed to copy SF2 to app dir:" << path << "->" << dest;
        loadPath = path;
    }
    return sf2Sampler.loadSoundFont(loadPath);
}

void MultiTrackEditorPage::scanAndLoadExistingSf2()
{
    const QDir dir(sf2Directory());
    if (!dir.exists())
        return;
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.sf2")}, QDir::Files,
                                                  QDir::Name | QDir::IgnoreCase);
    if (files.isEmpty())
        return;
    const QString first = files.first().absoluteFilePath();
    qDebug() << "MultiTrackEditorPage: auto-loading SF2 from app dir:" << first;
    sf2Sampler.loadSoundFont(first);
}
