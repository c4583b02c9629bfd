#include "filetransfer/FileTransfer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <poll.h>
#include <vector>

#include "LibMisc/Confirmation.h"
#include "LibMisc/SocketIo.h"
#include "filetransfer/FileApi.h"
#include "filetransfer/FileInputStream.h"
#include "filetransfer/LogArchive.h"
#include "filetransfer/MD5.h"
#include "filetransfer/ProxyFileTransferProtocol.h"
#include "logging/Logger.h"

namespace kiv_proxy {

namespace {
using Protocol = ProxyFileTransferProtocol;

constexpr size_t kRequestBytes = 1024;
constexpr auto kStopCheckPeriod = std::chrono::seconds(1);
// One silent client must not block the service for everyone behind it.
constexpr auto kReceiveTimeout = std::chrono::seconds(30);
constexpr auto kSendStallTimeout = std::chrono::seconds(30);
const char* const kArchiveName = "ProxyLogs.tar.gz";

auto& coreLog() { return logger::Log::s_CoreLogger; }

// One receive that waits at most kReceiveTimeout; 0 when the peer closed,
// below 0 on failure or time-out.
int receive(TcpSocket& socket, uint8_t* buffer, size_t length)
{
    switch (waitForEvents(socket.getDescriptor(), POLLIN, kReceiveTimeout)) {
    case WaitResult::Ready:
        return socket.recv(buffer, static_cast<int>(length));
    case WaitResult::TimedOut:
        errno = ETIMEDOUT;
        return -1;
    case WaitResult::Failed:
        break;
    }
    return -1;
}

// Exactly `length` bytes; the last result of receive() when they do not come.
int receiveAll(TcpSocket& socket, uint8_t* buffer, size_t length)
{
    size_t total = 0;
    while (total < length) {
        const int received = receive(socket, buffer + total, length - total);
        if (received <= 0)
            return received;
        total += static_cast<size_t>(received);
    }
    return static_cast<int>(total);
}

// A name that stays inside the program's directory.
bool isSafeFileName(const std::string& name)
{
    return !name.empty() && name.find('/') == std::string::npos && name.find("..") == std::string::npos &&
           name.find('\0') == std::string::npos;
}
} // namespace

FileTransfer::~FileTransfer()
{
    stop();
    if (worker.joinable())
        worker.join();
}

bool FileTransfer::run(const std::string& programPath, const std::string& address, int port)
{
    if (worker.joinable()) {
        coreLog()->error("[File Transfer] Already running");
        return false;
    }
    running = true;
    this->programPath = programPath;
    // Non-blocking, so that a connection reset between poll and accept
    // cannot hold the worker in accept.
    if (!listenSocket.create(true) || !listenSocket.bind(IpAddress(address, port)) || !listenSocket.listen() ||
        !listenSocket.makeNonBlocking()) {
        coreLog()->error("[File Transfer] Cannot listen on {}:{}", address, port);
        listenSocket.close();
        running = false;
        return false;
    }
    coreLog()->info("[File Transfer] Start FileTransfer thread");
    worker = std::thread(&FileTransfer::threadFunction, this);
    return true;
}

bool FileTransfer::stop() { return running.exchange(false); }

void FileTransfer::createProxyLogsTar(const std::string& archivePath, size_t count)
{
    createLogArchive(archivePath, logsDirPath.empty() ? programPath : logsDirPath, count);
}

void FileTransfer::threadFunction()
{
    while (running) {
        const WaitResult ready = waitForEvents(listenSocket.getDescriptor(), POLLIN, kStopCheckPeriod);
        if (ready == WaitResult::TimedOut)
            continue;
        if (ready == WaitResult::Failed) {
            coreLog()->error("[File Transfer] Waiting for clients failed: {}", errno);
            break;
        }
        TcpSocket client;
        if (!listenSocket.accept(client))
            continue;
        _serve(client);
        client.close();
    }
    listenSocket.close();
    coreLog()->info("[File Transfer]: End RunLoop");
}

void FileTransfer::_serve(TcpSocket& client)
{
    uint8_t request[kRequestBytes];
    const int received = receive(client, request, sizeof(request));
    if (received <= 0)
        return;
    try {
        if (request[0] == Protocol::SendLogs)
            proxyLogsTransferProcess(client);
        else if (request[0] == Protocol::ReceiveFile)
            fileTransferFromTerminalProcess(client, request, static_cast<size_t>(received));
    } catch (const std::exception& error) {
        coreLog()->error("[File Transfer] {}", error.what());
    }
}

void FileTransfer::fileTransferFromTerminalProcess(TcpSocket& socket, const uint8_t* request, size_t length)
{
    Protocol::FileInfoData info;
    Protocol::unpack(request, length, info);
    coreLog()->info("[File Transfer] Filename: {} ", info.fileName);
    coreLog()->info("[File transfer] FileSize: {} ", info.fileSize);
    coreLog()->info("[File transfer] MD5 sum: {} ", info.md5);

    if (!isSafeFileName(info.fileName)) {
        coreLog()->error("[File Transfer] Refused file name '{}'", info.fileName);
        sendNak(socket);
        return;
    }
    sendAck(socket);

    std::ofstream file(_programDirectory() + "/" + info.fileName, std::ios::binary | std::ios::trunc);
    if (!file) {
        coreLog()->error("[File Transfer] Cannot open file to write");
        return;
    }
    coreLog()->info("[File Transfer] Start reading");
    // The digest is taken from the bytes as they arrive; a failed write of
    // any of them is caught by the stream's state below.
    hashlib::MD5 digest;
    std::vector<uint8_t> block(static_cast<size_t>(getBufferSize()));
    for (uint64_t total = 0; total < info.fileSize;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), info.fileSize - total));
        const int received = receive(socket, block.data(), want);
        if (received <= 0) {
            file.close(); // the partial file stays
            coreLog()->error("[File Transfer] Read error");
            return;
        }
        file.write(reinterpret_cast<const char*>(block.data()), received);
        digest.add(block.data(), static_cast<size_t>(received));
        total += static_cast<uint64_t>(received);
    }
    file.close();
    if (!file) {
        coreLog()->error("[File Transfer] Cannot write file");
        sendNak(socket);
        return;
    }
    if (digest.getHash() != info.md5) {
        coreLog()->error("[File Transfer] MD5 hash sum is not match");
        sendNak(socket);
        return;
    }
    sendAck(socket);
}

