// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the plug-in folder scanner as a folder's contents: each line up
// to the first empty one names a file to make (folders along its path are made too), and
// the rest of the input is the text of every file, so a bundle's Info.plist gets it.
#include "FuzzInput.h"
#include "plugins/PluginScanner.h"

#include <QByteArrayList>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Keeps a named path inside the scanned folder: no root, no "..", no empty parts.
fs::path inside(const fs::path &folder, const QByteArray &line)
{
    fs::path path = folder;
    for (const QByteArray &part : line.split('/'))
        if (!part.isEmpty() && part != "." && part != ".." && !part.contains('\0'))
            path /= part.toStdString();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf("\n\n");
    const QByteArray names = split < 0 ? input : input.first(split);
    const QByteArray text = split < 0 ? QByteArray() : input.mid(split + 2);

    const fs::path folder = fs::path(FuzzInput::scratchFolder().toStdString()) / "plugins";
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder, ignored);
    int made = 0;
    for (const QByteArray &line : names.split('\n')) {
        const fs::path file = inside(folder, line);
        if (file == folder || ++made > 16)
            continue;
        fs::create_directories(file.parent_path(), ignored);
        std::ofstream(file, std::ios::binary).write(text.constData(), text.size());
    }

    PluginScanner scanner;
    for (const PluginInfo &info : scanner.scan(folder.string()))
        if (info.path.rfind(folder.string(), 0) != 0)
            __builtin_trap();  // a plug-in outside the folder
    return 0;
}
