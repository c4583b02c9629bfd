#include "tools/terminal-sim/PaymentApplication.h"

namespace terminal_sim {

namespace {

// A terminal keeps an answer the line did not take (unplugged, or the service
// did not acknowledge it) and offers it again until a new cashier request
// replaces the operation.
constexpr std::chrono::seconds answerRetryPeriod{1};
constexpr std::chrono::seconds answerKeptFor{60};

// Host connection ids stay below the listener's.
constexpr uint64_t lastHostId = firstListenerId - 1;

std::string describe(const PaymentRequest& request)
{
    const std::string amount = request.member("amount");
    return request.operation + (amount.empty() ? "" : " of " + amount);
}

Bytes textBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

} // namespace

PaymentApplication::PaymentApplication(TerminalSimulator& simulator, PaymentOptions options)
    : _simulator(simulator), _options(std::move(options))
{
    _simulator.addMessageHandler([this](const TunnelMessage& message) { return _handle(message); });
}

PaymentApplication::~PaymentApplication()
{
    _simulator.stop();
}

void PaymentApplication::setScenario(Scenario scenario)
{
    std::lock_guard<std::mutex> lock(_scenarioMutex);
    _scenario = std::move(scenario);
}

bool PaymentApplication::cancelOperation()
{
    if (!_operation)
        return false;
    _finish(refusal(response_code::cancelled, "Operation cancelled"));
    return true;
}

bool PaymentApplication::_handle(const TunnelMessage& message)
{
    if (message.type == Proxy::PMT_EVENT_DATA) {
        _onCashierData(message);
        return true;
    }
    if (_operation && _operation->hostId != 0 && message.connectionId == _operation->hostId) {
        _onHostMessage(message);
        return true;
    }
    return false;
}

void PaymentApplication::_onCashierData(const TunnelMessage& message)
{
    if (message.connectionId != _cashierId) {
        // The service serves one cashier connection at a time, so the one
        // before is gone, and with it whoever waited for an answer.
        if (_operation) {
            _simulator.log("cashier: " + describe(_operation->request) + " abandoned for a new cashier connection");
            _closeHostConnection();
            _operation.reset();
        }
        _cashierId = message.connectionId;
        _reader.emplace();
    }
    if (!_reader) {
        _simulator.log("cashier: ignored " + std::to_string(message.payload.size()) +
                       " bytes after the request of connection " + std::to_string(message.connectionId));
        return;
    }
    try {
        const std::optional<HttpRequest> http = _reader->feed(message.payload);
        if (!http)
            return;
        _reader.reset();
        _start(readPaymentRequest(*http));
    } catch (const HttpError& e) {
        _reader.reset();
        _simulator.log(std::string("cashier: request refused: ") + e.what());
        _answer(message.connectionId, httpAnswer(e));
    }
}

void PaymentApplication::_start(PaymentRequest request)
{
    Scenario scenario;
    {
        std::lock_guard<std::mutex> lock(_scenarioMutex);
        scenario = _scenario;
    }
    _simulator.log("cashier: " + describe(request) + " asked for");
    if (scenario.neverAnswer) {
        _simulator.log("cashier: " + describe(request) + " left unanswered");
        return;
    }
    _operation = Operation{++_operations, *_cashierId, std::move(request), scenario.declineCode, 0, {}};
    if (scenario.answerDelay.count() <= 0) {
        _proceed();
        return;
    }
    const unsigned number = _operation->number;
    _simulator.schedule(scenario.answerDelay, [this, number] {
        if (_current(number))
            _proceed();
    });
}

void PaymentApplication::_proceed()
{
    const Operation& operation = *_operation;
    if (!operation.declineCode.empty())
        _finish(refusal(operation.declineCode, "Declined"));
    else if (!needsAuthorisation(operation.request))
        _finish(approval());
    else if (_options.processingHost)
        _openHostConnection();
    else
        _finish(_approver.approve());
}

void PaymentApplication::_openHostConnection()
{
    const HostAddress& host = *_options.processingHost;
    _lastHostId = _lastHostId % lastHostId + 1;
    Operation& operation = *_operation;
    operation.hostId = _lastHostId;
    _simulator.log("cashier: asking the processing host " + host.ip + ":" + std::to_string(host.port) +
                   " over connection " + std::to_string(operation.hostId));
    _simulator.sendAsync(connectionRequest(operation.hostId, host.ip, host.port, _options.connectTimeoutSeconds,
                                           _simulator.options().serialNumber));
    const unsigned number = operation.number;
    _simulator.schedule(_options.authorisationTimeout, [this, number] {
        if (_current(number) && _operation->hostId != 0)
            _finish(refusal(response_code::hostUnavailable, "No answer from the processing host"));
    });
}

void PaymentApplication::_onHostMessage(const TunnelMessage& message)
{
    Operation& operation = *_operation;
    if (const std::optional<int> status = message.connectionStatus()) {
        if (*status == statusConnected) {
            const Bytes request = textBytes(authorisationRequest(operation.request));
            _simulator.sendInOrderAsync(dataMessages(Proxy::PMT_SEND_DATA, operation.hostId, request, dataChunk));
        } else if (*status == statusClosed) {
            operation.hostId = 0; // closed by the service already
            _finish(refusal(response_code::hostUnavailable, message.type == Proxy::PMT_CONNECTION_RESULT
                                                                 ? "Processing host unreachable"
                                                                 : "The processing host closed the connection"));
        }
        return;
    }
    const std::optional<Bytes> data = message.connectionData();
    if (!data)
        return;
    operation.hostAnswer.append(data->begin(), data->end());
    const std::size_t end = operation.hostAnswer.find('\n');
    if (end != std::string::npos)
        _finish(readAuthorisationAnswer(operation.hostAnswer.substr(0, end)));
    else if (operation.hostAnswer.size() > maxAuthorisationLine)
        _finish(refusal(response_code::hostUnavailable, "The processing host's answer is too long"));
}

void PaymentApplication::_finish(const Authorisation& verdict)
{
    _closeHostConnection();
    const Operation& operation = *_operation;
    _simulator.log("cashier: " + describe(operation.request) + " answered " + verdict.responseCode + " " +
                   verdict.responseDescription);
    _answer(operation.cashierId, httpAnswer(answerFor(operation.request, verdict)));
    _operation.reset();
}

void PaymentApplication::_closeHostConnection()
{
    if (!_operation || _operation->hostId == 0)
        return;
    _simulator.sendAsync(connectionStatus(_operation->hostId, Proxy::PMT_CONNECTION_CONTROL, statusClosed,
                                          _simulator.options().serialNumber));
    _operation->hostId = 0;
}

void PaymentApplication::_answer(uint64_t cashierId, const Bytes& http)
{
    const std::vector<Bytes> messages = dataMessages(Proxy::PMT_EVENT_DATA, cashierId, http, dataChunk);
    _deliverAnswer(cashierId, std::make_shared<std::deque<Bytes>>(messages.begin(), messages.end()),
                   std::chrono::steady_clock::now() + answerKeptFor);
}

void PaymentApplication::_deliverAnswer(uint64_t cashierId, std::shared_ptr<std::deque<Bytes>> rest,
                                        std::chrono::steady_clock::time_point giveUpAt)
{
    if (rest->empty())
        return;
    _simulator.sendFromThread(rest->front(), [this, cashierId, rest, giveUpAt](bool taken) {
        if (taken) {
            rest->pop_front();
            _deliverAnswer(cashierId, rest, giveUpAt);
        } else if (_cashierId != cashierId) {
            _simulator.log("cashier: answer to connection " + std::to_string(cashierId) + " dropped for a newer one");
        } else if (std::chrono::steady_clock::now() >= giveUpAt) {
            _simulator.log("cashier: answer to connection " + std::to_string(cashierId) + " not delivered, given up");
        } else {
            _simulator.log("cashier: answer to connection " + std::to_string(cashierId) + " not taken, offered again");
            _simulator.schedule(answerRetryPeriod, [this, cashierId, rest, giveUpAt] {
                if (_cashierId == cashierId)
                    _deliverAnswer(cashierId, rest, giveUpAt);
            });
        }
    });
}

bool PaymentApplication::_current(unsigned number) const
{
    return _operation && _operation->number == number;
}

} // namespace terminal_sim
