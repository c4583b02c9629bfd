#include "LibMisc/FileSystem.h"

#include "LibMisc/CCode/Execute.h"

#include <sys/stat.h>
#include <utility>

namespace LibMisc {

namespace {

bool run(const char* const argv[])
{
    return execute_wait("/", argv) == 0;
}

// The mode bits of `path`, or 0 when it cannot be examined. Each caller gets
// its own stat record so that threads may test paths at the same time.
mode_t fileMode(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

std::string join(const std::string& directory, const std::string& name)
{
    if (!directory.empty() && directory.back() == '/')
        return directory + name;
    return directory + "/" + name;
}

} // namespace

FileSystem::FileSystem(const std::string& path) : _path(path) {}

bool FileSystem::remove(const std::string& path)
{
    const char* const argv[] = {"/bin/rm", "-fr", "--", path.c_str(), nullptr};
    return run(argv);
}

bool FileSystem::copy(const std::string& source, const std::string& destination)
{
    const char* const argv[] = {"/bin/cp", "--", source.c_str(), destination.c_str(), nullptr};
    return run(argv);
}

bool FileSystem::chmod(const std::string& path, const std::string& mode)
{
    return chmod_cmd(mode.c_str(), path.c_str()) == 0;
}

bool FileSystem::chmodDir(const std::string& path, const std::string& mode)
{
    return chmod_d_cmd(mode.c_str(), path.c_str()) == 0;
}

bool FileSystem::createDir(const std::string& path)
{
    return mkdir_cmd(path.c_str(), "777") == 0;
}

bool FileSystem::isExist(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool FileSystem::isFileExist(const std::string& path)
{
    return S_ISREG(fileMode(path));
}

bool FileSystem::isDirExist(const std::string& path)
{
    return S_ISDIR(fileMode(path));
}

bool FileSystem::remove() const { return remove(_path); }
bool FileSystem::copy(const std::string& destination) const { return copy(_path, destination); }
bool FileSystem::chmod(const std::string& mode) const { return chmod(_path, mode); }
bool FileSystem::chmodDir(const std::string& mode) const { return chmodDir(_path, mode); }
bool FileSystem::createDir() const { return createDir(_path); }
bool FileSystem::isExist() const { return isExist(_path); }
bool FileSystem::isFileExist() const { return isFileExist(_path); }
bool FileSystem::isDirExist() const { return isDirExist(_path); }

// ---- Directory

Directory::Directory(const std::string& path, DirType kind) : _path(path), _kind(kind) {}

Directory::~Directory()
{
    if (_dir != nullptr)
        closedir(_dir);
}

bool Directory::open()
{
    if (_dir == nullptr)
        _dir = opendir(_path.c_str());
    _isOpen = _dir != nullptr;
    if (_isOpen)
        _read(_kind);
    return _isOpen;
}

const std::vector<std::string>& Directory::getDirList()
{
    if (_isOpen)
        _read(DirDirectories);
    return _names;
}

const std::vector<std::string>& Directory::getFileList()
{
    if (_isOpen)
        _read(DirFiles);
    return _names;
}

void Directory::_read(DirType kind)
{
    rewinddir(_dir);
    _names.clear();
    while (const dirent* entry = readdir(_dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (kind == DirAll ||
            (kind == DirFiles && S_ISREG(fileMode(join(_path, name)))) ||
            (kind == DirDirectories && S_ISDIR(fileMode(join(_path, name)))))
            _names.push_back(name);
    }
}

bool Directory::_list(std::vector<std::string>& out, const std::string& path, DirType kind)
{
    if (!FileSystem::isDirExist(path))
        return false;
    Directory directory(path, kind);
    if (!directory.open())
        return false;
    out = std::move(directory._names);
    return true;
}

bool Directory::getDirList(std::vector<std::string>& out, std::string path)
{
    return _list(out, path, DirDirectories);
}

bool Directory::getFileList(std::vector<std::string>& out, std::string path)
{
    return _list(out, path, DirFiles);
}

bool Directory::findFileByExtension(const std::string& extension, std::string path, std::string& name)
{
    std::vector<std::string> entries;
    if (!_list(entries, path, DirAll))
        return false;
    for (const std::string& entry : entries) {
        if (entry.find(extension) != std::string::npos) {
            name = entry;
            return true;
        }
    }
    return false;
}

bool Directory::findFilesByExtension(const std::string& extension, std::string path,
                                     std::vector<std::string>& names)
{
    std::vector<std::string> entries;
    if (_list(entries, path, DirAll)) {
        for (const std::string& entry : entries) {
            if (entry.find(extension) != std::string::npos)
                names.push_back(entry);
        }
    }
    return !names.empty();
}

} // namespace LibMisc
