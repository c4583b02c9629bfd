#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <unordered_set>
#include <utility>

#include "serial/PacketReader.h"
#include "serial/ProxySerialPort.h"

namespace Proxy {

// The transport the service creates. It starts in the confirmed-frame
// protocol and switches by itself to the packet protocol when the terminal
// sends FE FD or FE FC; only setProtocolType switches it back.
//
// Packet protocol: each packet carries a new 64-bit identifier; the receiver
// answers FE FC + that identifier. Writers wait only for their own
// identifier, so several may have packets outstanding at once.
class NonBtpSerialPortTransport : public ProxySerialPort {
public:
    explicit NonBtpSerialPortTransport(const std::string& serialPortName);
    ~NonBtpSerialPortTransport() override;

    using ProxySerialPort::read;

    // Packets: up to 5 attempts of 2000 ms each, every one with a new
    // identifier; returns the length, or throws LibMisc::EWriteData.
    int write(const unsigned char* data, size_t length) override;
    // Packets: the payload bytes placed in the buffer (0 for acknowledgements,
    // refused input and an empty payload).
    int read(unsigned char* buffer, size_t capacity) override;
    // Packets: one attempt of 1000 ms; the length when acknowledged, else 0.
    // Confirmed frames: the confirmed write, time-out and exception included.
    int writeNotBloking(const unsigned char* data, size_t length) override;

    // Sends one packet with a new identifier and returns it without waiting.
    virtual uint64_t writePacket(const unsigned char* data, size_t length);

protected:
    // Waits for the acknowledgement of `id` and collects it.
    bool _waitWrite(uint64_t id, unsigned milliseconds);
    void _addPacketId(uint64_t id);

private:
    using Clock = std::chrono::steady_clock;

    int _deliver(const SerialLink::PacketResult& result, unsigned char* buffer);

    std::mutex _ackLock;
    std::condition_variable _ackSignal;
    std::unordered_set<uint64_t> _acknowledged;
    // Arrival order of the identifiers above, for pruning.
    std::deque<std::pair<Clock::time_point, uint64_t>> _arrivals;
};

} // namespace Proxy
