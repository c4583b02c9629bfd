// Reading the point-of-sale side's HTTP requests and writing the answers.

#include "tools/terminal-sim/PaymentOperations.h"

#include "CashierHttp.h"

#include <gtest/gtest.h>

using namespace terminal_sim;

namespace {

// The request the reader makes of the text fed in one piece; HttpError
// when it is bad, nothing while incomplete.
std::optional<PaymentRequest> read(const std::string& text)
{
    HttpRequestReader reader;
    const std::optional<HttpRequest> http = reader.feed(Bytes(text.begin(), text.end()));
    if (!http)
        return std::nullopt;
    return readPaymentRequest(*http);
}

} // namespace

TEST(CashierRequests, ReadFromBytesCutAnywhere)
{
    const std::string text = post(requestBody(R"("operation": "sale", "currency": "643", "amount": "1500")", "48")) +
                             "trailing bytes";
    HttpRequestReader reader;
    std::optional<HttpRequest> http;
    for (std::size_t i = 0; i < text.size() && !http; ++i)
        http = reader.feed(Bytes(1, static_cast<uint8_t>(text[i])));
    ASSERT_TRUE(http);
    EXPECT_EQ("POST", http->method);
    EXPECT_EQ("application/json", http->headers["content-type"]);

    const PaymentRequest request = readPaymentRequest(*http);
    EXPECT_EQ("sale", request.operation);
    EXPECT_EQ("1500", request.member("amount"));
    EXPECT_EQ("5b1c0d2e-0000-4000-8000-000000000001", request.member("uid"));
    EXPECT_EQ(48u, request.receiptWidth);
    EXPECT_TRUE(needsAuthorisation(request));
}

