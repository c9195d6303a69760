// SPDX-License-Identifier: GPL-3.0-or-later
// A byte-level pass over JSON text that tracks only string boundaries; validating the rest
// is left to QJsonDocument on the small text it returns.
#include "project/ExtractedStrings.h"

#include <QIODevice>
#include <QUuid>

#include <algorithm>
#include <cstring>

namespace {

constexpr qint64 readPiece = 4 * 1024 * 1024;

} // namespace

ExtractedStrings::ExtractedStrings(QIODevice &source)
    : source(source),
      // A fresh random prefix, so no string of the document can pass for a placeholder.
      prefix(QStringLiteral("zqp-external-%1-").arg(QUuid::createUuid().toString(QUuid::Id128)))
{
}

QByteArray ExtractedStrings::placeholder(qsizetype index) const
{
    return prefix.toLatin1() + QByteArray::number(index);
}

int ExtractedStrings::indexOf(const QString &value) const
{
    if (!value.startsWith(prefix))
        return -1;
    bool ok = false;
    const int index = QStringView(value).mid(prefix.size()).toInt(&ok);
    return ok && index >= 0 && std::size_t(index) < entries.size() ? index : -1;
}

QString ExtractedStrings::text(int index) const
{
    const Entry &entry = entries[index];
    const qint64 resumeAt = source.pos();
    QByteArray bytes;
    if (source.seek(entry.offset))
        bytes = source.read(entry.size);
    source.seek(resumeAt);
    return QString::fromLatin1(bytes);  // only Base64 characters were extracted
}

std::optional<QByteArray> ExtractedStrings::extract(QString &error)
{
    QByteArray skeleton;
    // A small document needs no more than its own size.
    const qint64 unread = source.size() - source.pos();
    const qint64 pieceSize = unread > 0 ? std::min(unread, readPiece) : readPiece;
    QByteArray piece(pieceSize, Qt::Uninitialized);
    qint64 pieceStart = 0;  // source offset of piece[0]

    bool inString = false;
    bool escaped = false;
    bool base64Only = false;
    bool extracting = false;
    qsizetype stringStart = 0;  // skeleton index of the first character of the open string
    qint64 stringOffset = 0;
    qint64 stringSize = 0;
    Float32Base64::Decoder decoder;

    const auto closeString = [&]() -> bool {
        inString = false;
        if (extracting && base64Only) {
            decoder.finish();
            skeleton += placeholder(entries.size());
            entries.push_back({std::move(decoder), stringOffset, stringSize});
        } else if (extracting) {
            // A long string that turned out not to be Base64 goes back into the text as it was.
            if (skeleton.size() + stringSize > largestSkeleton) {
                error = QStringLiteral("文件内容过大");
                return false;
            }
            const qint64 resumeAt = source.pos();
            const QByteArray raw = source.seek(stringOffset) ? source.read(stringSize) : QByteArray();
            if (raw.size() != stringSize || !source.seek(resumeAt)) {
                error = QStringLiteral("读取文件时出错");
                return false;
            }
            skeleton += raw;
        }
        skeleton += '"';
        extracting = false;
        return true;
    };

    for (;;) {
        const qint64 got = source.read(piece.data(), pieceSize);
        if (got < 0) {
            error = QStringLiteral("读取文件时出错");
            return std::nullopt;
        }
        if (got == 0)
            break;
        const char *bytes = piece.constData();
        qsizetype i = 0;
        while (i < got) {
            if (!inString) {
                const void *quote = std::memchr(bytes + i, '"', got - i);
                const qsizetype next = quote ? static_cast<const char *>(quote) - bytes + 1 : got;
                skeleton.append(bytes + i, next - i);
                i = next;
                if (quote) {
                    inString = true;
                    escaped = false;
                    base64Only = true;
                    stringStart = skeleton.size();
                    stringOffset = pieceStart + i;
                    stringSize = 0;
                    decoder = Float32Base64::Decoder();
                }
            } else {
                qsizetype j = i;
                if (base64Only) {
                    while (j < got && Float32Base64::isTextCharacter(static_cast<unsigned char>(bytes[j])))
                        ++j;
                    if (extracting) {
                        decoder.feed(bytes + i, j - i);
                    } else {
                        skeleton.append(bytes + i, j - i);
                        if (skeleton.size() - stringStart > extractAbove) {
                            // A string that ends within this piece gets its list at full size.
                            if (const void *close = std::memchr(bytes + j, '"', got - j))
                                decoder.reserve(skeleton.size() - stringStart + (static_cast<const char *>(close) - (bytes + j)));
                            decoder.feed(skeleton.constData() + stringStart, skeleton.size() - stringStart);
                            skeleton.truncate(stringStart);
                            extracting = true;
                        }
                    }
                    stringSize += j - i;
                    i = j;
                    if (i < got && bytes[i] != '"')
                        base64Only = false;
                }
                if (!base64Only) {
                    for (; j < got; ++j) {
                        if (escaped)
                            escaped = false;
                        else if (bytes[j] == '\\')
                            escaped = true;
                        else if (bytes[j] == '"')
                            break;
                    }
                    if (!extracting)
                        skeleton.append(bytes + i, j - i);
                    stringSize += j - i;
                    i = j;
                }
                if (i < got) {  // at the closing quote
                    ++i;
                    if (!closeString())
                        return std::nullopt;
                }
            }
            if (skeleton.size() > largestSkeleton) {
                error = QStringLiteral("文件内容过大");
                return std::nullopt;
            }
        }
        pieceStart += got;
    }
    return skeleton;
}
