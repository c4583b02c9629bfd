#pragma once

#include <sys/types.h>

#include "LibMisc/ThreadSafety.h"

// Holder of the socket of the cashier connection being served (-1: none).
// Its lock is also held by whoever sends to or closes that socket, so an
// answer never reaches a descriptor that was closed and reused meanwhile.
class CashierClient : public LibMisc::ThreadSafeSimple {
public:
    virtual ~CashierClient() = default;

    void setSocket(int fd);
    int getSocket() const;
    bool empty() const;
    void reset();

    // Sends to the held socket under the lock; false when there is none or the send failed.
    bool send(const void* data, size_t length);
    // Shuts down, closes and empties the holder under the lock.
    void closeSocket();

private:
    int _socket = -1;
};
