#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "LibMisc/Time.h"

// A TCP connection to a remote host that the terminal asked for. The
// connection's thread (lanProcess) owns the socket and is the only one that
// closes it; others shut it down and forget its number, so a descriptor
// number is never used after it was closed and reused.
class Client : public std::enable_shared_from_this<Client> {
public:
    // Registers the new connection in client_map. A living connection with
    // the same id is closed without a close notification and replaced.
    static std::shared_ptr<Client> create(uint64_t id);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    uint64_t id() const { return _id; }
    void setTarget(const std::string& ip, uint16_t port, const LibMisc::TimeSpec& timeout);

    // Sends the connection result (PMT_CONNECTION_RESULT) to the terminal.
    void openConnectResult(int status);
    // Sends the close notification for `id` to the terminal.
    static void closeClient(uint64_t id);

    // Terminal data for the host; false when the socket is gone or the send failed
    // (then the connection is shut down).
    bool sendData(const unsigned char* data, size_t length);
    // Data of a numbered packet (PMT_SEND_DATA_CONTROL): in order or ahead is
    // sent, a repeated one is dropped. False when sending failed.
    bool sendPacket(uint32_t number, const unsigned char* data, size_t length);
    // The terminal closed the connection: no close notification follows.
    void closeByTerminal();

private:
    friend void lanProcess(std::shared_ptr<Client>* client);
    explicit Client(uint64_t id) : _id(id) {}

    bool _socketOpen() const;
    // Relays what the host sends to the terminal until the host side closes,
    // fails, or the terminal closes the connection.
    void _relayHostData(int fd);
    bool _sendLocked(const unsigned char* data, size_t length);
    void _shutdownLocked();

    mutable std::recursive_mutex _mutex;
    const uint64_t _id;
    int _socket = -1;
    char _ip[16] = {};
    uint16_t _port = 0;
    LibMisc::TimeSpec _timeout;
    bool _noCloseNotice = false;
    uint32_t _expectedPacketNumber = 0;
};

// Thread body of one host connection; takes over the heap-held pointer.
void lanProcess(std::shared_ptr<Client>* client);
