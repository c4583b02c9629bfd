#include "bench/SoakSale.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "bench/SaleAnswer.h"
#include "tests/support/LoopbackClient.h"

namespace kiv_bench {

namespace {

using Clock = std::chrono::steady_clock;

std::string amountOf(unsigned number)
{
    return std::to_string(100 + number); // in kopecks; never twice the same
}

std::string request(unsigned number)
{
    char uid[40];
    std::snprintf(uid, sizeof(uid), "5a0c0000-0000-4000-8000-%012u", number);
    return saleRequest(amountOf(number), uid);
}

// The receipt prints the amount in roubles with the currency code, after
// the blanks that align it.
std::string printedAmount(unsigned number)
{
    std::string digits = amountOf(number);
    return " " + digits.substr(0, digits.size() - 2) + "." + digits.substr(digits.size() - 2) + " 643";
}

// The body once the whole answer is there.
std::optional<std::string> wholeBody(const std::string& answer)
{
    const auto headEnd = answer.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return std::nullopt;
    const auto field = answer.find("Content-Length: ");
    if (field == std::string::npos || field > headEnd)
        return std::nullopt;
    const size_t length = std::strtoul(answer.c_str() + field + 16, nullptr, 10);
    if (answer.size() < headEnd + 4 + length)
        return std::nullopt;
    return answer.substr(headEnd + 4, length);
}

} // namespace

SaleOutcome runSale(int cashierPort, unsigned number, std::chrono::milliseconds patience)
{
    const auto deadline = Clock::now() + patience;
    std::string answer;
    try {
        LoopbackClient pos(cashierPort);
        pos.send(request(number));
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return SaleOutcome::NoAnswer;
            const auto bytes = pos.receiveSome(left);
            if (pos.peerClosed())
                return SaleOutcome::Closed;
            answer.append(bytes.begin(), bytes.end());
            if (const auto body = wholeBody(answer)) {
                const bool ours = answer.rfind("HTTP/1.1 200 ", 0) == 0 &&
                                  body->find(R"("responseCode": "00")") != std::string::npos &&
                                  body->find(printedAmount(number)) != std::string::npos;
                return ours ? SaleOutcome::Answered : SaleOutcome::OtherAnswer;
            }
        }
    } catch (const std::exception&) {
        return SaleOutcome::Closed; // refused or reset before the request went out
    }
}

const char* describe(SaleOutcome outcome)
{
    switch (outcome) {
    case SaleOutcome::Answered:
        return "answered";
    case SaleOutcome::OtherAnswer:
        return "answered, but not with this sale's approval";
    case SaleOutcome::Closed:
        return "closed without an answer";
    case SaleOutcome::NoAnswer:
        return "no answer";
    }
    return "?";
}

} // namespace kiv_bench
