// Any bytes from the serial line: decoding never throws, and every accessor of
// the decoded message either answers or raises the documented exceptions.
#include "protocol/ProxyProtokol.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void readCommand(const Proxy::CmdProtokol& command)
{
    (void)command.getSerialNumber();
    try {
        if (command.isConnectionStatus())
            (void)command.getConnectionStatus();
        if (command.isBufferSize())
            (void)command.getBufferSize();
        if (command.isNewConnenection()) {
            const Proxy::TcpConnInfo info = command.getNewConnection();
            if (std::memchr(info.ip, 0, sizeof(info.ip)) == nullptr)
                __builtin_trap(); // the address must stay zero-terminated
        }
    } catch (const LibMisc::TreeException&) {
    }
    unsigned char value[32];
    (void)command._getBerTlvCommand(Proxy::TAG_SERIAL_NUMBER, value, sizeof(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<unsigned char> bytes(data, data + size);
    const std::shared_ptr<Proxy::IProtokol> message =
        Proxy::protocolDeserialize(bytes.data(), static_cast<unsigned>(bytes.size()));
    if (!message)
        return 0;

    (void)message->type();
    auto& dataMessage = static_cast<Proxy::DataProtokol&>(*message);
    (void)dataMessage.getTMessageType();
    (void)dataMessage.getConnectionId();
    (void)dataMessage.getData();
    if (auto* command = dynamic_cast<Proxy::CmdProtokol*>(&dataMessage))
        readCommand(*command);

    std::vector<unsigned char> packed(dataMessage.getPackageSize());
    try {
        if (Proxy::protocolSerialize(packed.data(), static_cast<unsigned>(packed.size()), message) != packed.size())
            __builtin_trap();
    } catch (const Proxy::ESmallBuffer&) {
        // a command that grew past the 16-bit size field
    }
    return 0;
}
