#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kiv_proxy {

// Full paths of the `count` newest *.log files of `directory`, newest first.
std::vector<std::string> getNamesByLastDays(const std::string& directory, size_t count);

// Packs the `count` newest log files of `directory` into a new .tar.gz at
// `archivePath`, replacing an existing one. Raises std::runtime_error when
// the archive cannot be created or written.
void createLogArchive(const std::string& archivePath, const std::string& directory, size_t count);

} // namespace kiv_proxy
