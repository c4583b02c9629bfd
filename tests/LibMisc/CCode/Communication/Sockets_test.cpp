#include "LibMisc/CCode/Communication/Sockets.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "LibMisc/CCode/Reference.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const in_addr kLoopback{htonl(INADDR_LOOPBACK)};

int openDescriptorCount()
{
    int count = 0;
    DIR* directory = ::opendir("/proc/self/fd");
    while (::readdir(directory) != nullptr)
        ++count;
    ::closedir(directory);
    return count;
}

// A port nobody listens on right now (the server under test binds it next).
uint16_t freePort()
{
    const int probe = LibMisc_CreateTcpSocket();
    LibMisc_BindHostAddress(probe, &kLoopback, 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

// What a server's callbacks saw.
struct Events {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<int> accepted;
    bool closed = false;

    template <class Predicate>
    bool waitUntil(Predicate done)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, 5s, done);
    }
};

void onAccept(SmartPointer, int client, void* context)
{
    auto* events = static_cast<Events*>(context);
    std::lock_guard<std::mutex> guard(events->lock);
    events->accepted.push_back(client);
    events->changed.notify_all();
}

int onAcceptError(SmartPointer, int, void*) { return 1; }

void onClose(SmartPointer, void* context)
{
    auto* events = static_cast<Events*>(context);
    std::lock_guard<std::mutex> guard(events->lock);
    events->closed = true;
    events->changed.notify_all();
}

TEST(SmartPointer, TheLastReleaseRunsTheDestructorOnce)
{
    static std::atomic<int> destroyed{0};
    int object = 0;
    SmartPointer first = lTools_spCreate(&object, [](void*) { ++destroyed; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        SmartPointer copy = lTools_spDuplicate(&first);
        threads.emplace_back([copy]() mutable {
            for (int i = 0; i < 1000; ++i) {
                SmartPointer extra = lTools_spDuplicate(&copy);
                EXPECT_NE(lTools_spGetObject(&extra), nullptr);
                lTools_spDelete(&extra);
            }
            lTools_spDelete(&copy);
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(lTools_spGetObject(&first), &object);
    lTools_spDelete(&first);
    EXPECT_TRUE(lTools_spIsVoid(&first));
    EXPECT_EQ(destroyed, 1);

    SmartPointer empty = lTools_spCreateVoid();
    EXPECT_EQ(lTools_spGetObject(&empty), nullptr);
    SmartPointer stillEmpty = lTools_spDuplicate(&empty);
    EXPECT_TRUE(lTools_spIsVoid(&stillEmpty));
    lTools_spDelete(&empty);
}

TEST(SocketServer, AcceptsConnectionsAndStopsOnDelete)
{
    Events events;
    int error = -1;
    const uint16_t port = freePort();
    SmartPointer server = LibMisc_socketServerCreate(port, onAccept, onAcceptError, onClose, &error, &events);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(LibMisc_socketGetContext(server), &events);
    ASSERT_EQ(LibMisc_socketServerStart(server), 0);
    EXPECT_EQ(LibMisc_socketServerStart(server), 6);

    int client = -1;
    const timeval timeout{3, 0};
    ASSERT_EQ(LibMisc_tcpConnect(&kLoopback, port, &timeout, &client, &error), 0);
    ASSERT_TRUE(events.waitUntil([&] { return !events.accepted.empty(); }));
    EXPECT_EQ(LibMisc_Send(client, "ping", 4, 0), 4);
    char reply[8];
    const timespec wait{3, 0};
    EXPECT_EQ(LibMisc_Receive(events.accepted[0], reply, sizeof reply, 0, &wait), 4);
    EXPECT_EQ(std::string(reply, 4), "ping");

    const auto start = Clock::now();
    LibMisc_socketServerDelete(&server);
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_TRUE(lTools_spIsVoid(&server));
    EXPECT_TRUE(events.closed);
    int refused = -1;
    EXPECT_EQ(LibMisc_tcpConnect(&kLoopback, port, &timeout, &refused, &error), -2);
    ::close(client);
    ::close(events.accepted[0]);
}

TEST(SocketServer, PortInUseAndNeverStartedServers)
{
    int error = -1;
    const uint16_t port = freePort();
    SmartPointer first = LibMisc_socketServerCreate(port, nullptr, nullptr, nullptr, &error, nullptr);
    ASSERT_EQ(error, 0);
    SmartPointer second = LibMisc_socketServerCreate(port, nullptr, nullptr, nullptr, &error, nullptr);
    EXPECT_EQ(error, 3);
    EXPECT_TRUE(lTools_spIsVoid(&second));

    const int before = openDescriptorCount();
    const auto start = Clock::now();
    LibMisc_socketServerDelete(&first); // never started: returns at once
    EXPECT_LT(Clock::now() - start, 100ms);
    EXPECT_EQ(openDescriptorCount(), before - 1);
}

TEST(SocketServer, LocalDomainServiceAcceptsAndStops)
{
    char directory[] = "/tmp/kiv-socket-XXXXXX";
    ASSERT_NE(::mkdtemp(directory), nullptr);
    const std::string path = std::string(directory) + "/service";
    ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0600)); // a stale file is replaced

    Events events;
    int error = -1;
    SmartPointer service =
        LibMisc_socketServiceCreate(path.c_str(), onAccept, onAcceptError, onClose, &error, &events);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(std::string(LibMisc_socketGetSvcName(service)), path);
    ASSERT_EQ(LibMisc_socketServiceStart(service), 0);

    int client = -1;
    const timeval timeout{3, 0};
    ASSERT_EQ(LibMisc_svcConnect(path.c_str(), &timeout, &client, &error), 0);
    EXPECT_TRUE(events.waitUntil([&] { return !events.accepted.empty(); }));
    LibMisc_socketServiceDelete(&service);
    EXPECT_TRUE(events.closed);
    ::close(client);
    for (int fd : events.accepted)
        ::close(fd);
    ::unlink(path.c_str());
    ::rmdir(directory);
}

class ConnectedPair : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
    void TearDown() override
    {
        for (int& fd : fds) {
            if (fd != -1)
                ::close(fd);
            fd = -1;
        }
    }
    int fds[2] = {-1, -1};
};

TEST_F(ConnectedPair, ReceiveReportsTimeoutAndClosedPeer)
{
    char buffer[4];
    const timespec wait{0, 300000000};
    const auto start = Clock::now();
    EXPECT_EQ(LibMisc_Receive(fds[0], buffer, sizeof buffer, 0, &wait), -2);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_GE(Clock::now() - start, 300ms);

    EXPECT_EQ(LibMisc_checkIfSocketClosed(fds[0]), 0);
    ::close(fds[1]);
    fds[1] = -1;
    EXPECT_EQ(LibMisc_Receive(fds[0], buffer, sizeof buffer, 0, &wait), -1);
    EXPECT_EQ(errno, ECONNRESET);
    EXPECT_EQ(LibMisc_checkIfSocketClosed(fds[0]), -1);
}

TEST_F(ConnectedPair, TerminatorAbortsAWait)
{
    int terminator[2];
    ASSERT_EQ(::pipe(terminator), 0);
    std::thread waiter([&] {
        *__terminator_fd() = terminator[0];
        char buffer[4];
        EXPECT_EQ(LibMisc_Receive(fds[0], buffer, sizeof buffer, 0, nullptr), -3);
        EXPECT_EQ(errno, ECONNABORTED);
        *__terminator_fd() = 0;
    });
    EXPECT_EQ(send_termination_cmd(terminator[1], 1), 0);
    waiter.join();
    ::close(terminator[0]);
    ::close(terminator[1]);
}

TEST_F(ConnectedPair, SendWaitsForRoomOnAFullSocket)
{
    LibMisc_SetNoblockingFlag(fds[0]);
    std::vector<char> data(4 << 20);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i % 251);
    std::vector<char> received(data.size());
    std::thread reader([&] {
        const timespec wait{5, 0};
        EXPECT_EQ(LibMisc_ReceiveBlock(fds[1], received.data(), received.size(), 0, &wait),
                  static_cast<int>(received.size()));
    });
    EXPECT_EQ(LibMisc_Send(fds[0], data.data(), data.size(), 0), static_cast<int>(data.size()));
    reader.join();
    EXPECT_EQ(received, data);
    EXPECT_EQ(LibMisc_Send(fds[0], data.data(), 0, 0), 0);
}

