// Decodes arbitrary bytes as a file-transfer header, encodes the result
// again and checks that decoding that gives the same fields.
#include <cstdlib>

#include "filetransfer/ProxyFileTransferProtocol.h"

using namespace kiv_proxy;
using Protocol = ProxyFileTransferProtocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Protocol::FileInfoData info;
    if (Protocol::unpack(data, size, info) != 0) {
        if (size >= Protocol::kHeaderSize)
            std::abort();
        return 0;
    }
    if (info.md5.size() != Protocol::kMd5Size || info.fileName.size() > Protocol::kMaxNameLength ||
        (!info.fileName.empty() && info.operationNum != Protocol::ReceiveFile))
        std::abort();

    uint8_t packed[Protocol::kHeaderSize + 1 + Protocol::kMaxNameLength] = {};
    if (Protocol::pack(packed, sizeof(packed), info) != 0)
        std::abort();
    Protocol::FileInfoData again;
    if (Protocol::unpack(packed, sizeof(packed), again) != 0 || again.operationNum != info.operationNum ||
        again.fileSize != info.fileSize || again.md5 != info.md5 || again.fileName != info.fileName)
        std::abort();
    return 0;
}
