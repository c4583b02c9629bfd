// Throughput and latency of the serial transport over a pseudo-terminal
// whose far end acknowledges at once, and the processor time of an idle reader.

#include <poll.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "logging/Logger.h"
#include "serial/NonBtpSerialPortTransport.h"
#include "serial/WireFormat.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PtyPair.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Transport = Proxy::NonBtpSerialPortTransport;

namespace {

// The terminal: confirms every frame (FE 06) or acknowledges every packet (FE FC + id).
class InstantPeer {
public:
    explicit InstantPeer(kiv_test::PtyPair& pty) : _pty(pty), _thread([this] { run(); }) {}
    ~InstantPeer()
    {
        _stop = true;
        _thread.join();
    }

private:
    bool take(std::vector<uint8_t>& out, size_t count)
    {
        while (!_stop) {
            const kiv_test::Bytes part = _pty.receive(count - out.size(), 50ms);
            out.insert(out.end(), part.begin(), part.end());
            if (out.size() == count)
                return true;
        }
        return false;
    }

    void run()
    {
        std::vector<uint8_t> unit;
        while (!_stop) {
            unit.clear();
            if (!take(unit, 2))
                return;
            if (unit[0] == SerialLink::kControlPrefix && unit[1] == SerialLink::kPacketMarker) {
                if (!take(unit, 4) || !take(unit, 4 + SerialLink::readBigEndian16(unit.data() + 2)))
                    return;
                _pty.send(SerialLink::buildAcknowledgement(unit.data() + 4));
            } else {
                if (!take(unit, 2 + SerialLink::readBigEndian16(unit.data())))
                    return;
                _pty.send({SerialLink::kControlPrefix, SerialLink::kAccepted});
            }
        }
    }

    kiv_test::PtyPair& _pty;
    std::atomic<bool> _stop{false};
    std::thread _thread;
};

// The dispatcher's read loop on its own thread.
class ReadLoop {
public:
    ReadLoop(Transport& transport, kiv_test::PtyPair& pty)
        : _transport(transport), _pty(pty), _thread([this] { run(); })
    {
    }
    ~ReadLoop()
    {
        _stop = true;
        _pty.send({SerialLink::kControlPrefix, SerialLink::kAccepted}); // unblocks the read
        _thread.join();
    }
    double cpuMilliseconds() const
    {
        clockid_t clock;
        timespec used{};
        pthread_getcpuclockid(const_cast<std::thread&>(_thread).native_handle(), &clock);
        clock_gettime(clock, &used);
        return used.tv_sec * 1e3 + used.tv_nsec / 1e6;
    }

private:
    void run()
    {
        std::vector<unsigned char> buffer(64064);
        while (!_stop) {
            try {
                _transport.read(buffer.data(), buffer.size());
            } catch (const std::exception&) {
                return;
            }
        }
    }

    Transport& _transport;
    kiv_test::PtyPair& _pty;
    std::atomic<bool> _stop{false};
    std::thread _thread;
};

void throughput(const char* protocol, Transport& transport, size_t payload, int messages)
{
    const std::vector<unsigned char> data(payload, 0x5A);
    const auto start = Clock::now();
    for (int i = 0; i < messages; ++i)
        transport.write(data.data(), data.size());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-16s %6zu-byte payload: %9.0f messages/s %12.0f bytes/s\n", protocol, payload, messages / seconds,
                messages * payload / seconds);
}

void roundTrip(const char* protocol, Transport& transport)
{
    const std::vector<unsigned char> data(64, 0x5A);
    constexpr int kSamples = 500;
    const auto start = Clock::now();
    for (int i = 0; i < kSamples; ++i)
        transport.write(data.data(), data.size());
    const double microseconds = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kSamples;
    std::printf("%-16s round trip of one confirmed 64-byte write: %.0f us\n", protocol, microseconds);
}

} // namespace

int main()
{
    kiv_test::initTestLogger();
    logger::Log::s_CoreLogger->set_level(spdlog::level::err);

    kiv_test::PtyPair pty;
    Transport transport(pty.slavePath());
    if (!transport.open()) {
        std::fprintf(stderr, "cannot open %s\n", pty.slavePath().c_str());
        return 1;
    }
    {
        InstantPeer peer(pty);
        ReadLoop reader(transport, pty);
        for (auto type : {Transport::SP_CONFIRMED_FRAMES, Transport::SP_PACKETS}) {
            transport.setProtocolType(type);
            const char* name = type == Transport::SP_PACKETS ? "packets" : "confirmed frames";
            throughput(name, transport, 64, 5000);
            throughput(name, transport, 4000, 1000);
            roundTrip(name, transport);
        }
    }

    transport.setProtocolType(Transport::SP_CONFIRMED_FRAMES);
    ReadLoop idle(transport, pty);
    const double before = idle.cpuMilliseconds();
    std::this_thread::sleep_for(10s); // the idle interval being measured
    const double used = idle.cpuMilliseconds() - before;
    std::printf("idle reader over 10 s: %.3f ms of processor time (%.4f%% of one core)\n", used, used / 100.0);
    return 0;
}
