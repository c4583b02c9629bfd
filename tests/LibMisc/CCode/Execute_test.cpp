#include "LibMisc/CCode/Execute.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Everything readable from `fd` until end of file; fails after 10 s of silence.
std::string readAll(int fd)
{
    std::string text;
    for (;;) {
        pollfd entry = {fd, POLLIN, 0};
        if (poll(&entry, 1, 10000) != 1) {
            ADD_FAILURE() << "no end of file from the child";
            return text;
        }
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof(buffer));
        if (got <= 0)
            return text;
        text.append(buffer, static_cast<size_t>(got));
    }
}

int reap(pid_t pid)
{
    int status = -1;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return status;
}

bool isOpen(int fd)
{
    return fcntl(fd, F_GETFD) != -1;
}

// Output of `sh -c script` run with `flags`, on the stdout pipe.
std::string shellOutput(const char* script, int flags, const char* workDir = nullptr)
{
    const char* const argv[] = {"/bin/sh", "-c", script, nullptr};
    IoPipes pipes;
    const pid_t pid = execute_bin(&pipes, workDir, argv, flags);
    EXPECT_GT(pid, 0);
    const std::string text = readAll(pipes.outFd);
    closeIoPipes(&pipes);
    EXPECT_EQ(reap(pid), 0);
    return text;
}

} // namespace

TEST(ExecuteWait, ReturnsTheRawWaitStatus)
{
    struct Case {
        const char* script;
        int expected;
    };
    const Case cases[] = {
        {"exit 0", 0},
        {"exit 3", 3 << 8},
        {"kill -9 $$", SIGKILL},
        // More than a pipe's capacity on both streams: the output is drained.
        {"head -c 300000 /dev/zero; head -c 300000 /dev/zero >&2", 0},
    };
    for (const Case& c : cases) {
        const char* const argv[] = {"/bin/sh", "-c", c.script, nullptr};
        EXPECT_EQ(execute_wait("/", argv), c.expected) << c.script;
    }
}

TEST(ExecuteWait, MissingProgramExitsWith255)
{
    const char* const argv[] = {"/nonexistent/program", nullptr};
    EXPECT_EQ(execute_wait(nullptr, argv), 65280);
}

TEST(ExecuteBin, RefusesAnEmptyArgumentList)
{
    const char* const argv[] = {nullptr};
    IoPipes pipes = {5, 6, 7};
    EXPECT_EQ(execute_bin(&pipes, nullptr, argv, EXEC_PIPE_STDOUT), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(pipes.inFd, -1);
    EXPECT_EQ(pipes.outFd, -1);
    EXPECT_EQ(pipes.errFd, -1);
}

TEST(ExecuteBin, PipesPerFlag)
{
    const char* script = "echo out; echo err >&2";
    IoPipes pipes;
    const char* const argv[] = {"/bin/sh", "-c", script, nullptr};

    // Separate pipes.
    pid_t pid = execute_bin(&pipes, nullptr, argv, EXEC_PIPE_STDOUT | EXEC_PIPE_STDERR);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(pipes.inFd, -1);
    ASSERT_NE(pipes.outFd, pipes.errFd);
    EXPECT_EQ(readAll(pipes.outFd), "out\n");
    EXPECT_EQ(readAll(pipes.errFd), "err\n");
    closeIoPipes(&pipes);
    reap(pid);

    // Joined: one pipe carries both.
    pid = execute_bin(&pipes, nullptr, argv, EXEC_PIPE_STDOUT | EXEC_PIPE_STDERR | EXEC_STDERR_TO_STDOUT);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(pipes.errFd, pipes.outFd);
    EXPECT_EQ(readAll(pipes.outFd), "out\nerr\n");
    closeIoPipes(&pipes);
    reap(pid);
}

TEST(ExecuteBin, StandardInputPipeFeedsTheChild)
{
    const char* const argv[] = {"/bin/cat", nullptr};
    IoPipes pipes;
    const pid_t pid = execute_bin(&pipes, nullptr, argv, EXEC_PIPE_STDIN | EXEC_PIPE_STDOUT);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(pipes.errFd, -1);
    ASSERT_EQ(write(pipes.inFd, "hello", 5), 5);
    close(pipes.inFd);
    pipes.inFd = -1;
    EXPECT_EQ(readAll(pipes.outFd), "hello");
    closeIoPipes(&pipes);
    EXPECT_EQ(reap(pid), 0);
}

TEST(ExecuteBin, StreamsWithoutAPipeAreClosed)
{
    const char* script = "for fd in 0 2; do if [ -e /proc/self/fd/$fd ]; then echo open; else echo closed; fi; done";
    EXPECT_EQ(shellOutput(script, EXEC_PIPE_STDOUT), "closed\nclosed\n");
}

TEST(ExecuteBin, RunsInTheWorkingDirectoryWhenItCanBeEntered)
{
    TempDir dir;
    char here[PATH_MAX];
    ASSERT_NE(getcwd(here, sizeof(here)), nullptr);
    EXPECT_EQ(shellOutput("pwd", EXEC_PIPE_STDOUT, dir.path().c_str()), dir.path() + "\n");
    EXPECT_EQ(shellOutput("pwd", EXEC_PIPE_STDOUT, "/nonexistent/dir"), std::string(here) + "\n");
}

// A child started later must not hold the pipes of an earlier one, or the
// earlier child never sees the end of its input while the later one lives.
TEST(ExecuteBin, PipesDoNotLeakIntoOtherChildren)
{
    const char* const cat[] = {"/bin/cat", nullptr};
    IoPipes catPipes;
    const pid_t catPid = execute_bin(&catPipes, nullptr, cat, EXEC_PIPE_STDIN | EXEC_PIPE_STDOUT);
    ASSERT_GT(catPid, 0);

    const char* const sleeper[] = {"/bin/sleep", "60", nullptr};
    IoPipes sleeperPipes;
    const pid_t sleeperPid = execute_bin(&sleeperPipes, nullptr, sleeper, 0);
    ASSERT_GT(sleeperPid, 0);

    close(catPipes.inFd);
    catPipes.inFd = -1;
    EXPECT_EQ(readAll(catPipes.outFd), "");
    closeIoPipes(&catPipes);
    EXPECT_EQ(reap(catPid), 0);

    kill(sleeperPid, SIGKILL);
    reap(sleeperPid);
}

TEST(CloseIoPipes, ClosesASharedDescriptorOnce)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    IoPipes pipes = {-1, fds[0], fds[0]};
    closeIoPipes(&pipes);
    EXPECT_EQ(pipes.inFd, -1);
    EXPECT_EQ(pipes.outFd, -1);
    EXPECT_EQ(pipes.errFd, -1);
    EXPECT_FALSE(isOpen(fds[0]));
    EXPECT_TRUE(isOpen(fds[1]));
    close(fds[1]);
}

// /mtd0/dll does not exist here, so the commands run in the current directory;
// an operand that looks like an option must still be taken as a name.
TEST(Commands, TreatOperandsAsNames)
{
    TempDir dir;
    char here[PATH_MAX];
    ASSERT_NE(getcwd(here, sizeof(here)), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    const int made = mkdir_cmd("-p", "750");
    const int changed = chmod_cmd("700", "-p");
    ASSERT_EQ(chdir(here), 0);

    EXPECT_EQ(made, 0);
    EXPECT_EQ(changed, 0);
    struct stat info;
    ASSERT_EQ(stat((dir / "-p").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}
