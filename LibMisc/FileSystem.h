#pragma once

#include <dirent.h>
#include <string>
#include <vector>

namespace LibMisc {

// File operations by path. Each exists as a static function taking the path
// and as a member using the object's own path; each returns true on success.
// remove, copy, chmod, chmodDir and createDir run the system's commands and
// wait for them.
class FileSystem {
public:
    FileSystem() = default;
    explicit FileSystem(const std::string& path);
    FileSystem(const FileSystem&) = default;
    FileSystem(FileSystem&&) = default;
    FileSystem& operator=(const FileSystem&) = default;
    FileSystem& operator=(FileSystem&&) = default;
    virtual ~FileSystem() = default;

    const std::string& getPath() const { return _path; }

    static bool remove(const std::string& path);                                  // rm -fr
    static bool copy(const std::string& source, const std::string& destination); // cp
    static bool chmod(const std::string& path, const std::string& mode);
    static bool chmodDir(const std::string& path, const std::string& mode);       // chmod -R
    static bool createDir(const std::string& path);                               // mkdir -p -m 777
    static bool isExist(const std::string& path);
    static bool isFileExist(const std::string& path);
    static bool isDirExist(const std::string& path);

    bool remove() const;
    bool copy(const std::string& destination) const;
    bool chmod(const std::string& mode) const;
    bool chmodDir(const std::string& mode) const;
    bool createDir() const;
    bool isExist() const;
    bool isFileExist() const;
    bool isDirExist() const;

private:
    std::string _path = "/";
};

enum DirType {
    DirFiles = 0,       // regular files
    DirDirectories = 1, // directories
    DirAll = 2          // every entry except "." and ".."
};

// The names in one directory, in directory order.
class Directory {
public:
    using const_iterator = std::vector<std::string>::const_iterator;

    Directory(const std::string& path, DirType kind);
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    virtual ~Directory();

    // Opens the directory and reads the names of the kind; returns isOpen().
    bool open();
    bool isOpen() const { return _isOpen; }
    bool empty() const { return _names.empty(); }
    const_iterator begin() const { return _names.begin(); }
    const_iterator end() const { return _names.end(); }

    // Reread the open directory for directories or regular files.
    const std::vector<std::string>& getDirList();
    const std::vector<std::string>& getFileList();

    // out := the directory (file) names of `path`; false when it cannot be opened.
    static bool getDirList(std::vector<std::string>& out, std::string path);
    static bool getFileList(std::vector<std::string>& out, std::string path);
    // Entries of `path` whose name contains `extension` anywhere.
    static bool findFileByExtension(const std::string& extension, std::string path, std::string& name);
    static bool findFilesByExtension(const std::string& extension, std::string path,
                                     std::vector<std::string>& names);

private:
    void _read(DirType kind);
    static bool _list(std::vector<std::string>& out, const std::string& path, DirType kind);

    bool _isOpen = false;
    std::string _path;
    std::vector<std::string> _names;
    DIR* _dir = nullptr;
    DirType _kind;
};

} // namespace LibMisc
