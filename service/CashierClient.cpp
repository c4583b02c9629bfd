#include "service/CashierClient.h"

#include <sys/socket.h>
#include <unistd.h>

#include "LibMisc/CCode/Communication/Sockets.h"

void CashierClient::setSocket(int fd)
{
    Lock lock(_mutex);
    _socket = fd;
}

int CashierClient::getSocket() const
{
    Lock lock(_mutex);
    return _socket;
}

bool CashierClient::empty() const
{
    Lock lock(_mutex);
    return _socket == -1;
}

void CashierClient::reset()
{
    Lock lock(_mutex);
    _socket = -1;
}

bool CashierClient::send(const void* data, size_t length)
{
    Lock lock(_mutex);
    return _socket != -1 && LibMisc_Send(_socket, data, length, 0) == static_cast<int>(length);
}

void CashierClient::closeSocket()
{
    Lock lock(_mutex);
    if (_socket == -1)
        return;
    shutdown(_socket, SHUT_RD);
    close(_socket);
    _socket = -1;
}
