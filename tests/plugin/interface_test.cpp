#include <gtest/gtest.h>

#include <QRegularExpression>

#include <functional>

#include "plugin/Interface.h"
#include "tests/plugin/support/HostDoubles.h"
#include "tests/plugin/support/QtPrinters.h"

namespace {

const QUrl transactionUrl(QStringLiteral("http://127.0.0.1:10500/api/1/ecr/transaction"));
const QUrl listenerUrl(QStringLiteral("http://127.0.0.1:12500/api/1/ecr/transaction"));

bool isUid(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    return form.match(text).hasMatch();
}

class InterfaceTest : public ::testing::Test {
protected:
    InterfaceTest()
    {
        terminal.setUrl(QUrl(QStringLiteral("http://127.0.0.1:10500")));
        terminal.setCurrency(QStringLiteral("643"));
        terminal.setReceiptFormat(QStringLiteral("utf8"));
        terminal.setReceiptWidth(32);
        terminal.setBlPort(12500);
    }

    FakeRestClient rest;
    Mocked<RestClient> mockedRest{rest};
    kiv::Interface terminal;
};

struct OperationCase {
    const char* name;
    std::function<void(kiv::Interface&)> call;
    QJsonObject members; // besides uid and the receipt settings
};

TEST_F(InterfaceTest, EveryOperationPostsItsJsonBodyToTheTransactionUrl)
{
    const QString creditVoucher = QString::fromUtf8("\xD1\x81reditvoucher"); // Cyrillic first letter
    const std::vector<OperationCase> cases{
        {"sale", [](kiv::Interface& t) { t.sale(1500); },
            {{"operation", "sale"}, {"currency", "643"}, {"amount", "1500"}}},
        {"refund", [](kiv::Interface& t) { t.refund("REF1", 700); },
            {{"operation", "refund"}, {"currency", "643"}, {"amount", "700"}, {"referenceNumber", "REF1"}}},
        {"customerReversal", [](kiv::Interface& t) { t.customerReversal("REF2", 800); },
            {{"operation", "customerreversal"}, {"currency", "643"}, {"amount", "800"}, {"referenceNumber", "REF2"}}},
        {"closeBatch", [](kiv::Interface& t) { t.closeBatch(); }, {{"operation", "closebatch"}}},
        {"test", [](kiv::Interface& t) { t.test(); }, {{"operation", "test"}}},
        {"saleCashback", [](kiv::Interface& t) { t.saleCashback(10000, 2000); },
            {{"operation", "sale_cashback"}, {"currency", "643"}, {"amount", "10000"}, {"cashabackAmount", "2000"}}},
        {"printCopy", [](kiv::Interface& t) { t.printCopy("REF3"); },
            {{"operation", "print"}, {"referenceNumber", "REF3"}}},
        {"printReport", [](kiv::Interface& t) { t.printReport("audit"); },
            {{"operation", "print"}, {"reportType", "audit"}}},
        {"creditVoucher", [](kiv::Interface& t) { t.creditVoucher(-9000000000LL); },
            {{"operation", creditVoucher}, {"currency", "643"}, {"amount", "-9000000000"}}},
        {"balance", [](kiv::Interface& t) { t.balance(); }, {{"operation", "balance"}}},
        {"sbpSale", [](kiv::Interface& t) { t.sbpSale(100); },
            {{"operation", "sbpsale"}, {"currency", "643"}, {"amount", "100"}}},
        {"sbpSaleStatus", [](kiv::Interface& t) { t.sbpSaleStatus(100, "Q1"); },
            {{"operation", "sbpsalestatus"}, {"currency", "643"}, {"amount", "100"}, {"qrcId", "Q1"}}},
        {"sbpRefund", [](kiv::Interface& t) { t.sbpRefund(100, "REF4", "Q2"); },
            {{"operation", "sbprefund"}, {"currency", "643"}, {"amount", "100"}, {"referenceNumber", "REF4"}, {"qrcId", "Q2"}}},
        {"sbpRefundStatus", [](kiv::Interface& t) { t.sbpRefundStatus(100, "REF5", "Q3"); },
            {{"operation", "sbprefundstatus"}, {"currency", "643"}, {"amount", "100"}, {"referenceNumber", "REF5"}, {"qrcId", "Q3"}}},
    };
    const QHash<QString, QString> headers{{"Content-Type", "application/json"}, {"Connection", "close"}};

    for (const OperationCase& operation : cases) {
        SCOPED_TRACE(operation.name);
        rest.sent.clear();
        operation.call(terminal);

        ASSERT_EQ(rest.sent.size(), 1u);
        const FakeRestClient::Sent& sent = rest.sent.front();
        EXPECT_EQ(sent.url, transactionUrl);
        EXPECT_EQ(sent.headers, headers);
        EXPECT_EQ(sent.document.object().keys(), QStringList{"request"});
        QJsonObject expected = operation.members;
        expected.insert("uid", sent.uid());
        expected.insert("receiptFormat", "utf8");
        expected.insert("receiptWidth", "32");
        EXPECT_EQ(sent.request(), expected) << sent.document.toJson().toStdString();
        EXPECT_TRUE(isUid(sent.uid())) << sent.uid().toStdString();
    }
}

TEST_F(InterfaceTest, CancelGoesBareToTheListenerPort)
{
    terminal.sale(100);
    const QString saleUid = terminal.lastOperationUid();

    terminal.cancelOperation();

    ASSERT_EQ(rest.sent.size(), 2u);
    const FakeRestClient::Sent& sent = rest.sent.back();
    EXPECT_EQ(sent.url, listenerUrl);
    EXPECT_EQ(sent.headers, (QHash<QString, QString>{{"Content-Type", "application/json"}}));
    EXPECT_EQ(sent.document.object(), (QJsonObject{{"request", QJsonObject{{"operation", "canceloperation"}}}}));
    EXPECT_EQ(terminal.lastOperationUid(), saleUid);
}

TEST_F(InterfaceTest, EachRequestGetsAFreshUidThatATechnicalReversalRepeats)
{
    terminal.sale(100);
    terminal.refund("R", 100);
    terminal.techReversal(terminal.lastOperationUid());

    ASSERT_EQ(rest.sent.size(), 3u);
    EXPECT_NE(rest.sent[0].uid(), rest.sent[1].uid());
    EXPECT_EQ(rest.sent[2].operation(), "techreversal");
    EXPECT_EQ(rest.sent[2].uid(), rest.sent[1].uid());
    EXPECT_EQ(terminal.lastOperationUid(), rest.sent[1].uid());
}

TEST_F(InterfaceTest, TechnicalReversalBeforeAnyRequestGetsAFreshUid)
{
    ASSERT_TRUE(terminal.lastOperationUid().isEmpty());

    terminal.techReversal(terminal.lastOperationUid());

    ASSERT_EQ(rest.sent.size(), 1u);
    EXPECT_TRUE(isUid(rest.sent[0].uid()));
    EXPECT_EQ(terminal.lastOperationUid(), rest.sent[0].uid());
}

TEST_F(InterfaceTest, ReturnsTheExchangeTheClientReports)
{
    rest.answers = {refused("Нет денег")};

    const http::Response response = terminal.sale(100);

    EXPECT_EQ(response.errorCode, 0);
    EXPECT_EQ(response.body, refused("Нет денег").body);
    EXPECT_EQ(terminal.sale(100).errorCode, brokenExchange().errorCode);
}

TEST(InterfaceUrlTest, BaseKeepsOnlySchemeHostAndPort)
{
    FakeRestClient rest;
    Mocked<RestClient> mocked(rest);
    const struct {
        const char* base;
        const char* transaction;
        const char* listener;
    } cases[] = {
        {"http://127.0.0.1:10500", "http://127.0.0.1:10500/api/1/ecr/transaction", "http://127.0.0.1:12500/api/1/ecr/transaction"},
        {"http://10.1.2.3:8080/old/path?x=1#top", "http://10.1.2.3:8080/api/1/ecr/transaction", "http://10.1.2.3:12500/api/1/ecr/transaction"},
        {"https://terminal.local/", "https://terminal.local/api/1/ecr/transaction", "https://terminal.local:12500/api/1/ecr/transaction"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base);
        kiv::Interface terminal;
        terminal.setUrl(QUrl(QString::fromLatin1(c.base)));
        terminal.setBlPort(12500);
        terminal.test();
        terminal.cancelOperation();
        ASSERT_EQ(rest.sent.size(), 2u);
        EXPECT_EQ(rest.sent[0].url.toString(), c.transaction);
        EXPECT_EQ(rest.sent[1].url.toString(), c.listener);
        rest.sent.clear();
    }
}

} // namespace
