#include "tools/terminal-sim/ListenerPeer.h"

#include "tools/terminal-sim/PaymentOperations.h"

namespace terminal_sim {

ListenerPeer::ListenerPeer(TerminalSimulator& simulator, std::function<void()> cancel)
    : _simulator(simulator), _cancel(std::move(cancel))
{
    _simulator.addMessageHandler([this](const TunnelMessage& message) { return _handle(message); });
}

ListenerPeer::~ListenerPeer()
{
    _simulator.stop();
}

bool ListenerPeer::_handle(const TunnelMessage& message)
{
    const uint64_t id = message.connectionId;
    if (message.type == Proxy::PMT_CONNECTION_CONTROL && message.newConnection()) {
        _accept(id);
        return true;
    }
    if (_connections.count(id) == 0)
        return false;
    if (message.connectionStatus() == statusClosed) {
        _simulator.log("listener: connection " + std::to_string(id) + " closed by the service");
        _connections.erase(id);
    } else if (const std::optional<Bytes> data = message.connectionData()) {
        _onData(id, *data);
    }
    return true;
}

void ListenerPeer::_accept(uint64_t id)
{
    const std::string& serial = _simulator.options().serialNumber;
    if (id < firstListenerId) {
        // Host connections are the terminal's to open, never the service's.
        _simulator.log("listener: refused a connection request for id " + std::to_string(id) +
                       ", below the listener's ids");
        _simulator.sendAsync(connectionStatus(id, Proxy::PMT_CONNECTION_RESULT, statusClosed, serial));
        return;
    }
    _simulator.log("listener: connection " + std::to_string(id) + " taken");
    _connections[id] = HttpRequestReader();
    _simulator.sendAsync(connectionStatus(id, Proxy::PMT_CONNECTION_RESULT, statusConnected, serial));
}

void ListenerPeer::_onData(uint64_t id, const Bytes& bytes)
{
    try {
        const std::optional<HttpRequest> http = _connections[id].feed(bytes);
        if (!http)
            return;
        const PaymentRequest request = readPaymentRequest(*http);
        if (request.operation != "canceloperation")
            throw HttpError(400, "only canceloperation is served on listener connections, not " + request.operation);
        _simulator.log("listener: cancel request on connection " + std::to_string(id));
        _cancel();
        _answer(id, httpAnswer(answerFor(request, approval())));
    } catch (const HttpError& e) {
        _simulator.log("listener: request on connection " + std::to_string(id) + " refused: " + e.what());
        _answer(id, httpAnswer(e));
    }
}

void ListenerPeer::_answer(uint64_t id, const Bytes& http)
{
    _connections.erase(id);
    std::vector<Bytes> messages = dataMessages(Proxy::PMT_SEND_DATA, id, http, dataChunk);
    messages.push_back(
        connectionStatus(id, Proxy::PMT_CONNECTION_CONTROL, statusClosed, _simulator.options().serialNumber));
    _simulator.sendInOrderAsync(std::move(messages));
}

} // namespace terminal_sim
