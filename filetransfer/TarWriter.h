#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <zlib.h>

namespace kiv_proxy {

// Writes a POSIX ustar archive compressed on the fly into a gzip file.
class TarWriter {
public:
    static constexpr size_t kRecordSize = 512;

    struct TarHeader {
        char name[100];
        char mode[8];
        char uid[8];
        char gid[8];
        char size[12];
        char mtime[12];
        char chksum[8];
        char typeflag;
        char linkname[100];
        char magic[6];
        char version[2];
        char uname[32];
        char gname[32];
        char devmajor[8];
        char devminor[8];
        char prefix[155];
        char padding[12];
    };
    static_assert(sizeof(TarHeader) == kRecordSize, "a tar header is one record");

    // Raises std::runtime_error "Failed to open gzip output file".
    explicit TarWriter(const std::string& path);
    // Completes the archive unless finish() did; errors go unreported here.
    ~TarWriter();
    TarWriter(const TarWriter&) = delete;
    TarWriter& operator=(const TarWriter&) = delete;

    // Appends one member holding exactly the size the file had when its
    // status was read: bytes it gained later are left out, and where it has
    // fewer (it shrank or cannot be opened) zeros complete the member.
    // False, with nothing written, when the size does not fit a tar header.
    bool addFile(const std::string& path);
    // Writes the end of the archive and closes the file; raises
    // std::runtime_error "Failed to write gzip output file" when any write failed.
    void finish();

    static void fillHeader(TarHeader& header, const std::string& name, uint64_t size, uint32_t mode, uint32_t uid,
                           uint32_t gid, int64_t mtime);
    // `width` - 1 zero-padded octal digits and a NUL byte.
    static void fillOctal(char* field, size_t width, uint64_t value);

private:
    void writeHeader(const TarHeader& header);
    void writeZeroPadding(uint64_t size);
    void writeFooter();
    void _write(const void* data, size_t length);
    void _writeZeros(uint64_t count);

    gzFile _file;
    bool _failed = false;
};

} // namespace kiv_proxy
