#include "LibMisc/CCode/Execute.h"

#include "LibMisc/CCode/TimeVal.h"

#include <alloca.h>
#include <errno.h>
#include <fcntl.h>
#include <initializer_list>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Upper bound for the stack copy of the arguments: command lines here are
// a few paths long, and a thread's stack must not be overrun.
constexpr size_t kMaxArgumentBytes = 64 * 1024;
constexpr int kJoinedOutput = EXEC_PIPE_STDOUT | EXEC_PIPE_STDERR | EXEC_STDERR_TO_STDOUT;
constexpr const char* kCommandDir = "/mtd0/dll";

enum PipeEnd { ReadEnd = 0, WriteEnd = 1 };

void closeIfOpen(int& fd)
{
    if (fd != -1) {
        close(fd);
        fd = -1;
    }
}

// Undoes the pipes of a start that failed, keeping the failure's errno.
void closePipes(int (&out)[2], int (&err)[2], int (&in)[2])
{
    const int error = errno;
    for (int* fds : {out, err, in}) {
        closeIfOpen(fds[ReadEnd]);
        closeIfOpen(fds[WriteEnd]);
    }
    errno = error;
}

// Close-on-exec keeps a pipe out of children that other threads start at the
// same moment; the child's dup2 onto 0..2 clears the flag where it is wanted.
bool makePipe(int (&fds)[2], bool wanted)
{
    return !wanted || pipe2(fds, O_CLOEXEC) == 0;
}

// Child side, async-signal-safe only: puts `fd` on `target` and drops `unused`.
void redirect(int fd, int unused, int target)
{
    if (fd == -1) {
        close(target);
        return;
    }
    close(unused);
    if (fd != target) {
        dup2(fd, target);
        close(fd);
    }
}

// Copies workDir and argv into `block` (sized by argumentBytes) so that the
// child reads nothing from the heap. Returns the new argv.
char** copyArguments(char* block, const char* workDir, const char* const argv[], size_t count,
                     const char** workDirCopy)
{
    char** args = reinterpret_cast<char**>(block);
    char* text = block + (count + 1) * sizeof(char*);
    for (size_t i = 0; i < count; ++i) {
        const size_t length = strlen(argv[i]) + 1;
        memcpy(text, argv[i], length);
        args[i] = text;
        text += length;
    }
    args[count] = nullptr;
    *workDirCopy = nullptr;
    if (workDir != nullptr) {
        memcpy(text, workDir, strlen(workDir) + 1);
        *workDirCopy = text;
    }
    return args;
}

size_t argumentBytes(const char* workDir, const char* const argv[], size_t* count)
{
    size_t bytes = workDir != nullptr ? strlen(workDir) + 1 : 0;
    for (*count = 0; argv[*count] != nullptr; ++*count)
        bytes += strlen(argv[*count]) + 1;
    return bytes + (*count + 1) * sizeof(char*);
}

int runCommand(const char* const argv[])
{
    return execute_wait(kCommandDir, argv);
}

} // namespace

void closeIoPipes(IoPipes* pipes)
{
    if (pipes->errFd == pipes->outFd)
        pipes->errFd = -1;
    int fds[3] = {pipes->inFd, pipes->outFd, pipes->errFd};
    for (int& fd : fds)
        closeIfOpen(fd);
    pipes->inFd = pipes->outFd = pipes->errFd = -1;
}

pid_t execute_bin(IoPipes* pipes, const char* workDir, const char* const argv[], int flags)
{
    pipes->inFd = pipes->outFd = pipes->errFd = -1;
    if (argv == nullptr || argv[0] == nullptr) {
        errno = EINVAL;
        return -1;
    }
    size_t count = 0;
    const size_t bytes = argumentBytes(workDir, argv, &count);
    if (bytes > kMaxArgumentBytes) {
        errno = E2BIG;
        return -1;
    }
    const char* dir = nullptr;
    char** args = copyArguments(static_cast<char*>(alloca(bytes)), workDir, argv, count, &dir);

    const bool joined = (flags & kJoinedOutput) == kJoinedOutput;
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    int in[2] = {-1, -1};
    if (!makePipe(out, flags & EXEC_PIPE_STDOUT) || !makePipe(err, !joined && (flags & EXEC_PIPE_STDERR)) ||
        !makePipe(in, flags & EXEC_PIPE_STDIN)) {
        closePipes(out, err, in);
        return -1;
    }

    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGHUP, SIG_IGN);
        redirect(out[WriteEnd], out[ReadEnd], STDOUT_FILENO);
        if (joined)
            dup2(STDOUT_FILENO, STDERR_FILENO);
        else
            redirect(err[WriteEnd], err[ReadEnd], STDERR_FILENO);
        redirect(in[ReadEnd], in[WriteEnd], STDIN_FILENO);
        if (dir != nullptr && chdir(dir) != 0) {
            // Stay in the inherited working directory.
        }
        setsid();
        execv(args[0], args);
        _exit(255);
    }

    closeIfOpen(out[WriteEnd]);
    closeIfOpen(err[WriteEnd]);
    closeIfOpen(in[ReadEnd]);
    if (pid < 0) {
        closePipes(out, err, in);
        return -1;
    }
    pipes->outFd = out[ReadEnd];
    pipes->errFd = joined ? out[ReadEnd] : err[ReadEnd];
    pipes->inFd = in[WriteEnd];
    return pid;
}

int execute_wait(const char* workDir, const char* const argv[])
{
    IoPipes pipes;
    const pid_t pid = execute_bin(&pipes, workDir, argv, kJoinedOutput);
    if (pid <= 0)
        return -1;

    // Drain the output so that a talkative child never blocks on a full pipe.
    struct pollfd entry = {pipes.outFd, POLLIN | POLLPRI, 0};
    for (;;) {
        const int ready = xpoll(&entry, 1, -1);
        if (ready < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            printf("Error %u\n", static_cast<unsigned>(errno));
            break;
        }
        char discard[1024];
        const ssize_t got = read(pipes.outFd, discard, sizeof(discard));
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            break;
    }

    // Wait for the end itself: a stopped child would otherwise be left behind.
    int status = -1;
    pid_t waited;
    do {
        waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    closeIoPipes(&pipes);
    return waited == pid ? status : -1;
}

int mkdir_cmd(const char* path, const char* mode)
{
    const char* const argv[] = {"/bin/mkdir", "-p", "-m", mode, "--", path, nullptr};
    return runCommand(argv);
}

int chmod_cmd(const char* mode, const char* path)
{
    const char* const argv[] = {"/bin/chmod", "--", mode, path, nullptr};
    return runCommand(argv);
}

int chmod_d_cmd(const char* mode, const char* path)
{
    const char* const argv[] = {"/bin/chmod", "-R", "--", mode, path, nullptr};
    return runCommand(argv);
}
