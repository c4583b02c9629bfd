#include "tunnel/ConnectionIDHolder.h"

#include <algorithm>

namespace kiv_proxy {

namespace {

bool contains(const std::vector<uint64_t>& ids, uint64_t id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

void eraseAll(std::vector<uint64_t>& ids, uint64_t id) { ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end()); }

} // namespace

ConnectionIDHolder& ConnectionIDHolder::getManager()
{
    static ConnectionIDHolder manager;
    return manager;
}

uint64_t ConnectionIDHolder::generateConnectionId()
{
    std::lock_guard<std::mutex> lock(_mutex);
    return kFirstListenerId + _counter++;
}

void ConnectionIDHolder::addListenerId(uint64_t id)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _listenerIds.push_back(id);
}

void ConnectionIDHolder::addHostId(uint64_t id)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _hostIds.push_back(id);
}

void ConnectionIDHolder::removeConnectionId(uint64_t id)
{
    std::lock_guard<std::mutex> lock(_mutex);
    eraseAll(_hostIds, id);
    eraseAll(_listenerIds, id);
}

std::pair<bool, int> ConnectionIDHolder::hasConnectionID(uint64_t id)
{
    std::lock_guard<std::mutex> lock(_mutex);
    const bool listener = contains(_listenerIds, id);
    const bool host = contains(_hostIds, id);
    if (listener && host)
        return {true, id >= kFirstListenerId ? kListenerConnection : kHostConnection};
    if (listener)
        return {true, kListenerConnection};
    return {host, kHostConnection};
}

} // namespace kiv_proxy
