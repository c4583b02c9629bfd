#include <gtest/gtest.h>

#include <QJsonArray>

#include "plugin/Response.h"
#include "tests/plugin/support/HostDoubles.h"
#include "tests/plugin/support/QtPrinters.h"

namespace {

http::Response withBody(const QByteArray& body)
{
    http::Response exchange;
    exchange.body = body;
    return exchange;
}

TEST(ResponseTest, SuccessOnlyForTextCodeZeroOrDoubleZero)
{
    const struct {
        QJsonValue code;
        bool success;
    } cases[] = {
        {"0", true}, {"00", true}, {"000", false}, {"05", false}, {"", false}, {0, false}, {QJsonValue(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QJsonDocument(QJsonArray{c.code}).toJson(QJsonDocument::Compact).toStdString());
        QJsonObject answer;
        if (!c.code.isNull())
            answer.insert("responseCode", c.code);
        EXPECT_EQ(kiv::Response(terminalAnswer(answer)).isSuccess(), c.success);
    }
}

TEST(ResponseTest, PaymentMethodIsLookedUpCaseSensitively)
{
    const struct {
        QJsonValue method;
        int code;
    } cases[] = {
        {"card", 1}, {"qr", 2}, {"bio", 3}, {"Card", 0}, {"cash", 0}, {"", 0}, {1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method.toString().toStdString());
        EXPECT_EQ(kiv::Response(terminalAnswer({{"paymentMethod", c.method}})).paymentMethod(), c.code);
    }
}

TEST(ResponseTest, ReadsTheAnswerFields)
{
    const kiv::Response response(terminalAnswer({{"responseCode", "00"}, {"responseDescription", "Одобрено"},
        {"receiptData", "ЧЕК\nстрока 2"}, {"authorizationCode", "A1B2"}, {"referenceNumber", "123456789012"},
        {"paymentMethod", "qr"}}));

    EXPECT_TRUE(response.hasTerminalAnswer());
    EXPECT_EQ(response.description(), "Одобрено");
    EXPECT_EQ(response.receipt(), QStringList{"ЧЕК\nстрока 2"});
    EXPECT_EQ(response.authorizationCode(), "A1B2");
    EXPECT_EQ(response.referenceNumber(), "123456789012");
    EXPECT_EQ(response.paymentMethod(), 2);
}

TEST(ResponseTest, ReceiptIsOneTextWheneverTheMemberIsPresent)
{
    EXPECT_EQ(kiv::Response(terminalAnswer({{"receiptData", ""}})).receipt(), QStringList{""});
    EXPECT_EQ(kiv::Response(terminalAnswer({{"receiptData", 5}})).receipt(), QStringList{""});
    EXPECT_EQ(kiv::Response(terminalAnswer({})).receipt(), QStringList{});
}

TEST(ResponseTest, BodyWithoutAResponseObjectReadsEmpty)
{
    const QByteArray bodies[] = {"", "not json", "[1,2]", R"({"response":"00"})", R"({"result":{"responseCode":"00"}})"};
    for (const QByteArray& body : bodies) {
        SCOPED_TRACE(body.toStdString());
        const kiv::Response response(withBody(body));
        EXPECT_FALSE(response.hasTerminalAnswer());
        EXPECT_FALSE(response.isSuccess());
        EXPECT_EQ(response.description(), "");
        EXPECT_EQ(response.receipt(), QStringList{});
    }
}

TEST(ResponseTest, KeepsTheExchangeOutcome)
{
    EXPECT_EQ(kiv::Response(brokenExchange()).errorCode, brokenExchange().errorCode);
}

} // namespace
