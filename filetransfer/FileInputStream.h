#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kiv_proxy {

// A file opened for binary reading; closed when destroyed or reopened.
class FileInputStream {
public:
    FileInputStream() = default;
    ~FileInputStream();
    FileInputStream(const FileInputStream&) = delete;
    FileInputStream& operator=(const FileInputStream&) = delete;

    bool openFromFile(const std::string& path);
    // The count read; 0 when n is 0, -1 when no file is open.
    int64_t read(void* buffer, int64_t n);
    bool seek(int64_t position);
    int64_t tell();
    // Found by seeking to the end and back; -1 on failure.
    int64_t getSize();

private:
    void _close();

    FILE* _file = nullptr;
};

} // namespace kiv_proxy
