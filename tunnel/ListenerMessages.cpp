#include "tunnel/ListenerMessages.h"

#include <cstring>
#include <ctime>

#include "LibMisc/ByteArray.h"
#include "protocol/ProxyProtokol.h"

namespace kiv_proxy {

namespace {

const char* const kSerialNumber = "Unknown";
const char* const kConnectAddress = "127.0.0.1";

std::vector<unsigned char> packed(Proxy::DataProtokol& message)
{
    std::vector<unsigned char> bytes(message.getPackageSize());
    bytes.resize(message.pack(bytes.data(), static_cast<unsigned>(bytes.size())));
    return bytes;
}

} // namespace

std::vector<unsigned char> packConnectionRequest(uint64_t id, int port)
{
    Proxy::TcpConnInfo target;
    std::strncpy(target.ip, kConnectAddress, sizeof(target.ip) - 1);
    target.port = static_cast<uint16_t>(port);
    target.timeout = LibMisc::TimeSpec(timespec{0, 1});
    Proxy::CmdProtokol request(id, Proxy::PMT_CONNECTION_CONTROL, kSerialNumber);
    request.setNewConnection(target);
    return packed(request);
}

std::vector<unsigned char> packClientData(uint64_t id, const unsigned char* data, size_t length)
{
    Proxy::DataProtokol message(id, Proxy::PMT_SEND_DATA);
    message.setData(LibMisc::ByteArray(data, length));
    return packed(message);
}

std::vector<unsigned char> packConnectionResult(uint64_t id, int status)
{
    Proxy::CmdProtokol result(id, Proxy::PMT_CONNECTION_RESULT, kSerialNumber);
    result.addConnectionStatus(status);
    return packed(result);
}

} // namespace kiv_proxy
