#include "tests/support/Process.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kiv_test {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& outputDir)
    : _outPath(outputDir + "/stdout"), _errPath(outputDir + "/stderr")
{
    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int out = open(_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    _pid = fork();
    if (_pid == 0) {
        // A test run that is killed must not leave a service holding the lock.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(out, 1);
        dup2(err, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out);
    close(err);
}

ChildProcess::~ChildProcess() { terminate(); }

bool ChildProcess::waitExit(std::chrono::milliseconds limit)
{
    if (_ended)
        return true;
    int raw = 0;
    _ended = waitFor([&] { return waitpid(_pid, &raw, WNOHANG) == _pid; }, limit);
    if (_ended)
        _status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return _ended;
}

void ChildProcess::terminate()
{
    if (_pid <= 0 || _ended)
        return;
    kill(_pid, SIGTERM);
    if (!waitExit(5s)) {
        kill(_pid, SIGKILL);
        waitExit(5s);
    }
}

} // namespace kiv_test
