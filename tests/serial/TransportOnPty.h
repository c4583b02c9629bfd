#pragma once

// A transport opened on a pseudo-terminal, with an optional reader thread
// that runs the read loop as the service's dispatcher does.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "LibMisc/Confirmation.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PtyPair.h"

namespace kiv_test {

struct ReadOutcome {
    int result;
    Bytes data; // the bytes placed in the buffer when result > 0
};

template <class Transport>
class TransportOnPty : public ::testing::Test {
protected:
    static constexpr size_t kDispatcherCapacity = 64064;

    void SetUp() override { ASSERT_TRUE(transport->open()); }

    void TearDown() override { stopReader(); }

    void startReader()
    {
        _reader = std::thread([this] {
            std::vector<unsigned char> buffer(kDispatcherCapacity);
            while (!_stopping) {
                ReadOutcome outcome{};
                try {
                    outcome.result = transport->read(buffer.data(), buffer.size());
                } catch (const std::exception&) {
                    break;
                }
                if (outcome.result > 0)
                    outcome.data.assign(buffer.begin(), buffer.begin() + outcome.result);
                std::lock_guard<std::mutex> guard(_lock);
                _outcomes.push_back(outcome);
                _changed.notify_all();
            }
            std::lock_guard<std::mutex> guard(_lock);
            _finished = true;
            _changed.notify_all();
        });
    }

    // Ends the read loop: a confirmation unblocks the read; closing the line
    // is the fallback.
    void stopReader()
    {
        if (!_reader.joinable())
            return;
        _stopping = true;
        pty.send(Bytes(std::begin(LibMisc::Confirmation::kAccepted), std::end(LibMisc::Confirmation::kAccepted)));
        std::unique_lock<std::mutex> guard(_lock);
        if (!_changed.wait_for(guard, std::chrono::seconds(2), [this] { return _finished; })) {
            guard.unlock();
            transport->close();
        }
        _reader.join();
    }

    std::optional<ReadOutcome> nextRead(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000))
    {
        std::unique_lock<std::mutex> guard(_lock);
        if (!_changed.wait_for(guard, timeout, [this] { return !_outcomes.empty(); }))
            return std::nullopt;
        ReadOutcome outcome = _outcomes.front();
        _outcomes.pop_front();
        return outcome;
    }

    // The first outcome that delivered bytes.
    std::optional<ReadOutcome> nextDelivery(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            std::optional<ReadOutcome> outcome = nextRead(std::max(left, std::chrono::milliseconds(0)));
            if (!outcome || outcome->result > 0)
                return outcome;
        }
    }

    LogCapture log; // first: outlives the threads below
    PtyPair pty;
    std::unique_ptr<Transport> transport = std::make_unique<Transport>(pty.slavePath());

private:
    std::thread _reader;
    std::atomic<bool> _stopping{false};
    std::mutex _lock;
    std::condition_variable _changed;
    std::deque<ReadOutcome> _outcomes;
    bool _finished = false;
};

} // namespace kiv_test
