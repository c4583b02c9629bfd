#include "tools/terminal-sim/ProcessingProtocol.h"

#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace terminal_sim {

namespace {

const char* const answerMembers[] = {"responseCode", "responseDescription", "authorizationCode", "referenceNumber"};

// Nothing when the line is not a JSON object.
std::optional<json::JSON> objectLine(const std::string& line)
{
    try {
        json::JSON value = json::JSON::Load(line);
        if (value.kind() == json::JSON::ObjectValue)
            return value;
    } catch (const std::logic_error&) {
        // a number without digits or out of range
    }
    return std::nullopt;
}

} // namespace

Authorisation Approver::approve()
{
    ++_count;
    char stamp[8];
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    std::strftime(stamp, sizeof(stamp), "%y%j%H", localtime_r(&now, &local));
    char authorizationCode[8];
    std::snprintf(authorizationCode, sizeof(authorizationCode), "%06u", _count % 1000000);
    char referenceNumber[16];
    std::snprintf(referenceNumber, sizeof(referenceNumber), "%s%06u", stamp + 1, _count % 1000000);
    return approval(authorizationCode, referenceNumber);
}

std::string authorisationRequest(const PaymentRequest& request)
{
    StringMembers members = {{"operation", request.operation}};
    members.insert(members.end(), request.members.begin(), request.members.end());
    return jsonObject(members) + "\n";
}

std::string authorisationAnswer(const std::string& requestLine, Approver& approver)
{
    std::optional<json::JSON> request = objectLine(requestLine);
    Authorisation verdict;
    try {
        if (!request || !stringMember(*request, "operation"))
            throw std::invalid_argument("not a JSON object with an \"operation\"");
        verdict = approver.approve();
    } catch (const std::invalid_argument& e) {
        verdict = refusal(response_code::formatError, std::string("bad authorisation request: ") + e.what());
    }
    return jsonObject({
               {answerMembers[0], verdict.responseCode},
               {answerMembers[1], verdict.responseDescription},
               {answerMembers[2], verdict.authorizationCode},
               {answerMembers[3], verdict.referenceNumber},
           }) +
           "\n";
}

Authorisation readAuthorisationAnswer(const std::string& answerLine)
{
    std::optional<json::JSON> answer = objectLine(answerLine);
    try {
        if (!answer)
            throw std::invalid_argument("not a JSON object");
        std::string values[4];
        for (std::size_t i = 0; i < 4; ++i)
            values[i] = stringMember(*answer, answerMembers[i]).value_or("");
        if (values[0].empty())
            throw std::invalid_argument("no \"responseCode\"");
        return {values[0], values[1], values[2], values[3]};
    } catch (const std::invalid_argument& e) {
        return refusal(response_code::hostUnavailable, std::string("unreadable answer from the processing host: ") +
                                                           e.what());
    }
}

} // namespace terminal_sim
