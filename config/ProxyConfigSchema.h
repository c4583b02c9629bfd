#pragma once

#include <string>

#include "config/schema.h"

inline constexpr char kProxyConfigSection[] = "Proxy";

// The schema of ProxyConfig.ini: the optional section "Proxy" with fifteen
// optional single-valued options, in the order they are written.
inicpp::schema proxyConfigSchema(const std::string& defaultLogsDir);
