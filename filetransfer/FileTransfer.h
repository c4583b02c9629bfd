#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "LibMisc/TcpSocket.h"

namespace kiv_proxy {

// One job per TCP connection, chosen by the client's first byte: receive a
// file the terminal uploads into the program's directory, or send the
// newest log files as a .tar.gz. Connections are served one at a time.
class FileTransfer {
public:
    static constexpr size_t kLogFilesInArchive = 7;

    FileTransfer() = default;
    // Stops the worker and waits for it (at most one job plus one second).
    ~FileTransfer();
    FileTransfer(const FileTransfer&) = delete;
    FileTransfer& operator=(const FileTransfer&) = delete;

    // Directory whose log files the archive takes.
    void setLogsDirPath(const std::string& path) { logsDirPath = path; }
    // Listens on address:port (port 0 picks a free one) and starts the
    // worker. Files go to the directory of `programPath`. False when the
    // service cannot listen or already runs.
    bool run(const std::string& programPath, const std::string& address, int port);
    // Asks the worker to end; returns whether it was running.
    bool stop();
    // The port listened on, -1 before run.
    int getPort() const { return listenSocket.getLocalPort(); }

    // Builds the archive of the `count` newest log files.
    void createProxyLogsTar(const std::string& archivePath, size_t count);

private:
    void threadFunction();
    void _serve(TcpSocket& client);
    void fileTransferFromTerminalProcess(TcpSocket& socket, const uint8_t* request, size_t length);
    void proxyLogsTransferProcess(TcpSocket& socket);
    static bool sendAck(TcpSocket& socket);
    static bool sendNak(TcpSocket& socket);
    std::string _programDirectory() const;

    std::thread worker;
    std::atomic<bool> running{false};
    TcpSocket listenSocket;
    std::string programPath;
    std::string logsDirPath;
};

} // namespace kiv_proxy
