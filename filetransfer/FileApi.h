#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kiv_proxy {

struct FileInfo {
    int64_t modificationTime = 0; // seconds since the epoch
    int64_t size = 0;             // bytes
};

enum FileType { NotDirectory = 0, Directory = 1 };

// Calls `callback` for every entry except "." and "..", in directory order;
// entries whose status cannot be read are skipped. A directory that cannot
// be opened is logged and nothing is called.
void iterateDirectory(const std::string& directory, const std::function<void(FileType, const std::string&)>& callback);

bool isFileExists(const std::string& path);
// The canonical absolute path, or the empty text when it cannot be resolved.
std::string getAbsolutePath(const std::string& path);
// Modification time and size of the file; false leaves `info` unchanged.
bool fileStats(const std::string& path, FileInfo& info);
// The text after the last "/".
std::string localPath(const std::string& path);
// The path without its last component and without a leading "/":
// /opt/app/prog gives opt/app, /prog the empty text, a/b gives a.
std::string parentFolder(const std::string& path);

} // namespace kiv_proxy
