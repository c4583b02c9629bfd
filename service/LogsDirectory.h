#pragma once

#include <string>

namespace kiv_proxy {

// The log directory to use: the configured one when it exists or can be
// created, otherwise the default one (created when possible). Problems are
// reported on stdout/stderr because the log is not open yet.
std::string chooseLogsDirectory(const std::string& configured, const std::string& fallback);

} // namespace kiv_proxy
