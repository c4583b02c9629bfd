#pragma once

// The operations the terminal performs for the point-of-sale side: what a
// request must carry and how the terminal answers it.

#include "tools/terminal-sim/HttpFraming.h"
#include "tools/terminal-sim/JsonText.h"

#include <string>

namespace terminal_sim {

namespace response_code {
constexpr const char* approved = "00";
constexpr const char* cancelled = "17";
constexpr const char* formatError = "30";
constexpr const char* hostUnavailable = "91";
} // namespace response_code

// The verdict on an operation: the processing host's, or the terminal's own.
struct Authorisation {
    std::string responseCode;
    std::string responseDescription;
    std::string authorizationCode;
    std::string referenceNumber;

    bool approved() const { return responseCode == "00" || responseCode == "0"; }
};

Authorisation approval(std::string authorizationCode = {}, std::string referenceNumber = {});
Authorisation refusal(std::string responseCode, std::string responseDescription);

struct PaymentRequest {
    std::string operation;
    // The further members the terminal read, "uid" among them.
    StringMembers members;
    unsigned receiptWidth = 32;

    // Empty when the request does not carry it.
    std::string member(const std::string& key) const;
};

// The operation a POST to the transaction path carries; HttpError 405, 404
// or 400 when it is none the terminal serves.
PaymentRequest readPaymentRequest(const HttpRequest& http);
// The operations that move money; the processing host decides them.
bool needsAuthorisation(const PaymentRequest& request);

struct PaymentAnswer {
    std::string responseCode;
    std::string responseDescription;
    std::string receiptData;
    std::string authorizationCode;
    std::string referenceNumber;
    std::string paymentMethod;
};

PaymentAnswer answerFor(const PaymentRequest& request, const Authorisation& outcome);
// HTTP 200 with {"response": {...}}.
Bytes httpAnswer(const PaymentAnswer& answer);
// The error's status with a refusal whose description says what is wrong.
Bytes httpAnswer(const HttpError& error);

} // namespace terminal_sim
