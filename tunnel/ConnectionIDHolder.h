#pragma once

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace kiv_proxy {

// Tells apart the connection ids of host connections (chosen by the terminal)
// and of local listener connections (generated here, from 100000 up).
class ConnectionIDHolder {
public:
    static constexpr int kListenerConnection = 0;
    static constexpr int kHostConnection = 1;
    static constexpr uint64_t kFirstListenerId = 100000;

    // The registry of the process, created on first use.
    static ConnectionIDHolder& getManager();

    ConnectionIDHolder() = default;
    ConnectionIDHolder(const ConnectionIDHolder&) = delete;
    ConnectionIDHolder& operator=(const ConnectionIDHolder&) = delete;

    // 100000, 100001, ...; an id is never handed out twice.
    uint64_t generateConnectionId();
    void addListenerId(uint64_t id);
    void addHostId(uint64_t id);
    // Forgets every occurrence of the id in both lists.
    void removeConnectionId(uint64_t id);
    // (found, kind): kind kListenerConnection or kHostConnection, the latter also
    // when not found. An id present in both lists counts as a listener id from
    // 100000 up and as a host id below.
    std::pair<bool, int> hasConnectionID(uint64_t id);

private:
    std::mutex _mutex;
    std::vector<uint64_t> _hostIds;
    std::vector<uint64_t> _listenerIds;
    uint64_t _counter = 0;
};

} // namespace kiv_proxy
