#pragma once

// What the terminal and its processing host say to each other over the host
// connection: one JSON object of string members per line each way.
//   terminal: {"operation": "sale", "currency": "643", "amount": "1500", "uid": "..."}
//   host:     {"responseCode": "00", "responseDescription": "Approved",
//              "authorizationCode": "000001", "referenceNumber": "503412000001"}

#include "tools/terminal-sim/PaymentOperations.h"

#include <string>

namespace terminal_sim {

// Lines longer than this are not read.
constexpr std::size_t maxAuthorisationLine = 16 * 1024;

// Approves everything, with a new authorisation code and reference number
// each time. Reference numbers start with the year's last digit, the day of
// the year and the hour, so runs on different days do not repeat them.
class Approver {
public:
    Authorisation approve();

private:
    unsigned _count = 0;
};

// The request line, line feed included.
std::string authorisationRequest(const PaymentRequest& request);
// The host's answer line to one request line, line feed included: approved
// by `approver`, or refused with "30" when the line is no request.
std::string authorisationAnswer(const std::string& requestLine, Approver& approver);
// The verdict an answer line carries; a refusal "91" when it carries none.
Authorisation readAuthorisationAnswer(const std::string& answerLine);

} // namespace terminal_sim
