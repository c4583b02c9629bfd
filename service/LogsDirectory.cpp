#include "service/LogsDirectory.h"

#include <cstdio>
#include <sys/stat.h>

#include "LibMisc/FileSystem.h"

namespace kiv_proxy {

std::string chooseLogsDirectory(const std::string& configured, const std::string& fallback)
{
    if (LibMisc::FileSystem::isDirExist(configured))
        return configured;

    printf("Current logs directory not exist: %s\n", configured.c_str());
    if (mkdir(configured.c_str(), 0777) == 0)
        return configured;

    perror("Cannot create log dir, sets default path");
    if (!LibMisc::FileSystem::isDirExist(fallback) && mkdir(fallback.c_str(), 0777) != 0)
        perror("cannot create default dir directiry");
    return fallback;
}

} // namespace kiv_proxy
