#include "filetransfer/TarWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "filetransfer/FileApi.h"
#include "filetransfer/FileInputStream.h"

namespace kiv_proxy {

namespace {
constexpr size_t kCopyBlock = 8192;
constexpr uint32_t kMemberMode = 0644;
// The largest value of the 11 octal digits of the size and time fields.
constexpr uint64_t kMaxOctal11 = 077777777777ULL;

template <size_t N>
void fillText(char (&field)[N], const std::string& text)
{
    std::memcpy(field, text.data(), std::min(N, text.size()));
}
} // namespace

TarWriter::TarWriter(const std::string& path) : _file(gzopen(path.c_str(), "wb"))
{
    if (_file == nullptr)
        throw std::runtime_error("Failed to open gzip output file");
}

TarWriter::~TarWriter()
{
    if (_file == nullptr)
        return;
    try {
        finish();
    } catch (const std::exception&) {
        // The destructor has nobody to tell; finish() reports to those who ask.
    }
}

bool TarWriter::addFile(const std::string& path)
{
    FileInfo info;
    fileStats(path, info);
    const uint64_t size = static_cast<uint64_t>(std::max<int64_t>(info.size, 0));
    if (size > kMaxOctal11)
        return false;

    TarHeader header;
    fillHeader(header, localPath(path), size, kMemberMode, 0, 0, info.modificationTime);
    writeHeader(header);

    uint64_t copied = 0;
    FileInputStream input;
    if (input.openFromFile(path)) {
        std::vector<char> block(kCopyBlock);
        while (copied < size) {
            const int64_t want = static_cast<int64_t>(std::min<uint64_t>(block.size(), size - copied));
            const int64_t got = input.read(block.data(), want);
            if (got <= 0)
                break;
            _write(block.data(), static_cast<size_t>(got));
            copied += static_cast<uint64_t>(got);
        }
    }
    _writeZeros(size - copied);
    writeZeroPadding(size);
    return true;
}

void TarWriter::finish()
{
    if (_file == nullptr)
        return;
    writeFooter();
    if (gzclose(_file) != Z_OK)
        _failed = true;
    _file = nullptr;
    if (_failed)
        throw std::runtime_error("Failed to write gzip output file");
}

void TarWriter::fillHeader(TarHeader& header, const std::string& name, uint64_t size, uint32_t mode, uint32_t uid,
                           uint32_t gid, int64_t mtime)
{
    std::memset(&header, 0, sizeof(header));
    fillText(header.name, name);
    fillOctal(header.mode, sizeof(header.mode), mode & 0777);
    fillOctal(header.uid, sizeof(header.uid), uid);
    fillOctal(header.gid, sizeof(header.gid), gid);
    fillOctal(header.size, sizeof(header.size), size);
    fillOctal(header.mtime, sizeof(header.mtime), static_cast<uint64_t>(std::clamp<int64_t>(mtime, 0, kMaxOctal11)));
    header.typeflag = '0';
    std::memcpy(header.magic, "ustar", 6);
    std::memcpy(header.version, "00", 2);
    fillText(header.uname, "user");
    fillText(header.gname, "group");

    std::memset(header.chksum, ' ', sizeof(header.chksum));
    const auto* bytes = reinterpret_cast<const unsigned char*>(&header);
    uint64_t sum = 0;
    for (size_t i = 0; i < sizeof(header); ++i)
        sum += bytes[i];
    fillOctal(header.chksum, sizeof(header.chksum), sum);
}

void TarWriter::fillOctal(char* field, size_t width, uint64_t value)
{
    std::snprintf(field, width, "%0*llo", static_cast<int>(width - 1), static_cast<unsigned long long>(value));
}

void TarWriter::writeHeader(const TarHeader& header) { _write(&header, sizeof(header)); }

void TarWriter::writeZeroPadding(uint64_t size) { _writeZeros((kRecordSize - size % kRecordSize) % kRecordSize); }

void TarWriter::writeFooter() { _writeZeros(2 * kRecordSize); }

void TarWriter::_write(const void* data, size_t length)
{
    if (length > 0 && gzwrite(_file, data, static_cast<unsigned>(length)) != static_cast<int>(length))
        _failed = true;
}

void TarWriter::_writeZeros(uint64_t count)
{
    static const char zeros[kRecordSize] = {};
    while (count > 0) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, sizeof(zeros)));
        _write(zeros, chunk);
        count -= chunk;
    }
}

} // namespace kiv_proxy
