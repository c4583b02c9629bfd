#pragma once

#include <cstdint>
#include <memory>

#include "LibMisc/ByteArray.h"

namespace LibMisc {
class ISerialPortTrasport;
}
class ProxyConfig;

// Thread body: reads and dispatches everything the terminal sends until the
// serial service stops or the transport fails. Takes over the heap-held pointer.
void serialPortProcess(std::shared_ptr<LibMisc::ISerialPortTrasport>* port, const ProxyConfig& config);
void serialPortReceiving(std::shared_ptr<LibMisc::ISerialPortTrasport>& port, const ProxyConfig& config);

// Writes terminal data to host connection `id`: 0 sent, -1 unknown id,
// -2 connection gone, -3 send failed (the connection is shut down).
int sendToClient(uint64_t id, const LibMisc::ByteArray& bytes);
// Closes host connection `id` at the terminal's request: 0, -1 or -2 as above.
int closeClient(uint64_t id);
