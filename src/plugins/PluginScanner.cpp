// SPDX-License-Identifier: GPL-3.0-or-later
// Finds VST3 plug-ins on disk and describes each without loading it.
#include "PluginScanner.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string withoutExtension(const std::string &fileName)
{
    return fileName.size() > 5 ? fileName.substr(0, fileName.size() - 5) : fileName;
}

std::string readText(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace

std::vector<PluginInfo> PluginScanner::scan(const std::string &directory)
{
    std::vector<PluginInfo> result;
    if (!directory.empty()) {
        scanDirectory(directory, result);
    } else {
        for (const std::string &folder : getDefaultSearchPaths())
            scanDirectory(folder, result);
    }
    std::cout << "PluginScanner: Found " << result.size() << " plugins" << std::endl;
    return result;
}

void PluginScanner::scanDirectory(const std::string &directory, std::vector<PluginInfo> &out)
{
    try {
        if (!fs::exists(directory) || !fs::is_directory(directory))
            return;
        for (auto it = fs::recursive_directory_iterator(directory); it != fs::recursive_directory_iterator(); ++it) {
            const std::string path = it->path().string();
            // A link whose target cannot be read (a loop, say) is no plug-in, and must not end
            // the walk for the entries after it.
            std::error_code unreadable;
            const bool directoryEntry = it->is_directory(unreadable);
            if (directoryEntry && !isValidPlugin(path))
                continue;
            // A bundle is one plug-in: its insides are not plug-ins of their own.
            if (directoryEntry)
                it.disable_recursion_pending();
            else if (!it->is_regular_file(unreadable) || !isValidPlugin(path))
                continue;
            PluginInfo info = parseVST3Plugin(path);
            if (!info.name.empty())
                out.push_back(std::move(info));
        }
    } catch (const std::exception &error) {
        std::cerr << "PluginScanner: Error scanning directory: " << error.what() << std::endl;
    }
}

std::vector<std::string> PluginScanner::getDefaultSearchPaths()
{
    std::vector<std::string> paths;
    if (const char *home = std::getenv("HOME"); home && *home)
        paths.push_back(std::string(home) + "/.vst3");
    paths.push_back("/usr/lib/vst3");
    paths.push_back("/usr/local/lib/vst3");
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

bool PluginScanner::isValidPlugin(const std::string &path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == "vst3";
}

PluginInfo PluginScanner::parseVST3Plugin(const std::string &path)
{
    PluginInfo info;
    info.path = path;
    info.format = "vst3";
    try {
        const fs::path file(path);
        fs::path plist;
        if (file.extension() == ".vst3") {
            plist = file / "Contents" / "Info.plist";
        } else {
            fs::path folder = file.parent_path();
            while (folder.has_parent_path() && folder != folder.parent_path() && folder.filename() != "Contents")
                folder = folder.parent_path();
            if (folder.filename() == "Contents")
                plist = folder / "Info.plist";
        }
        if (plist.empty() || !fs::exists(plist)) {
            info.name = withoutExtension(file.filename().string());
            info.uid = info.name;
        } else {
            const std::string text = readText(plist);
            fs::path bundle = file;
            while (bundle.has_extension() && bundle.extension() != ".vst3")
                bundle = bundle.parent_path();
            if (bundle.extension() == ".vst3") {
                const std::string fileName = bundle.filename().string();
                info.name = fileName.size() == 5 ? std::string() : withoutExtension(fileName);
                info.uid = info.name;
            }
            const std::size_t open = text.find("<vendor>");
            const std::size_t close = open == std::string::npos ? open : text.find("</vendor>", open);
            if (close != std::string::npos)
                info.vendor = text.substr(open + 8, close - open - 8);
        }
    } catch (const std::exception &error) {
        std::cerr << "PluginScanner: Error parsing VST3: " << error.what() << std::endl;
    }
    info.numInputChannels = 2;
    info.numOutputChannels = 2;
    return info;
}
