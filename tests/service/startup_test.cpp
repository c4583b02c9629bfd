// The start-up of the real kiv_proxy binary: command line, lock file, daemon
// start and the choice of the log directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/LogFileName.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

using namespace kiv_test;
using namespace std::chrono_literals;

const std::string kBinary = KIV_PROXY_BIN;
const char* const kLockFile = "/tmp/KivProxy.lock";

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

bool isDir(const std::string& path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Plays a running instance: holds the lock with the given content.
class LockHolder {
public:
    explicit LockHolder(const std::string& content)
    {
        _fd = open(kLockFile, O_RDWR | O_CREAT, 0644);
        EXPECT_GE(_fd, 0);
        EXPECT_EQ(flock(_fd, LOCK_EX | LOCK_NB), 0) << "another kiv_proxy holds " << kLockFile;
        EXPECT_EQ(ftruncate(_fd, 0), 0);
        EXPECT_EQ(pwrite(_fd, content.data(), content.size(), 0), static_cast<ssize_t>(content.size()));
    }
    ~LockHolder() { close(_fd); }

private:
    int _fd = -1;
};

bool lockIsHeld()
{
    const int fd = open(kLockFile, O_RDWR);
    if (fd < 0)
        return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

int32_t lockPid()
{
    int32_t pid = 0;
    const int fd = open(kLockFile, O_RDONLY);
    if (fd >= 0) {
        if (pread(fd, &pid, sizeof(pid), 0) != sizeof(pid))
            pid = 0;
        close(fd);
    }
    return pid;
}

class Startup : public ::testing::Test {
protected:
    TempDir dir;
    std::string configDir() const { return dir.path() + "/config"; }
    std::string logsDir() const { return dir.path() + "/logs"; }
    std::string todaysLog() const { return logsDir() + "/" + kiv_test::todaysLogName(); }

    size_t bannerCount() const
    {
        const std::string log = readFile(todaysLog());
        const std::string banner = "Service started as usual application - Version 0.0.14";
        size_t count = 0;
        for (auto at = log.find(banner); at != std::string::npos; at = log.find(banner, at + 1))
            ++count;
        return count;
    }

    // Runs in the foreground until its banner is logged, then stops it.
    void runUntilStarted(const std::vector<std::string>& args)
    {
        const size_t before = bannerCount();
        ChildProcess proxy(args, dir.path());
        EXPECT_TRUE(waitFor([&] { return bannerCount() > before; })) << proxy.out() << proxy.err();
    }
};

TEST_F(Startup, VersionTouchesNeitherLockNorLog)
{
    LockHolder running("\x01\x02\x03\x04");
    ChildProcess proxy({kBinary, "--version", configDir(), logsDir()}, dir.path());
    ASSERT_TRUE(proxy.waitExit());
    EXPECT_EQ(proxy.status(), 0);
    EXPECT_EQ(proxy.out(), "ver. 0.0.14\n");
    EXPECT_FALSE(isDir(logsDir()));
    EXPECT_FALSE(isDir(configDir()));
}

TEST_F(Startup, HelpNamesTheDefaultDirectoriesAndPorts)
{
    LockHolder running("");
    ChildProcess proxy({kBinary, "--help"}, dir.path());
    ASSERT_TRUE(proxy.waitExit());
    EXPECT_EQ(proxy.status(), 0);
    const std::string help = proxy.out();
    const std::string exeDir = kBinary.substr(0, kBinary.rfind('/'));
    const std::vector<std::string> parts = {"Usage: kiv_proxy", "(default: " + exeDir + ")", "(default: " + exeDir + "/logs)",
                                            "10500", "12500", "12556", "10115", "9053"};
    for (const auto& part : parts)
        EXPECT_NE(help.find(part), std::string::npos) << part << "\n" << help;
}

TEST_F(Startup, SecondInstanceIsRefused)
{
    const struct {
        std::string lockContent;
        std::string message;
    } cases[] = {
        {std::string("\x39\x30\x00\x00", 4), "The proxy service is already running by PID: 12345\n"},
        {"", "The proxy service is already running (PID unknown)\n"},
    };
    for (const auto& c : cases) {
        LockHolder running(c.lockContent);
        ChildProcess proxy({kBinary, "run", configDir(), logsDir()}, dir.path());
        ASSERT_TRUE(proxy.waitExit());
        EXPECT_EQ(proxy.status(), 1);
        EXPECT_EQ(proxy.out(), c.message);
        EXPECT_FALSE(isDir(logsDir()));
    }
}

TEST_F(Startup, ForegroundLogsToTheDailyFileAndAppendsOnRestart)
{
    runUntilStarted({kBinary, "run", configDir(), logsDir()});
    runUntilStarted({kBinary, "run", configDir(), logsDir()});

    const std::string log = readFile(todaysLog());
    const std::string banner = "[info] KivProxy: ================ KIV Proxy Linux service starter ================\n";
    const auto first = log.find(banner);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(banner, first + 1), std::string::npos) << "second start did not append";
    EXPECT_EQ(log.find("Proxy daemon enable"), std::string::npos);
    EXPECT_TRUE(isDir(configDir()));
}

TEST_F(Startup, EmptyConfigurationFolderGetsTheDefaultsFile)
{
    runUntilStarted({kBinary, "run", configDir(), logsDir()});
    const std::string ini = readFile(configDir() + "/ProxyConfig.ini");
    EXPECT_EQ(ini.rfind("#<optional>\n[Proxy]\n", 0), 0u) << ini;
    EXPECT_NE(ini.find("\nLogsDir = \n"), std::string::npos) << ini;
}

TEST_F(Startup, ConfiguredLogsDirectoryIsCreated)
{
    const std::string configured = dir.path() + "/configured";
    ASSERT_EQ(mkdir(configDir().c_str(), 0755), 0);
    writeFile(configDir() + "/ProxyConfig.ini", "[Proxy]\nLogsDir = " + configured + "\nLogLevel = 1\n");

    ChildProcess proxy({kBinary, "run", configDir(), logsDir()}, dir.path());
    const std::string log = configured + "/" + kiv_test::todaysLogName();
    ASSERT_TRUE(waitFor([&] { return readFile(log).find("Version 0.0.14") != std::string::npos; })) << proxy.err();
    proxy.terminate();
    EXPECT_NE(proxy.out().find("Current logs directory not exist: " + configured + "\n"), std::string::npos);
    EXPECT_FALSE(isDir(logsDir()));
    // The incomplete file was completed, and the configured values kept.
    const std::string ini = readFile(configDir() + "/ProxyConfig.ini");
    EXPECT_NE(ini.find("LogLevel = 1\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("ServerPort = 10500\n"), std::string::npos) << ini;
}

TEST_F(Startup, UnusableLogsDirectoryFallsBackToTheDefault)
{
    ASSERT_EQ(mkdir(configDir().c_str(), 0755), 0);
    writeFile(configDir() + "/ProxyConfig.ini", "[Proxy]\nLogsDir = /proc/kiv-no-such-dir/logs\n");
    runUntilStarted({kBinary, "run", configDir(), logsDir()});
}

TEST_F(Startup, NoUsableLogsDirectoryEndsWithAClearMessage)
{
    const std::string impossible = "/proc/kiv-no-such-dir/logs";
    ChildProcess proxy({kBinary, "run", configDir(), impossible}, dir.path());
    ASSERT_TRUE(proxy.waitExit());
    EXPECT_EQ(proxy.status(), 1);
    EXPECT_NE(proxy.err().find("Cannot create log dir, sets default path: "), std::string::npos) << proxy.err();
    EXPECT_NE(proxy.err().find("cannot create default dir directiry: "), std::string::npos) << proxy.err();
    EXPECT_NE(proxy.err().find("Cannot open the log file in " + impossible + "/"), std::string::npos) << proxy.err();
}

TEST_F(Startup, ConfigurationThatCanNeitherBeReadNorCreatedEndsTheStart)
{
    ASSERT_EQ(mkdir(configDir().c_str(), 0755), 0);
    ASSERT_EQ(mkdir((configDir() + "/ProxyConfig.ini").c_str(), 0755), 0);
    ChildProcess proxy({kBinary, "run", configDir(), logsDir()}, dir.path());
    ASSERT_TRUE(proxy.waitExit());
    EXPECT_EQ(proxy.status(), 1);
    const std::string reason = proxy.err();
    EXPECT_EQ(reason.rfind("Cannot load configuration '" + configDir() + "/ProxyConfig.ini': ", 0), 0u) << reason;
    EXPECT_EQ(std::count(reason.begin(), reason.end(), '\n'), 1) << reason;
}

TEST_F(Startup, UnknownArgumentsRunInTheForeground)
{
    // Fewer than three arguments: the words are ignored and nothing crashes.
    for (const auto& args : {std::vector<std::string>{kBinary, "--bogus"},
                                                std::vector<std::string>{kBinary, "x", "y"}}) {
        ChildProcess proxy(args, dir.path());
        ASSERT_TRUE(waitFor([&] { return proxy.out().find("Version 0.0.14") != std::string::npos; }))
            << proxy.out() << proxy.err();
        proxy.terminate();
    }
}

TEST_F(Startup, DaemonDetachesAndHoldsTheLock)
{
    ChildProcess parent({kBinary, "-d", configDir(), logsDir()}, dir.path());
    ASSERT_TRUE(parent.waitExit());
    EXPECT_EQ(parent.status(), 0);

    ASSERT_TRUE(waitFor([&] { return bannerCount() > 0; }));
    const std::string log = readFile(todaysLog());
    const std::string line = "[info] KivProxy: Proxy daemon enable\n";
    const auto at = log.find(line);
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find("Proxy daemon enable", at + line.size()), std::string::npos) << "console output reached the file";

    const pid_t daemon = lockPid();
    EXPECT_NE(daemon, parent.pid());
    // Until it ends, the daemon holds the lock under its own identifier.
    if (kill(daemon, 0) == 0) {
        EXPECT_TRUE(lockIsHeld() || kill(daemon, 0) != 0);
        kill(daemon, SIGTERM);
    }
    EXPECT_TRUE(waitFor([] { return !lockIsHeld(); }));
    EXPECT_EQ(parent.out(), ""); // the daemon's output goes nowhere
}

} // namespace
