#include "bench/SaleAnswer.h"

#include <map>
#include <memory>

#include "tools/terminal-sim/HttpFraming.h"

namespace kiv_bench {

using namespace terminal_sim;

std::string saleRequest(const std::string& amount, const std::string& uid)
{
    const std::string body = R"({"request": {"operation": "sale", "currency": "643", "amount": ")" + amount +
                             R"(", "uid": ")" + uid + R"(", "receiptWidth": "32"}})";
    return "POST /api/1/ecr/transaction HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
           "Accept: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

const Bytes& saleAnswer()
{
    static const Bytes answer = httpResponse(
        200, R"({"response": {"responseCode": "00", "responseDescription": "Approved", "receiptData": "",)"
             R"( "authorizationCode": "123456", "referenceNumber": "000000000001", "paymentMethod": "card"}})");
    return answer;
}

void answerSalesAtOnce(TerminalSimulator& terminal)
{
    // Requests may come in pieces; one reader per operation, touched only on
    // the simulator's thread.
    auto readers = std::make_shared<std::map<uint64_t, HttpRequestReader>>();
    terminal.addMessageHandler([&terminal, readers](const TunnelMessage& message) {
        if (message.type != Proxy::PMT_EVENT_DATA)
            return false;
        try {
            if (!(*readers)[message.connectionId].feed(message.payload))
                return true;
            terminal.sendAsync(dataMessage(Proxy::PMT_EVENT_DATA, message.connectionId, saleAnswer()));
        } catch (const HttpError& e) {
            // Left unanswered: the point of sale counts a failed sale.
            terminal.log(std::string("bad sale request: ") + e.what());
        }
        readers->erase(message.connectionId);
        return true;
    });
}

} // namespace kiv_bench
