#include "tools/terminal-sim/PaymentOperations.h"

#include "tools/terminal-sim/Receipt.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <stdexcept>
#include <vector>

namespace terminal_sim {

namespace {

const char* const transactionPath = "/api/1/ecr/transaction";
constexpr unsigned minReceiptWidth = 16;
constexpr unsigned maxReceiptWidth = 120;

struct Operation {
    const char* name;
    std::vector<const char*> required;
    bool authorised;           // decided by the processing host
    const char* title;         // of the receipt; none: no receipt
    const char* paymentMethod; // on approval
};

const Operation operations[] = {
    {"sale", {"currency", "amount"}, true, "SALE", "card"},
    {"refund", {"currency", "amount", "referenceNumber"}, true, "REFUND", "card"},
    {"customerreversal", {"currency", "amount", "referenceNumber"}, true, "CANCELLATION", "card"},
    {"techreversal", {"uid"}, true, "TECHNICAL REVERSAL", ""},
    {"closebatch", {}, false, "BATCH CLOSE", ""},
    {"test", {}, false, "CONNECTION TEST", ""},
    {"sale_cashback", {"currency", "amount", "cashabackAmount"}, true, "SALE WITH CASH", "card"},
    {"print", {}, false, "COPY", ""}, // a copy by "referenceNumber", or a report by "reportType"
    {"\xD1\x81reditvoucher", {"currency", "amount"}, true, "CREDIT VOUCHER", "card"}, // Cyrillic first letter
    {"balance", {}, false, "BALANCE", "card"},
    {"sbpsale", {"currency", "amount"}, true, "QR SALE", "qr"},
    {"sbpsalestatus", {"currency", "amount", "qrcId"}, false, "QR SALE STATUS", "qr"},
    {"sbprefund", {"currency", "amount", "referenceNumber", "qrcId"}, true, "QR REFUND", "qr"},
    {"sbprefundstatus", {"currency", "amount", "referenceNumber", "qrcId"}, false, "QR REFUND STATUS", "qr"},
    {"canceloperation", {}, false, nullptr, ""},
};

const char* const optionalMembers[] = {"uid", "referenceNumber", "reportType"};
const char* const amountMembers[] = {"amount", "cashabackAmount"};

const Operation* findOperation(const std::string& name)
{
    for (const Operation& operation : operations) {
        if (name == operation.name)
            return &operation;
    }
    return nullptr;
}

bool digitsOnly(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

unsigned receiptWidth(const std::optional<std::string>& text)
{
    if (!text)
        return 32;
    const unsigned long width = digitsOnly(*text) && text->size() <= 4 ? std::stoul(*text) : 0;
    if (width < minReceiptWidth || width > maxReceiptWidth)
        throw std::invalid_argument("\"receiptWidth\" must be " + std::to_string(minReceiptWidth) + " to " +
                                    std::to_string(maxReceiptWidth) + ", not \"" + *text + "\"");
    return static_cast<unsigned>(width);
}

void checkMembers(const PaymentRequest& request)
{
    for (const char* key : amountMembers) {
        const std::string amount = request.member(key);
        // Minor units as the decimal text of a signed 64-bit number; no refunds below zero.
        if (!amount.empty() && (!digitsOnly(amount) || amount.size() > 18))
            throw std::invalid_argument("\"" + std::string(key) + "\" must be a whole number of minor units, not \"" +
                                        amount + "\"");
    }
    if (request.operation != "print")
        return;
    const std::string reportType = request.member("reportType");
    const bool copy = !request.member("referenceNumber").empty();
    if (copy == !reportType.empty())
        throw std::invalid_argument("print needs either \"referenceNumber\" or \"reportType\"");
    if (!copy && reportType != "audit" && reportType != "summary")
        throw std::invalid_argument("unknown \"reportType\" \"" + reportType + "\"");
}

PaymentRequest readBody(const std::string& body)
{
    json::JSON document;
    try {
        document = json::JSON::Load(body);
    } catch (const std::logic_error&) {
        throw std::invalid_argument("the body is not JSON: a number without digits or out of range");
    }
    if (!document.hasMember("request") || document["request"].kind() != json::JSON::ObjectValue)
        throw std::invalid_argument("the body is not a JSON object {\"request\": {...}}");
    json::JSON& fields = document["request"];

    const std::optional<std::string> name = stringMember(fields, "operation");
    if (!name)
        throw std::invalid_argument("the request has no \"operation\"");
    const Operation* operation = findOperation(*name);
    if (!operation)
        throw std::invalid_argument("unknown operation \"" + *name + "\"");

    PaymentRequest request;
    request.operation = *name;
    for (const char* key : operation->required) {
        const std::optional<std::string> value = stringMember(fields, key);
        if (!value)
            throw std::invalid_argument(*name + " needs \"" + key + "\"");
        request.members.emplace_back(key, *value);
    }
    for (const char* key : optionalMembers) {
        const bool required = std::find(operation->required.begin(), operation->required.end(),
                                        std::string(key)) != operation->required.end();
        const std::optional<std::string> value = required ? std::nullopt : stringMember(fields, key);
        if (value)
            request.members.emplace_back(key, *value);
    }
    request.receiptWidth = receiptWidth(stringMember(fields, "receiptWidth"));
    checkMembers(request);
    return request;
}

std::string money(const std::string& minorUnits, const std::string& currency)
{
    std::string digits = minorUnits;
    if (digits.size() < 3)
        digits.insert(0, 3 - digits.size(), '0');
    return digits.substr(0, digits.size() - 2) + "." + digits.substr(digits.size() - 2) + " " + currency;
}

std::string now()
{
    char text[32];
    const std::time_t seconds = std::time(nullptr);
    std::tm local {};
    std::strftime(text, sizeof(text), "%d.%m.%Y %H:%M:%S", localtime_r(&seconds, &local));
    return text;
}

std::string title(const PaymentRequest& request, const Operation& operation)
{
    const std::string reportType = request.member("reportType");
    if (request.operation == "print" && !reportType.empty())
        return reportType == "audit" ? "AUDIT REPORT" : "SUMMARY REPORT";
    return operation.title;
}

std::string receipt(const PaymentRequest& request, const Operation& operation, const PaymentAnswer& answer,
                    bool approved)
{
    Receipt slip(request.receiptWidth);
    slip.centered("TERMINAL SIMULATOR");
    slip.centered(now());
    slip.rule();
    slip.centered(title(request, operation));
    const std::string currency = request.member("currency");
    for (const char* key : amountMembers) {
        if (!request.member(key).empty())
            slip.pair(key == std::string("amount") ? "AMOUNT" : "CASH", money(request.member(key), currency));
    }
    if (!request.member("referenceNumber").empty())
        slip.pair("ORIGINAL REF. NO.", request.member("referenceNumber"));
    if (!request.member("qrcId").empty())
        slip.pair("QR ID", request.member("qrcId"));
    if (request.operation == "techreversal")
        slip.pair("REVERSED UID", request.member("uid"));
    slip.rule();
    if (!answer.authorizationCode.empty())
        slip.pair("AUTH. CODE", answer.authorizationCode);
    if (!answer.referenceNumber.empty())
        slip.pair("REF. NO.", answer.referenceNumber);
    if (approved) {
        slip.centered("APPROVED");
    } else {
        slip.pair("RESPONSE CODE", answer.responseCode);
        slip.centered("DECLINED");
        slip.centered(answer.responseDescription);
    }
    return slip.text();
}

std::string responseBody(const PaymentAnswer& answer)
{
    return "{\"response\": " +
           jsonObject({
               {"responseCode", answer.responseCode},
               {"responseDescription", answer.responseDescription},
               {"receiptData", answer.receiptData},
               {"authorizationCode", answer.authorizationCode},
               {"referenceNumber", answer.referenceNumber},
               {"paymentMethod", answer.paymentMethod},
           }) +
           "}";
}

} // namespace

Authorisation approval(std::string authorizationCode, std::string referenceNumber)
{
    return {response_code::approved, "Approved", std::move(authorizationCode), std::move(referenceNumber)};
}

Authorisation refusal(std::string responseCode, std::string responseDescription)
{
    return {std::move(responseCode), std::move(responseDescription), {}, {}};
}

std::string PaymentRequest::member(const std::string& key) const
{
    for (const auto& member : members) {
        if (member.first == key)
            return member.second;
    }
    return {};
}

PaymentRequest readPaymentRequest(const HttpRequest& http)
{
    if (http.method != "POST")
        throw HttpError(405, "only POST is served, not " + http.method);
    if (http.target.substr(0, http.target.find('?')) != transactionPath)
        throw HttpError(404, "no such path " + http.target + "; requests go to " + transactionPath);
    try {
        return readBody(http.body);
    } catch (const std::invalid_argument& e) {
        throw HttpError(400, e.what());
    }
}

bool needsAuthorisation(const PaymentRequest& request)
{
    const Operation* operation = findOperation(request.operation);
    return operation && operation->authorised;
}

PaymentAnswer answerFor(const PaymentRequest& request, const Authorisation& outcome)
{
    const Operation* operation = findOperation(request.operation);
    PaymentAnswer answer;
    answer.responseCode = outcome.responseCode;
    answer.responseDescription = outcome.responseDescription;
    if (outcome.approved()) {
        answer.authorizationCode = outcome.authorizationCode;
        // Operations the host does not see name the one they refer to.
        answer.referenceNumber = outcome.referenceNumber.empty() ? request.member("referenceNumber")
                                                                 : outcome.referenceNumber;
        answer.paymentMethod = operation ? operation->paymentMethod : "";
    }
    if (operation && operation->title)
        answer.receiptData = receipt(request, *operation, answer, outcome.approved());
    return answer;
}

Bytes httpAnswer(const PaymentAnswer& answer)
{
    return httpResponse(200, responseBody(answer));
}

Bytes httpAnswer(const HttpError& error)
{
    PaymentAnswer answer;
    answer.responseCode = response_code::formatError;
    answer.responseDescription = error.what();
    return httpResponse(error.status(), responseBody(answer));
}

} // namespace terminal_sim
