#pragma once

#include <cstdio>
#include <ctime>
#include <string>

namespace kiv_test {

// The name of today's application log file: kivproxy_YYYY-MM-DD.log.
inline std::string todaysLogName()
{
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char name[64];
    snprintf(name, sizeof(name), "kivproxy_%04d-%02d-%02d.log", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return name;
}

} // namespace kiv_test
