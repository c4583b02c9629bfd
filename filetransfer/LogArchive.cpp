#include "filetransfer/LogArchive.h"

#include <algorithm>
#include <utility>

#include "LibMisc/FileSystem.h"
#include "filetransfer/FileApi.h"
#include "filetransfer/TarWriter.h"
#include "logging/Logger.h"

namespace kiv_proxy {

namespace {
bool isLogFileName(const std::string& name)
{
    const auto pieces = utils::split_string(name, '.');
    return pieces.size() >= 2 && pieces.back() == "log";
}
} // namespace

std::vector<std::string> getNamesByLastDays(const std::string& directory, size_t count)
{
    std::string prefix;
    for (const auto& piece : utils::split_string(directory, '/'))
        prefix += piece + "/";
    logger::Log::s_CoreLogger->info("[File Transfer] Directory path: {0}", prefix);

    std::vector<std::pair<std::string, FileInfo>> logs;
    iterateDirectory(prefix, [&](FileType type, const std::string& name) {
        if (type == Directory || !isLogFileName(name))
            return;
        FileInfo info;
        if (fileStats(prefix + name, info))
            logs.emplace_back(prefix + name, info);
    });
    std::stable_sort(logs.begin(), logs.end(), [](const auto& a, const auto& b) {
        return a.second.modificationTime > b.second.modificationTime;
    });

    std::vector<std::string> newest;
    for (size_t i = 0; i < std::min(count, logs.size()); ++i)
        newest.push_back(logs[i].first);
    return newest;
}

void createLogArchive(const std::string& archivePath, const std::string& directory, size_t count)
{
    if (isFileExists(archivePath)) {
        logger::Log::s_CoreLogger->debug("Tar file exist, removing it");
        LibMisc::FileSystem::remove(archivePath);
    }
    TarWriter writer(archivePath);
    for (const auto& path : getNamesByLastDays(directory, count)) {
        if (!isFileExists(path) || !writer.addFile(path))
            logger::Log::s_CoreLogger->warn("[File Transfer] Error while adding {} to tar file", path);
    }
    writer.finish();
}

} // namespace kiv_proxy
