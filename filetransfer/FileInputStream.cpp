#include "filetransfer/FileInputStream.h"

namespace kiv_proxy {

FileInputStream::~FileInputStream() { _close(); }

bool FileInputStream::openFromFile(const std::string& path)
{
    _close();
    _file = std::fopen(path.c_str(), "rb");
    return _file != nullptr;
}

int64_t FileInputStream::read(void* buffer, int64_t n)
{
    if (_file == nullptr)
        return -1;
    if (n <= 0)
        return 0;
    return static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(n), _file));
}

bool FileInputStream::seek(int64_t position)
{
    return _file != nullptr && fseeko(_file, static_cast<off_t>(position), SEEK_SET) == 0;
}

int64_t FileInputStream::tell() { return _file == nullptr ? -1 : static_cast<int64_t>(ftello(_file)); }

int64_t FileInputStream::getSize()
{
    const int64_t position = tell();
    if (position < 0 || fseeko(_file, 0, SEEK_END) != 0)
        return -1;
    const int64_t size = tell();
    return seek(position) ? size : -1;
}

void FileInputStream::_close()
{
    if (_file != nullptr)
        std::fclose(_file);
    _file = nullptr;
}

} // namespace kiv_proxy
