#include "filetransfer/TarWriter.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

#include "tests/support/TempDir.h"
#include "tests/support/LogCapture.h"

using namespace kiv_proxy;

namespace {

std::vector<uint8_t> gunzip(const std::string& path)
{
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr)
        throw std::runtime_error("cannot open " + path);
    std::vector<uint8_t> content;
    uint8_t buffer[8192];
    int n;
    while ((n = gzread(file, buffer, sizeof(buffer))) > 0)
        content.insert(content.end(), buffer, buffer + n);
    gzclose(file);
    return content;
}

std::string field(const char* start, size_t size) { return std::string(start, strnlen(start, size)); }

std::string fileContent(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

const std::vector<uint8_t> kFooter(1024, 0);

TEST(TarWriter, HeaderOfAFiveByteFileAtTimeZero)
{
    TarWriter::TarHeader header;
    TarWriter::fillHeader(header, "x.log", 5, 0100644, 0, 0, 0);
    EXPECT_EQ(field(header.name, 100), "x.log");
    EXPECT_EQ(field(header.mode, 8), "0000644") << "the mode keeps its low nine bits";
    EXPECT_EQ(field(header.uid, 8), "0000000");
    EXPECT_EQ(field(header.gid, 8), "0000000");
    EXPECT_EQ(field(header.size, 12), "00000000005");
    EXPECT_EQ(field(header.mtime, 12), "00000000000");
    EXPECT_EQ(header.typeflag, '0');
    EXPECT_EQ(std::string(header.magic, 6), std::string("ustar\0", 6));
    EXPECT_EQ(std::string(header.version, 2), "00");
    EXPECT_EQ(field(header.uname, 32), "user");
    EXPECT_EQ(field(header.gname, 32), "group");

    // The checksum: all bytes summed with the field blank, 7 octal digits and a NUL.
    const std::string written = field(header.chksum, 8);
    ASSERT_EQ(written.size(), 7u);
    EXPECT_EQ(header.chksum[7], '\0');
    std::memset(header.chksum, ' ', 8);
    unsigned sum = 0;
    for (size_t i = 0; i < sizeof(header); ++i)
        sum += reinterpret_cast<const unsigned char*>(&header)[i];
    EXPECT_EQ(std::stoul(written, nullptr, 8), sum);
}

TEST(TarWriter, AnEmptyArchiveIsTheEndOfArchiveBlocks)
{
    TempDir dir;
    {
        TarWriter writer(dir / "empty.tar.gz");
    }
    EXPECT_EQ(gunzip(dir / "empty.tar.gz"), kFooter);
}

TEST(TarWriter, MembersArePaddedToWholeRecords)
{
    kiv_test::initTestLogger();
    const struct {
        size_t size;
        size_t padding;
    } cases[] = {{1000, 24}, {1024, 0}, {1, 511}, {0, 0}};
    for (const auto& c : cases) {
        TempDir dir;
        const std::string data(c.size, 'd');
        std::ofstream(dir / "m.log", std::ios::binary) << data;
        {
            TarWriter writer(dir / "a.tar.gz");
            ASSERT_TRUE(writer.addFile(dir / "m.log"));
            writer.finish();
        }
        const auto tar = gunzip(dir / "a.tar.gz");
        ASSERT_EQ(tar.size(), 512 + c.size + c.padding + kFooter.size()) << c.size;
        EXPECT_EQ(std::string(tar.begin() + 512, tar.begin() + 512 + static_cast<ptrdiff_t>(c.size)), data);
        EXPECT_TRUE(std::all_of(tar.begin() + 512 + static_cast<ptrdiff_t>(c.size), tar.end(),
                                [](uint8_t b) { return b == 0; }));
    }
}

// Files whose size changes between status and copy: /proc reports 0 bytes
// for a file with content (it "grew"), sysfs reports 4096 for a few bytes
// (it "shrank"). Each member holds exactly the recorded size.
TEST(TarWriter, AMemberHoldsExactlyTheSizeItsHeaderRecords)
{
    kiv_test::initTestLogger();
    struct stat status {};
    const std::string shrinking = "/sys/devices/system/cpu/online";
    if (stat(shrinking.c_str(), &status) != 0 || status.st_size != 4096)
        GTEST_SKIP() << "no sysfs file to stand for a shrinking file";
    const std::string content = fileContent(shrinking);

    TempDir dir;
    {
        TarWriter writer(dir / "a.tar.gz");
        ASSERT_TRUE(writer.addFile("/proc/self/status"));
        ASSERT_TRUE(writer.addFile(shrinking));
    }
    const auto tar = gunzip(dir / "a.tar.gz");
    ASSERT_EQ(tar.size(), 512 + 512 + 4096 + kFooter.size());
    const auto* second = reinterpret_cast<const TarWriter::TarHeader*>(tar.data() + 512);
    EXPECT_EQ(field(second->name, 100), "online");
    EXPECT_EQ(field(second->size, 12), "00000010000");
    const auto data = tar.begin() + 1024;
    EXPECT_EQ(std::string(data, data + static_cast<ptrdiff_t>(content.size())), content);
    EXPECT_TRUE(std::all_of(data + static_cast<ptrdiff_t>(content.size()), tar.end(), [](uint8_t b) { return b == 0; }));
}

TEST(TarWriter, GnuTarAndPythonReadTheArchive)
{
    kiv_test::initTestLogger();
    TempDir dir;
    std::string big(70000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    std::ofstream(dir / "big.log", std::ios::binary) << big;
    std::ofstream(dir / "small.log") << "one line\n";
    const utimbuf times{1715900000, 1715900000};
    utime((dir / "small.log").c_str(), &times);
    {
        TarWriter writer(dir / "a.tar.gz");
        writer.addFile(dir / "big.log");
        writer.addFile(dir / "small.log");
    }

    mkdir((dir / "gnu").c_str(), 0755);
    ASSERT_EQ(system(("tar -xzf " + dir / "a.tar.gz" + " -C " + dir / "gnu").c_str()), 0);
    EXPECT_EQ(fileContent(dir / "gnu/big.log"), big);
    EXPECT_EQ(fileContent(dir / "gnu/small.log"), "one line\n");
    struct stat status {};
    stat((dir / "gnu/small.log").c_str(), &status);
    EXPECT_EQ(status.st_mtime, 1715900000);

    const std::string python = "python3 -c \"import tarfile,sys; t=tarfile.open(sys.argv[1]); "
                               "sys.exit(0 if [(m.name, m.size, m.mode) for m in t.getmembers()] == "
                               "[('big.log', 70000, 0o644), ('small.log', 9, 0o644)] else 1)\" " +
                               dir / "a.tar.gz";
    EXPECT_EQ(system(python.c_str()), 0);
}

TEST(TarWriter, AnArchiveThatCannotBeCreatedRaises)
{
    try {
        TarWriter writer("/nonexistent-dir/a.tar.gz");
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Failed to open gzip output file");
    }
}

} // namespace
