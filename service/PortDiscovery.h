#pragma once

#include <memory>

namespace LibMisc {
class ISerialPortTrasport;
}
class ProxyConfig;

// Finds and opens the terminal's port, publishes the transport and starts
// the dispatcher on it. Retries every second until a transport is open;
// returns without one only when a configured device refuses the line speed.
void proxySvcProcess(const ProxyConfig& config);

// Probes the candidate devices; an open transport that answered, or null.
std::shared_ptr<LibMisc::ISerialPortTrasport> autoDetection(const ProxyConfig& config);
