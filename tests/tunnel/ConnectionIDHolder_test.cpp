#include "tunnel/ConnectionIDHolder.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

using kiv_proxy::ConnectionIDHolder;

namespace {

constexpr int kListener = ConnectionIDHolder::kListenerConnection;
constexpr int kHost = ConnectionIDHolder::kHostConnection;

struct LookupCase {
    const char* name;
    std::vector<uint64_t> listenerIds;
    std::vector<uint64_t> hostIds;
    uint64_t id;
    bool found;
    int kind;
};

TEST(ConnectionIDHolder, LooksUpIdsByListAndRange)
{
    const LookupCase cases[] = {
        {"unknown listener-range id", {}, {}, 150000, false, kHost},
        {"unknown host-range id", {}, {}, 42, false, kHost},
        {"listener id", {150000}, {}, 150000, true, kListener},
        {"host id", {}, {42}, 42, true, kHost},
        {"small id in listener list", {42}, {}, 42, true, kListener},
        {"large id in host list", {}, {150000}, 150000, true, kHost},
        {"in both lists, listener range", {150000}, {150000}, 150000, true, kListener},
        {"in both lists, host range", {99999}, {99999}, 99999, true, kHost},
    };
    for (const auto& c : cases) {
        ConnectionIDHolder holder;
        for (auto id : c.listenerIds)
            holder.addListenerId(id);
        for (auto id : c.hostIds)
            holder.addHostId(id);
        EXPECT_EQ(holder.hasConnectionID(c.id), std::make_pair(c.found, c.kind)) << c.name;
    }
}

TEST(ConnectionIDHolder, RemoveForgetsEveryOccurrenceInBothLists)
{
    ConnectionIDHolder holder;
    holder.addHostId(7);
    holder.addHostId(7);
    holder.addListenerId(7);
    holder.addHostId(8);

    holder.removeConnectionId(7);

    EXPECT_EQ(holder.hasConnectionID(7), std::make_pair(false, kHost));
    EXPECT_EQ(holder.hasConnectionID(8), std::make_pair(true, kHost));
}

TEST(ConnectionIDHolder, GeneratedIdsStartAt100000AndAreNeverReused)
{
    ConnectionIDHolder holder;
    EXPECT_EQ(holder.generateConnectionId(), 100000u);
    EXPECT_EQ(holder.generateConnectionId(), 100001u);
    EXPECT_EQ(holder.generateConnectionId(), 100002u);
    holder.removeConnectionId(100001);
    EXPECT_EQ(holder.generateConnectionId(), 100003u);
}

TEST(ConnectionIDHolder, ConcurrentGenerationGivesDistinctIds)
{
    ConnectionIDHolder holder;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 1000;
    std::vector<std::vector<uint64_t>> generated(kThreads);
    std::vector<std::thread> threads;
    for (auto& ids : generated)
        threads.emplace_back([&holder, &ids] {
            for (int i = 0; i < kPerThread; ++i)
                ids.push_back(holder.generateConnectionId());
        });
    for (auto& thread : threads)
        thread.join();

    std::set<uint64_t> distinct;
    for (const auto& ids : generated)
        distinct.insert(ids.begin(), ids.end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_EQ(*distinct.rbegin(), 100000u + kThreads * kPerThread - 1);
}

} // namespace
