#pragma once

class ProxyConfig;

// Watches "/dev" for terminal devices being plugged in and out, stopping the
// serial service on removal and reopening the port on arrival. Returns only
// when no inotify instance can be made.
void watchTerminalDevices(const ProxyConfig& config);
