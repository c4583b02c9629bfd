#pragma once

#include <map>
#include <string>

#include "tests/service/RunningService.h"

namespace kiv_bench {

// Starts the service; waits out another run that holds its lock for a while.
bool startService(kiv_test::RunningService& service, const std::map<std::string, std::string>& settings);

} // namespace kiv_bench