void FileTransfer::proxyLogsTransferProcess(TcpSocket& socket)
{
    const std::string archivePath = _programDirectory() + "/" + kArchiveName;
    createProxyLogsTar(archivePath, kLogFilesInArchive);
    const std::string md5 = hashlib::MD5::digestFile(archivePath);
    coreLog()->info("[File Transfer]: Calculated MD5 hash: {} ", md5);

    FileInputStream archive;
    if (!archive.openFromFile(archivePath)) {
        coreLog()->error("[File Transfer]: Error when openening tar file");
        return;
    }
    const int64_t size = archive.getSize();
    if (size < 0 || size > UINT32_MAX) {
        coreLog()->error("[File Transfer]: Error when openening tar file");
        return;
    }
    uint8_t header[Protocol::kHeaderSize];
    Protocol::pack(header, sizeof(header), {Protocol::SendLogs, static_cast<uint32_t>(size), md5, {}});
    if (!socket.sendAll(header, sizeof(header), kSendStallTimeout)) {
        coreLog()->error("[File Transfer] Data send with '{}' error", -1);
        return;
    }

    uint8_t reply[2];
    const int received = receiveAll(socket, reply, sizeof(reply));
    if (received <= 0) {
        coreLog()->error("[File Transfer] Recv header with '{}' error", received);
        return;
    }
    if (reply[0] == LibMisc::Confirmation::kPrefix && reply[1] == LibMisc::Confirmation::kNak) {
        coreLog()->error("[File Transfer] Log archive refused");
        return;
    }
    if (reply[0] != LibMisc::Confirmation::kPrefix && reply[1] != LibMisc::Confirmation::kNak) {
        coreLog()->error("[File Transfer] Bad data send");
        return;
    }

    coreLog()->info("[File Transfer]: Send {} bytes", size);
    std::vector<uint8_t> block(static_cast<size_t>(getBufferSize()));
    for (int64_t sent = 0; sent < size;) {
        const int64_t want = std::min<int64_t>(static_cast<int64_t>(block.size()), size - sent);
        if (archive.read(block.data(), want) != want) {
            coreLog()->error("[File Transfer] Error while reading file");
            return;
        }
        if (!socket.sendAll(block.data(), static_cast<size_t>(want), kSendStallTimeout)) {
            coreLog()->error("[File Transfer] Error while writing file");
            return;
        }
        sent += want;
    }
    coreLog()->info("[File Transfer] Log file transfering end");
}

bool FileTransfer::sendAck(TcpSocket& socket)
{
    return socket.sendAll(LibMisc::Confirmation::kAccepted, sizeof(LibMisc::Confirmation::kAccepted), kSendStallTimeout);
}

bool FileTransfer::sendNak(TcpSocket& socket)
{
    return socket.sendAll(LibMisc::Confirmation::kRefused, sizeof(LibMisc::Confirmation::kRefused), kSendStallTimeout);
}

// parentFolder() drops the leading "/", which would tie the directory to the
// working directory; the files belong next to the program whatever that is.
std::string FileTransfer::_programDirectory() const
{
    if (programPath.find('/') == std::string::npos)
        return ".";
    const std::string parent = parentFolder(programPath);
    return programPath.front() == '/' ? "/" + parent : parent;
}

} // namespace kiv_proxy