TEST(CashierRequests, BadRequestsNameTheirFault)
{
    const std::string head = "POST /api/1/ecr/transaction HTTP/1.1\r\n";
    const struct {
        std::string text;
        int status;
        const char* why;
    } cases[] = {
        {"GET /api/1/ecr/transaction HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 405, "only POST is served, not GET"},
        {post("{}", "/api/2/transaction?x=1"), 404,
         "no such path /api/2/transaction?x=1; requests go to /api/1/ecr/transaction"},
        {"POST /api/1/ecr/transaction\r\n\r\n", 400, "bad request line \"POST /api/1/ecr/transaction\""},
        {head + "Host 127.0.0.1\r\n\r\n", 400, "bad header line \"Host 127.0.0.1\""},
        {head + "Content-Length: 2\r\ncontent-length: 2\r\n\r\n{}", 400, "header content-length given twice"},
        {head + "\r\n", 411, "no Content-Length"},
        {head + "Content-Length: -1\r\n\r\n", 400, "bad Content-Length \"-1\""},
        {head + "Content-Length: 70000\r\n\r\n", 413, "body of 70000 bytes is too large"},
        {head + "Transfer-Encoding: chunked\r\n\r\n", 501, "Transfer-Encoding is not supported; send a Content-Length"},
        {head + std::string(20000, 'x'), 431, "no end of the headers within 16384 bytes"},
        {post("[1, 2]"), 400, "the body is not a JSON object {\"request\": {...}}"},
        {post("{\"request\": \"sale\"}"), 400, "the body is not a JSON object {\"request\": {...}}"},
        {post("{\"request\": {\"operation\": -}}"), 400,
         "the body is not JSON: a number without digits or out of range"},
        {post(requestBody("\"currency\": \"643\"")), 400, "the request has no \"operation\""},
        {post(requestBody("\"operation\": 1")), 400, "\"operation\" is not a JSON string"},
        {post(requestBody("\"operation\": \"creditvoucher\"")), 400, "unknown operation \"creditvoucher\""},
        {post(requestBody("\"operation\": \"refund\", \"currency\": \"643\", \"amount\": \"5\"")), 400,
         "refund needs \"referenceNumber\""},
        {post(requestBody("\"operation\": \"sale\", \"currency\": \"643\", \"amount\": 1500")), 400,
         "\"amount\" is not a JSON string"},
        {post(requestBody("\"operation\": \"sale\", \"currency\": \"643\", \"amount\": \"15.00\"")), 400,
         "\"amount\" must be a whole number of minor units, not \"15.00\""},
        {post(requestBody("\"operation\": \"sale_cashback\", \"currency\": \"643\", \"amount\": \"1\", "
                              "\"cashabackAmount\": \"-5\"")),
         400, "\"cashabackAmount\" must be a whole number of minor units, not \"-5\""},
        {post(requestBody("\"operation\": \"test\"", "8")), 400, "\"receiptWidth\" must be 16 to 120, not \"8\""},
        {post(requestBody("\"operation\": \"print\"")), 400, "print needs either \"referenceNumber\" or \"reportType\""},
        {post(requestBody("\"operation\": \"print\", \"reportType\": \"daily\"")), 400,
         "unknown \"reportType\" \"daily\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 200));
        try {
            read(c.text);
            ADD_FAILURE() << "no error";
        } catch (const HttpError& e) {
            EXPECT_EQ(c.status, e.status());
            EXPECT_STREQ(c.why, e.what());
        }
    }
    EXPECT_FALSE(read(head + "Content-Length: 10\r\n\r\n{\"req"));
}

TEST(CashierRequests, AnswersCarryTheirTextsIntact)
{
    const std::string tricky = "\"quoted\" \\ \xD0\x9E\xD0\x9A\n\t\x01";
    const Bytes bytes = httpAnswer(PaymentAnswer{"05", tricky, "", "", "", ""});
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t headEnd = text.find("\r\n\r\n");
    ASSERT_NE(std::string::npos, headEnd);
    EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                  std::to_string(text.size() - headEnd - 4) + "\r\nConnection: close",
              text.substr(0, headEnd));
    HttpAnswer answer = readAnswer(text);
    EXPECT_EQ("05", answer.member("responseCode"));
    // The reading parser leaves \u escapes as they are written.
    EXPECT_EQ("\"quoted\" \\ \xD0\x9E\xD0\x9A\n\t\\u0001", answer.member("responseDescription"));

    const HttpError notFound(404, "no such path /x");
    const Bytes refusal = httpAnswer(notFound);
    HttpAnswer refused = readAnswer(std::string(refusal.begin(), refusal.end()));
    EXPECT_EQ(0u, refused.head.rfind("HTTP/1.1 404 Not Found\r\n", 0));
    EXPECT_EQ("30", refused.member("responseCode"));
    EXPECT_EQ("no such path /x", refused.member("responseDescription"));
}

TEST(CashierRequests, ReceiptIsAsWideAsAskedWhateverItHolds)
{
    HttpRequest http{"POST", "/api/1/ecr/transaction", {},
                     requestBody("\"operation\": \"refund\", \"currency\": \"643\", \"amount\": \"7\", "
                                 "\"referenceNumber\": \"\\u0416" + std::string(30, '9') + "\"",
                                 "16")};
    const PaymentRequest request = readPaymentRequest(http);
    const PaymentAnswer answer =
        answerFor(request, refusal("05", "A description far longer than the slip\nis wide"));
    EXPECT_EQ("", answer.authorizationCode);
    EXPECT_EQ("", answer.paymentMethod);

    std::size_t lines = 0;
    std::size_t start = 0;
    for (std::size_t end; start <= answer.receiptData.size(); start = end + 1, ++lines) {
        end = answer.receiptData.find('\n', start);
        if (end == std::string::npos)
            end = answer.receiptData.size();
        const std::string line = answer.receiptData.substr(start, end - start);
        std::size_t characters = 0;
        for (const char c : line)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        EXPECT_EQ(16u, characters) << "[" << line << "]";
    }
    EXPECT_GE(lines, 8u);
    EXPECT_NE(std::string::npos, answer.receiptData.find("0.07 643"));
    EXPECT_NE(std::string::npos, answer.receiptData.find("\xD0\x96" "999")); // the decoded escape
    EXPECT_NE(std::string::npos, answer.receiptData.find("DECLINED"));
}
