// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the project loaders: the file reader with its string extraction
// and the in-memory document reader.
#include "FuzzInput.h"
#include "project/ProjectFile.h"
#include "project/ProjectSerializer.h"

#include <QBuffer>
#include <QJsonDocument>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    ProjectData fromFile;
    ProjectFile::read(buffer, fromFile);

    ProjectData fromDocument;
    ProjectSerializer::loadProject(QJsonDocument::fromJson(bytes), fromDocument);
    return 0;
}
