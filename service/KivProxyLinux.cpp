// Entry of kiv_proxy: command line, daemon start, single-instance lock,
// log set-up and hand-over to the supervisor.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <libgen.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/ProxyConfig.h"
#include "logging/Logger.h"
#include "service/LogsDirectory.h"
#include "service/ProxySvc.h"

namespace {

const char* const kVersion = "0.0.14";
const char* const kLockFile = "/tmp/KivProxy.lock";
const char* const kConfigFileName = "ProxyConfig.ini";
constexpr int kLevelInfo = 2;
constexpr unsigned kLevelMax = 6;

// Levels 0 (trace) to 6 (off) pass; anything else, negative included, means info.
int toLogLevel(int configured)
{
    const auto level = static_cast<unsigned>(configured);
    return level <= kLevelMax ? configured : kLevelInfo;
}

} // namespace

// Returns with the lock held, or ends the process with status 1.
void locKProxyFileInProcess()
{
    // Kept open for the life of the process: the advisory lock marks the running instance.
    const int fd = open(kLockFile, O_RDWR | O_CREAT, 0644);
    if (fd < 0) {
        printf("Error on starting: %i\n", errno);
        exit(1);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int32_t pid = 0;
        if (pread(fd, &pid, sizeof(pid), 0) > 0)
            printf("The proxy service is already running by PID: %i\n", pid);
        else
            printf("The proxy service is already running (PID unknown)\n");
        exit(1);
    }
    const int32_t own = getpid();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, &own, sizeof(own), 0) != static_cast<ssize_t>(sizeof(own)))
        perror("Cannot write the process id to the lock file");
}

void proxyRun(const std::string& configDir, const std::string& logsDir, bool daemon)
{
    mkdir(configDir.c_str(), 0777);
    const std::string iniPath = configDir + "/" + kConfigFileName;

    std::string logDir;
    bool hexDump = false;
    int level = kLevelInfo;
    try {
        // The log holds no directory yet, so the file's LogsDir default is empty.
        const ProxyConfig config(iniPath, "");
        logDir = kiv_proxy::chooseLogsDirectory(config.getLogsPath(), logsDir);
        hexDump = config.getHexDumpEnable();
        level = toLogLevel(config.getLogLevel());
    } catch (const ProxyConfigError& e) {
        fprintf(stderr, "%s\n", e.what());
        exit(1);
    }
    if (logDir.empty() || logDir.back() != '/')
        logDir += '/';
    logger::Log::setLogDirectoryPath(logDir);

    try {
        logger::Log::Init(hexDump, level);
    } catch (const std::exception& e) {
        fprintf(stderr, "Cannot open the log file in %s: %s\n", logDir.c_str(), e.what());
        exit(1);
    }

    auto& log = logger::Log::s_CoreLogger;
    if (daemon)
        log->info("Proxy daemon enable");
    log->info("================ KIV Proxy Linux service starter ================");
    log->info("Service started as usual application - Version {}", kVersion);

    proxySvcStart(iniPath);
}

namespace {

void exitOnFailure(int result)
{
    if (result < 0)
        exit(1);
}

// Double fork: the grandchild is the daemon, with no terminal and no descriptors.
void becomeDaemon()
{
    pid_t pid = fork();
    exitOnFailure(pid);
    if (pid > 0)
        exit(0);
    exitOnFailure(setsid());
    signal(SIGCHLD, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    pid = fork();
    exitOnFailure(pid);
    if (pid > 0)
        exit(0);
    umask(0);
    if (chdir("/") != 0)
        exit(1);
    const long maxFd = sysconf(_SC_OPEN_MAX);
    for (long fd = maxFd; fd >= 0; --fd)
        close(static_cast<int>(fd));
    // Park 0, 1 and 2 on /dev/null: otherwise the lock or log file would get
    // those numbers and console output would land in the log file.
    for (int fd = 0; fd <= 2; ++fd)
        if (open("/dev/null", O_RDWR) != fd)
            exit(1);
}

void printHelp(const std::string& exeDir)
{
    printf("Usage: kiv_proxy [-d | WORD] [CONFIG_DIR LOGS_DIR]\n"
           "       kiv_proxy --version | --help\n"
           "Carries the payment terminal's serial line to the network and the POS application.\n"
           "The first argument -d runs it as a daemon; any other word runs it in the foreground.\n"
           "  CONFIG_DIR  holds ProxyConfig.ini (default: %s)\n"
           "  LOGS_DIR    logs when the configured LogsDir is unusable (default: %s/logs)\n"
           "Ports (TCP; all but 9053 are set in ProxyConfig.ini):\n"
           "  10500  cashier port (ServerPort)\n"
           "  12500  local tunnel listener (blServerPort)\n"
           "  12556  UDP and ICMP relay (UdpVpnPort)\n"
           "  10115  file transfer and log archives (FileTransferServerPort)\n"
           "  9053   name resolution\n",
           exeDir.c_str(), exeDir.c_str());
}

// The supervisor returned: services it started may still run on their own
// threads, so the process ends here without tearing down shared state under them.
[[noreturn]] void endProcess()
{
    if (logger::Log::s_CoreLogger)
        logger::Log::s_CoreLogger->flush();
    fflush(nullptr);
    _exit(0);
}

} // namespace

int main(int argc, char* argv[])
{
    // Line by line, so start-up messages survive a kill when stdout is a file or pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc > 1 && strcmp(argv[1], "--version") == 0) {
        printf("ver. %s\n", kVersion);
        return 0;
    }

    char exePath[255];
    const ssize_t length = readlink("/proc/self/exe", exePath, sizeof(exePath) - 1);
    if (length < 0)
        return -2;
    exePath[length] = '\0';
    const std::string exeDir = dirname(exePath);
    if (argc > 1 && strcmp(argv[1], "--help") == 0) {
        printHelp(exeDir);
        return 0;
    }

    std::string configDir = exeDir;
    std::string logsDir = exeDir + "/logs";
    const bool daemon = argc > 1 && strcmp(argv[1], "-d") == 0;
    if (argc > 3) {
        if (argv[2][0] != '\0')
            configDir = argv[2];
        if (argv[3][0] != '\0')
            logsDir = argv[3];
    }

    if (!daemon) {
        locKProxyFileInProcess();
        proxyRun(configDir, logsDir, false);
        endProcess();
    }

    becomeDaemon();
    locKProxyFileInProcess();
    proxyRun(configDir, logsDir, true);
    sleep(1);
    endProcess();
}
