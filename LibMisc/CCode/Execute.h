#pragma once

// Starting external programs. Safe to call from any thread of a
// multi-threaded process: the child allocates nothing between fork and exec.

#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// The parent's ends of a child's pipes; -1 where there is none. When standard
// error is joined to standard output, errFd == outFd.
typedef struct IoPipes {
    int32_t inFd;  // write end of the child's standard input
    int32_t outFd; // read end of the child's standard output
    int32_t errFd; // read end of the child's standard error
} IoPipes;

enum {
    EXEC_PIPE_STDIN = 1,
    EXEC_PIPE_STDOUT = 2,
    EXEC_PIPE_STDERR = 4,
    // With EXEC_PIPE_STDOUT and EXEC_PIPE_STDERR: one pipe for both.
    EXEC_STDERR_TO_STDOUT = 8
};

// Starts argv[0] (a path, not searched) with the null-terminated `argv` in
// `workDir` (may be null; a directory that cannot be entered is ignored).
// Standard streams without a pipe are closed in the child. Returns the
// child's pid, or -1 (errno set) when a pipe or the fork fails.
pid_t execute_bin(IoPipes* pipes, const char* workDir, const char* const argv[], int flags);

// Runs a program to its end, discarding its output. Returns the raw wait
// status (0 for exit status 0; 65280 when the program cannot be executed),
// or -1 when it cannot be started or waited for.
int execute_wait(const char* workDir, const char* const argv[]);

// Closes every descriptor of the record once and sets all fields to -1.
void closeIoPipes(IoPipes* pipes);

// /bin/mkdir -p -m mode path, /bin/chmod mode path, /bin/chmod -R mode path,
// run in /mtd0/dll; each returns execute_wait's result.
int mkdir_cmd(const char* path, const char* mode);
int chmod_cmd(const char* mode, const char* path);
int chmod_d_cmd(const char* mode, const char* path);

#ifdef __cplusplus
}
#endif
