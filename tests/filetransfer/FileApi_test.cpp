#include "filetransfer/FileApi.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "filetransfer/LogArchive.h"
#include "tests/support/TempDir.h"
#include "tests/support/LogCapture.h"

using namespace kiv_proxy;

namespace {

TEST(FileApi, PathParts)
{
    const struct {
        std::string path;
        std::string parent;
        std::string local;
    } cases[] = {
        {"/opt/app/prog", "opt/app", "prog"},
        {"/prog", "", "prog"},
        {"a/b", "a", "b"},
        {"prog", "prog", "prog"},
        {"/opt/app/", "opt/app", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parentFolder(c.path), c.parent) << c.path;
        EXPECT_EQ(localPath(c.path), c.local) << c.path;
    }
}

void writeFile(const std::string& path, const std::string& content, time_t mtime)
{
    std::ofstream(path) << content;
    const utimbuf times{mtime, mtime};
    utime(path.c_str(), &times);
}

TEST(LogArchive, ChoosesTheSevenNewestLogFilesNewestFirst)
{
    kiv_test::initTestLogger();
    TempDir dir;
    // Day n was last written at n hours: kivproxy_2024-05-10.log is the newest.
    for (int day = 1; day <= 10; ++day) {
        char name[32];
        snprintf(name, sizeof(name), "kivproxy_2024-05-%02d.log", day);
        writeFile(dir / name, "day", day * 3600);
    }
    // Newer than all of them, but not log files.
    for (const char* other : {"notes.txt", "a.log.1", "log"})
        writeFile(dir / other, "x", 100000);
    mkdir((dir / "archive.log").c_str(), 0755);

    std::vector<std::string> expected;
    for (int day = 10; day >= 4; --day) {
        char name[32];
        snprintf(name, sizeof(name), "kivproxy_2024-05-%02d.log", day);
        expected.push_back(dir.path() + "/" + name);
    }
    EXPECT_EQ(getNamesByLastDays(dir.path(), 7), expected);
    EXPECT_EQ(getNamesByLastDays(dir.path() + "/", 2).size(), 2u) << "a trailing slash is harmless";
    EXPECT_TRUE(getNamesByLastDays(dir.path(), 0).empty());
    EXPECT_TRUE(getNamesByLastDays(dir / "missing", 7).empty());
}

TEST(LogArchive, XDotLogQualifies)
{
    kiv_test::initTestLogger();
    TempDir dir;
    writeFile(dir / "x.log", "x", 0);
    EXPECT_EQ(getNamesByLastDays(dir.path(), 7), std::vector<std::string>{dir.path() + "/x.log"});
}

} // namespace
