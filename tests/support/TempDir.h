#pragma once

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "LibMisc/CCode/Execute.h"

// A fresh directory under /tmp, removed with its contents at the end.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/kiv_libmisc_XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        _path = pattern;
    }
    ~TempDir()
    {
        const char* const argv[] = {"/bin/rm", "-rf", "--", _path.c_str(), nullptr};
        execute_wait("/", argv);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return _path; }
    std::string operator/(const std::string& name) const { return _path + "/" + name; }

private:
    std::string _path;
};
