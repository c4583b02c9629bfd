#include "filetransfer/FileApi.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

#include "logging/Logger.h"

namespace kiv_proxy {

void iterateDirectory(const std::string& directory, const std::function<void(FileType, const std::string&)>& callback)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
    if (!dir) {
        logger::Log::s_CoreLogger->error("[Linux]: Iterating over directory error, {}\n", errno);
        return;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat status {};
        if (stat((directory + "/" + name).c_str(), &status) != 0)
            continue;
        callback(S_ISDIR(status.st_mode) ? Directory : NotDirectory, name);
    }
}

bool isFileExists(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string getAbsolutePath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr)
        return {};
    return resolved;
}

bool fileStats(const std::string& path, FileInfo& info)
{
    struct stat status {};
    if (stat(getAbsolutePath(path).c_str(), &status) != 0)
        return false;
    info.modificationTime = status.st_mtime;
    info.size = status.st_size;
    return true;
}

std::string localPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentFolder(const std::string& path)
{
    const auto pieces = utils::split_string(path, '/');
    std::string parent;
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        const bool afterLeadingEmpty = i == 1 && pieces[0].empty();
        if (i > 0 && !afterLeadingEmpty)
            parent += "/";
        parent += pieces[i];
    }
    return pieces.size() == 1 ? path : parent;
}

} // namespace kiv_proxy
