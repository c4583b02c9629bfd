#pragma once

#include <string>

// Runs the services of the proxy; returns only when they cannot run.
void proxySvcStart(const std::string& iniPath);
