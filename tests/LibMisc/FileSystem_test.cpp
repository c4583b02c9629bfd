#include "LibMisc/FileSystem.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using LibMisc::Directory;
using LibMisc::FileSystem;
using Names = std::vector<std::string>;

namespace {

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

std::string readFile(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

mode_t permissions(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

Names sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(FileSystem, ExistenceTests)
{
    TempDir dir;
    writeFile(dir / "file", "x");
    struct Case {
        std::string path;
        bool exists, file, directory;
    };
    const Case cases[] = {
        {dir.path(), true, false, true},
        {dir / "file", true, true, false},
        {dir / "missing", false, false, false},
        {"/", true, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileSystem::isExist(c.path), c.exists) << c.path;
        EXPECT_EQ(FileSystem::isFileExist(c.path), c.file) << c.path;
        EXPECT_EQ(FileSystem::isDirExist(c.path), c.directory) << c.path;
        const FileSystem object(c.path);
        EXPECT_EQ(object.isExist(), c.exists) << c.path;
        EXPECT_EQ(object.isFileExist(), c.file) << c.path;
        EXPECT_EQ(object.isDirExist(), c.directory) << c.path;
    }
    EXPECT_EQ(FileSystem().getPath(), "/");
}

TEST(FileSystem, CommandsChangeTheTree)
{
    TempDir dir;
    const std::string nested = dir / "a/b c/d";
    ASSERT_TRUE(FileSystem::createDir(nested));
    EXPECT_TRUE(FileSystem::isDirExist(nested));
    EXPECT_EQ(permissions(nested), 0777u);

    writeFile(dir / "source", "payload");
    EXPECT_TRUE(FileSystem(dir / "source").copy(nested + "/copy"));
    EXPECT_EQ(readFile(nested + "/copy"), "payload");
    EXPECT_FALSE(FileSystem::copy(dir / "missing", nested + "/other"));

    EXPECT_TRUE(FileSystem::chmod(dir / "source", "600"));
    EXPECT_EQ(permissions(dir / "source"), 0600u);
    EXPECT_TRUE(FileSystem(dir / "a").chmodDir("700"));
    EXPECT_EQ(permissions(nested + "/copy"), 0700u);
    EXPECT_FALSE(FileSystem::chmod(dir / "missing", "600"));

    EXPECT_TRUE(FileSystem(dir / "a").remove());
    EXPECT_FALSE(FileSystem::isExist(dir / "a"));
    EXPECT_TRUE(FileSystem::remove(dir / "missing")); // rm -f: nothing to do is success
}

class DirectoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(_dir / "a.log", "");
        writeFile(_dir / "b.txt", "");
        ASSERT_TRUE(FileSystem::createDir(_dir / "sub.log"));
    }
    TempDir _dir;
};

TEST_F(DirectoryTest, ListsTheEntriesOfItsKind)
{
    struct Case {
        LibMisc::DirType kind;
        Names expected;
    };
    const Case cases[] = {
        {LibMisc::DirFiles, {"a.log", "b.txt"}},
        {LibMisc::DirDirectories, {"sub.log"}},
        {LibMisc::DirAll, {"a.log", "b.txt", "sub.log"}},
    };
    for (const Case& c : cases) {
        Directory directory(_dir.path() + "/", c.kind);
        ASSERT_TRUE(directory.open());
        EXPECT_TRUE(directory.isOpen());
        EXPECT_EQ(sorted(Names(directory.begin(), directory.end())), c.expected) << c.kind;
    }

    Directory directory(_dir.path(), LibMisc::DirFiles);
    ASSERT_TRUE(directory.open());
    EXPECT_EQ(directory.getDirList(), Names{"sub.log"});
    EXPECT_EQ(sorted(directory.getFileList()), (Names{"a.log", "b.txt"}));
}

TEST_F(DirectoryTest, UnopenableDirectory)
{
    Directory directory(_dir / "missing", LibMisc::DirAll);
    EXPECT_FALSE(directory.open());
    EXPECT_FALSE(directory.isOpen());
    EXPECT_TRUE(directory.empty());
    EXPECT_TRUE(directory.getDirList().empty());

    Names out = {"kept"};
    EXPECT_FALSE(Directory::getFileList(out, _dir / "missing"));
    EXPECT_FALSE(Directory::getDirList(out, _dir / "a.log"));
    EXPECT_EQ(out, Names{"kept"});
}

TEST_F(DirectoryTest, StaticListsReplaceTheOutput)
{
    Names out = {"stale"};
    ASSERT_TRUE(Directory::getFileList(out, _dir.path()));
    EXPECT_EQ(sorted(out), (Names{"a.log", "b.txt"}));
    ASSERT_TRUE(Directory::getDirList(out, _dir.path()));
    EXPECT_EQ(out, Names{"sub.log"});
}

TEST_F(DirectoryTest, FindByExtension)
{
    std::string name;
    EXPECT_TRUE(Directory::findFileByExtension(".txt", _dir.path(), name));
    EXPECT_EQ(name, "b.txt");
    EXPECT_FALSE(Directory::findFileByExtension(".gz", _dir.path(), name));
    EXPECT_FALSE(Directory::findFileByExtension(".txt", _dir / "missing", name));

    Names names = {"earlier"};
    EXPECT_TRUE(Directory::findFilesByExtension(".log", _dir.path(), names));
    EXPECT_EQ(sorted(names), (Names{"a.log", "earlier", "sub.log"}));

    Names none;
    EXPECT_FALSE(Directory::findFilesByExtension(".gz", _dir.path(), none));
}
