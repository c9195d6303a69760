// SPDX-License-Identifier: GPL-3.0-or-later
// The serializer builds a small document with placeholder channel strings; the audio is
// encoded into, and decoded out of, the file bytes around it piece by piece.
#include "project/ProjectFile.h"

#include "audio/SaveFile.h"
#include "project/ExtractedStrings.h"
#include "project/Float32Base64.h"
#include "project/ProjectSerializer.h"

#include <QFile>
#include <QJsonParseError>
#include <QUuid>

namespace {

// The parser's reason in the user's words; Qt's own texts are English, and its offsets count
// in the text left after the audio was taken out, not in the file.
QString describeJsonError(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::UnterminatedObject:
        return QStringLiteral("对象没有结束（缺少 “}”）");
    case QJsonParseError::MissingNameSeparator:
        return QStringLiteral("名称后缺少 “:”");
    case QJsonParseError::UnterminatedArray:
        return QStringLiteral("数组没有结束（缺少 “]”）");
    case QJsonParseError::MissingValueSeparator:
        return QStringLiteral("值之间缺少 “,”");
    case QJsonParseError::IllegalValue:
        return QStringLiteral("含有无效的值");
    case QJsonParseError::TerminationByNumber:
        return QStringLiteral("文件在数字处意外结束");
    case QJsonParseError::IllegalNumber:
        return QStringLiteral("含有无效的数字");
    case QJsonParseError::IllegalEscapeSequence:
        return QStringLiteral("含有无效的转义序列");
    case QJsonParseError::IllegalUTF8String:
        return QStringLiteral("含有无效的 UTF-8 文本");
    case QJsonParseError::UnterminatedString:
        return QStringLiteral("字符串没有结束（缺少 “\"”）");
    case QJsonParseError::MissingObject:
        return QStringLiteral("逗号后缺少内容");
    case QJsonParseError::DeepNesting:
        return QStringLiteral("嵌套层数过多");
    case QJsonParseError::DocumentTooLarge:
        return QStringLiteral("文件内容过大");
    case QJsonParseError::GarbageAtEnd:
        return QStringLiteral("结尾有多余的内容");
    case QJsonParseError::NoError:
        break;
    }
    return QStringLiteral("不是有效的 JSON 文本");
}

} // namespace

ProjectFile::SaveResult ProjectFile::save(const QString &path, const QString &name,
                                          const std::vector<TrackData> &tracks, const ProjectSettings &settings,
                                          double currentTime, double zoom, const std::vector<TimelineMarker> &markers,
                                          QString *writeFailure)
{
    ProjectSerializer::OutgoingChannels outgoing;
    outgoing.prefix = QStringLiteral("zqp-channel-%1-").arg(QUuid::createUuid().toString(QUuid::Id128));
    const QByteArray text = ProjectSerializer::buildDocument(name, tracks, settings, currentTime, zoom, markers,
                                                             &outgoing)
                                .toJson(QJsonDocument::Indented);

    SaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return SaveResult::CannotOpen;
    const auto write = [&file](const char *data, qsizetype size) { return file.write(data, size) == size; };

    const QByteArray marker = '"' + outgoing.prefix.toLatin1();
    qsizetype done = 0;
    bool ok = true;
    for (qsizetype at = text.indexOf(marker); ok && at >= 0; at = text.indexOf(marker, done)) {
        const qsizetype digits = at + marker.size();
        const qsizetype close = text.indexOf('"', digits);
        const auto &channel = outgoing.channels[text.mid(digits, close - digits).toLongLong()];
        ok = write(text.constData() + done, at + 1 - done)
             && Float32Base64::encode(channel.list.constData() + channel.first, channel.count, channel.stride, write);
        done = close;
    }
    ok = ok && write(text.constData() + done, text.size() - done);
    if (ok && file.commitWhole())
        return SaveResult::Saved;
    // The temporary file goes with `file`; the old project stays as it was.
    if (writeFailure)
        *writeFailure = file.failureReason();
    return SaveResult::ShortWrite;
}

ProjectFile::LoadResult ProjectFile::load(const QString &path, ProjectData &project, QString *parseError,
                                          ProjectLoadReport *report)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LoadResult::CannotOpen;
    return read(file, project, parseError, report);
}

ProjectFile::LoadResult ProjectFile::read(QIODevice &device, ProjectData &project, QString *parseError,
                                          ProjectLoadReport *report)
{
    ExtractedStrings extracted(device);
    QString error;
    const std::optional<QByteArray> text = extracted.extract(error);
    if (!text) {
        if (parseError)
            *parseError = error;
        return LoadResult::NotJson;
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(*text, &parse);
    if (parse.error != QJsonParseError::NoError) {
        if (parseError)
            *parseError = describeJsonError(parse.error);
        return LoadResult::NotJson;
    }
    ProjectLoadReport local;
    ProjectLoadReport &found = report ? *report : local;
    if (ProjectSerializer::readDocument(document, project, &extracted, &found))
        return LoadResult::Loaded;
    return found.excess == ProjectLoadReport::Excess::None ? LoadResult::NotProject : LoadResult::TooLarge;
}