TEST(TcpConnect, RefusedAndTimedOut)
{
    int socket = -1;
    int error = 0;
    const timeval timeout{0, 300000};
    EXPECT_EQ(LibMisc_tcpConnect(&kLoopback, freePort(), &timeout, &socket, &error), -2);
    EXPECT_EQ(error, ECONNREFUSED);

    // A listener whose accept queue is full drops further handshakes.
    const int listener = LibMisc_CreateTcpSocket();
    ASSERT_EQ(LibMisc_BindHostAddress(listener, &kLoopback, 0), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const uint16_t port = ntohs(address.sin_port);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        int filler = -1;
        if (LibMisc_tcpConnect(&kLoopback, port, &timeout, &filler, &error) == 0)
            fillers.push_back(filler);
    }
    const int before = openDescriptorCount();
    const auto start = Clock::now();
    EXPECT_EQ(LibMisc_tcpConnect(&kLoopback, port, &timeout, &socket, &error), -1);
    EXPECT_EQ(error, ETIMEDOUT);
    EXPECT_GE(Clock::now() - start, 300ms);
    EXPECT_EQ(openDescriptorCount(), before);
    for (int fd : fillers)
        ::close(fd);
    ::close(listener);
}

TEST(Reference, SuccessiveNumbersDifferByOneInTheHighHalf)
{
    uint64_t first = make_refference();
    uint64_t second = make_refference();
    if ((first & 0xFFFFFFFFu) != (second & 0xFFFFFFFFu)) { // a second boundary passed
        first = make_refference();
        second = make_refference();
    }
    EXPECT_EQ((second >> 32) - (first >> 32), 1u);
    EXPECT_NEAR(static_cast<double>(second & 0xFFFFFFFFu), static_cast<double>(::time(nullptr)), 2.0);
}

} // namespace
