#pragma once

#include "tools/terminal-sim/HttpFraming.h"
#include "tools/terminal-sim/PaymentOperations.h"
#include "tools/terminal-sim/ProcessingProtocol.h"
#include "tools/terminal-sim/TerminalSimulator.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace terminal_sim {

struct HostAddress {
    std::string ip; // dotted IPv4, as the service takes it
    uint16_t port = 0;
};

struct PaymentOptions {
    // Money operations are authorised there, through a host connection of
    // the service; without one the terminal approves them itself.
    std::optional<HostAddress> processingHost;
    // Asked of the service in the connection request.
    int connectTimeoutSeconds = 10;
    // From the connection request to the host's answer.
    std::chrono::milliseconds authorisationTimeout{30000};
};

// How the terminal treats the operations it is asked for.
struct Scenario {
    std::string declineCode;  // refuses every one with this response code
    bool neverAnswer = false; // reads the requests and answers none
    std::chrono::milliseconds answerDelay{0}; // before it works on one
};

// The terminal's payment application: serves the point-of-sale requests that
// reach it as PMT_EVENT_DATA messages, one operation at a time, and asks the
// processing host about money operations. Runs on the simulator's thread.
class PaymentApplication {
public:
    // Before the simulator starts.
    PaymentApplication(TerminalSimulator& simulator, PaymentOptions options);
    // Stops the simulator, whose thread calls into this object.
    ~PaymentApplication();
    PaymentApplication(const PaymentApplication&) = delete;
    PaymentApplication& operator=(const PaymentApplication&) = delete;

    // Any thread; in force from the next request on.
    void setScenario(Scenario scenario);
    // On the simulator's thread: answers the operation in process with a
    // refusal "17"; false when there is none.
    bool cancelOperation();

private:
    struct Operation {
        unsigned number; // tells the time-outs of earlier operations apart
        uint64_t cashierId;
        PaymentRequest request;
        std::string declineCode;
        uint64_t hostId = 0;    // the open host connection; 0 when there is none
        std::string hostAnswer; // as far as the processing host sent it
    };

    bool _handle(const TunnelMessage& message);
    void _onCashierData(const TunnelMessage& message);
    void _start(PaymentRequest request);
    void _proceed();
    void _openHostConnection();
    void _onHostMessage(const TunnelMessage& message);
    void _finish(const Authorisation& verdict);
    void _closeHostConnection();
    void _answer(uint64_t cashierId, const Bytes& http);
    // Offers the rest of an answer until the service takes it all.
    void _deliverAnswer(uint64_t cashierId, std::shared_ptr<std::deque<Bytes>> rest,
                        std::chrono::steady_clock::time_point giveUpAt);
    // True when `number` is still the operation in process.
    bool _current(unsigned number) const;

    TerminalSimulator& _simulator;
    const PaymentOptions _options;

    mutable std::mutex _scenarioMutex;
    Scenario _scenario;

    // On the simulator's thread.
    std::optional<uint64_t> _cashierId;
    std::optional<HttpRequestReader> _reader; // none once the connection's request is read
    std::optional<Operation> _operation;
    unsigned _operations = 0;
    uint64_t _lastHostId = 0;
    Approver _approver;
};

} // namespace terminal_sim
