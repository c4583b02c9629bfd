#include "LibMisc/TcpSocket.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

#include "tests/support/LoopbackClient.h"

using namespace kiv_proxy;
using namespace std::chrono_literals;

namespace {

bool isOpen(int descriptor) { return fcntl(descriptor, F_GETFD) != -1; }

class TcpSocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(listener.create(true));
        ASSERT_TRUE(listener.bind(IpAddress("127.0.0.1", 0)));
        ASSERT_TRUE(listener.listen());
    }
    void TearDown() override { listener.close(); }

    // The server side of a client that has connected.
    TcpSocket acceptOne()
    {
        TcpSocket accepted;
        EXPECT_TRUE(listener.accept(accepted));
        return accepted;
    }

    TcpSocket listener;
};

TEST_F(TcpSocketTest, CopiesShareTheDescriptorAndCloseReachesEveryCopy)
{
    const int descriptor = listener.getDescriptor();
    {
        TcpSocket copy = listener;
        EXPECT_EQ(copy.getDescriptor(), descriptor);
    }
    EXPECT_TRUE(isOpen(descriptor)) << "destroying a copy must not close";

    TcpSocket copy = listener;
    copy.close();
    EXPECT_FALSE(isOpen(descriptor));
    EXPECT_EQ(listener.getDescriptor(), -1) << "a closed descriptor must not be used again through a copy";
    listener.close(); // a second close is harmless
}

TEST_F(TcpSocketTest, BindToAnAddressInUseFailsAndKeepsTheOwnAddress)
{
    const IpAddress taken("127.0.0.1", listener.getLocalPort());
    TcpSocket other;
    ASSERT_TRUE(other.create(false));
    EXPECT_FALSE(other.bind(taken));
    EXPECT_EQ(other.getIpAddress().getIp(), "");
    EXPECT_EQ(other.getIpAddress().getPort(), 0);
    other.close();
}

TEST_F(TcpSocketTest, AcceptGivesThePeerAddress)
{
    LoopbackClient client(listener.getLocalPort());
    TcpSocket accepted = acceptOne();
    EXPECT_EQ(accepted.getIpAddress().getIp(), "127.0.0.1");
    EXPECT_GT(accepted.getIpAddress().getPort(), 0);
    EXPECT_EQ(accepted.getIpAddress().getSockAddr().sin_port, htons(accepted.getIpAddress().getPort()));
    accepted.close();
}

TEST_F(TcpSocketTest, SendAllContinuesShortWritesOnANonBlockingSocket)
{
    LoopbackClient client(listener.getLocalPort());
    TcpSocket accepted = acceptOne();
    ASSERT_TRUE(accepted.makeNonBlocking());
    ASSERT_TRUE(fcntl(accepted.getDescriptor(), F_GETFL) & O_NONBLOCK);

    // Far more than the socket buffers hold: single sends come back short.
    std::vector<uint8_t> data(8 * 1024 * 1024);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 31 + i / 4096);
    std::vector<uint8_t> received;
    std::thread reader([&] { received = client.receive(data.size(), 30s); });
    EXPECT_TRUE(accepted.sendAll(data.data(), data.size(), 5s));
    reader.join();
    EXPECT_EQ(received, data);
    accepted.close();
}

TEST_F(TcpSocketTest, SendAllGivesUpOnAPeerThatReadsNothing)
{
    LoopbackClient client(listener.getLocalPort());
    TcpSocket accepted = acceptOne();
    ASSERT_TRUE(accepted.makeNonBlocking());
    const std::vector<uint8_t> data(16 * 1024 * 1024);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(accepted.sendAll(data.data(), data.size(), 200ms));
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    accepted.close();
}

TEST_F(TcpSocketTest, SendingToAClosedPeerFailsWithoutKillingTheProcess)
{
    auto client = std::make_unique<LoopbackClient>(listener.getLocalPort());
    TcpSocket accepted = acceptOne();
    client.reset();
    const std::vector<uint8_t> data(1024 * 1024);
    EXPECT_FALSE(accepted.sendAll(data.data(), data.size(), 1s));
    unsigned char byte = 0;
    EXPECT_LT(accepted.send(&byte, 1), 0);
    accepted.close();
}

} // namespace
