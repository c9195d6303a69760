// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the long Base64 strings of a JSON text outside the text, decoded as they stream by,
// so QJsonDocument only ever parses a small document whatever the audio length.
#pragma once

#include "project/Float32Base64.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

class QIODevice;

class ExtractedStrings
{
public:
    // `source` must be readable and seekable (a file) and outlive this object.
    explicit ExtractedStrings(QIODevice &source);

    // Reads all of `source` and returns its JSON text with every string longer than
    // `extractAbove` characters that holds only Base64 characters replaced by a
    // placeholder string. Returns nothing (and sets `error`) on a read failure or when the
    // remaining text is still too large to parse safely.
    std::optional<QByteArray> extract(QString &error);

    // Index of the extracted string that `value` stands for, or -1 for an ordinary string.
    int indexOf(const QString &value) const;
    // The decoded floats of an extracted string; `failed()` when it was not valid Base64.
    Float32Base64::Decoder &channel(int index) { return entries[index].decoder; }
    // The string itself, read back from the source (only ever needed for odd documents).
    QString text(int index) const;

    static constexpr qsizetype extractAbove = 64 * 1024;
    // Well below the sizes at which Qt 6.4's JSON parser fails.
    static constexpr qsizetype largestSkeleton = qsizetype(1) << 30;

private:
    struct Entry
    {
        Float32Base64::Decoder decoder;
        qint64 offset = 0;  // first character after the opening quote
        qint64 size = 0;
    };

    QByteArray placeholder(qsizetype index) const;

    QIODevice &source;
    QString prefix;
    std::vector<Entry> entries;
};
