#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTcpServer>

#include "plugin/Interface.h"
#include "plugin/Response.h"
#include "tests/plugin/support/LocalHttpServer.h"
#include "tests/plugin/support/QtPrinters.h"
#include "tests/plugin/support/QtTestApplication.h"

// The terminal client over the host's real RestClient, against HTTP servers
// on loopback standing in for the service's cashier and listener ports.
namespace {

const QByteArray approvedBody = R"({"response":{"responseCode":"00","receiptData":"ЧЕК","authorizationCode":"777"}})";

class HttpExchangeTest : public ::testing::Test {
protected:
    // The servers need the application before they are built.
    static void SetUpTestSuite() { ensureQtApplication(); }

    HttpExchangeTest()
    {
        terminal.setUrl(cashierPort.url());
        terminal.setTimeout(10);
        terminal.setCurrency("643");
        terminal.setReceiptFormat("utf8");
        terminal.setReceiptWidth(32);
        terminal.setBlPort(listenerPort.port());
    }

    LocalHttpServer cashierPort;
    LocalHttpServer listenerPort;
    kiv::Interface terminal;
};

TEST_F(HttpExchangeTest, SalePostsJsonAndReadsTheAnswer)
{
    cashierPort.answerWith(200, approvedBody);

    const kiv::Response response(terminal.sale(1500));

    ASSERT_EQ(cashierPort.requests().size(), 1u);
    const LocalHttpServer::Request& request = cashierPort.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/1/ecr/transaction");
    EXPECT_EQ(request.headers.value("content-type"), "application/json");
    EXPECT_EQ(request.headers.value("connection"), "close");
    const QJsonObject expected{{"request", QJsonObject{{"operation", "sale"}, {"currency", "643"}, {"amount", "1500"},
        {"uid", terminal.lastOperationUid()}, {"receiptFormat", "utf8"}, {"receiptWidth", "32"}}}};
    EXPECT_EQ(QJsonDocument::fromJson(request.body).object(), expected) << request.body.toStdString();

    EXPECT_EQ(response.errorCode, 0);
    EXPECT_TRUE(response.isSuccess());
    EXPECT_EQ(response.receipt(), QStringList{"ЧЕК"});
    EXPECT_EQ(response.authorizationCode(), "777");
}

TEST_F(HttpExchangeTest, CancelGoesToTheListenerPort)
{
    listenerPort.answerWith(200, approvedBody);

    const kiv::Response response(terminal.cancelOperation());

    EXPECT_TRUE(cashierPort.requests().empty());
    ASSERT_EQ(listenerPort.requests().size(), 1u);
    const LocalHttpServer::Request& request = listenerPort.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/1/ecr/transaction");
    EXPECT_EQ(request.headers.value("content-type"), "application/json");
    EXPECT_EQ(QJsonDocument::fromJson(request.body).object(),
        (QJsonObject{{"request", QJsonObject{{"operation", "canceloperation"}}}}));
    EXPECT_TRUE(response.isSuccess());
}

TEST_F(HttpExchangeTest, AnyHttpStatusIsAnAnswer)
{
    cashierPort.answerWith(500, R"({"response":{"responseCode":"99","responseDescription":"Сбой"}})");

    const kiv::Response response(terminal.test());

    EXPECT_EQ(response.errorCode, 0);
    EXPECT_EQ(response.description(), "Сбой");
}

TEST_F(HttpExchangeTest, ConnectionClosedWithoutAnswerIsAFailedExchange)
{
    cashierPort.setBehaviour(LocalHttpServer::Behaviour::CloseWithoutAnswer);

    EXPECT_GT(terminal.test().errorCode, 0);
    EXPECT_EQ(cashierPort.requests().size(), 1u);
}

TEST_F(HttpExchangeTest, RefusedConnectionIsAFailedExchange)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    terminal.setUrl(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)));

    EXPECT_GT(terminal.test().errorCode, 0);
}

TEST_F(HttpExchangeTest, SilentServerFailsTheExchangeAfterTheTimeOut)
{
    cashierPort.setBehaviour(LocalHttpServer::Behaviour::NeverAnswer);
    terminal.setTimeout(1);
    QElapsedTimer clock;
    clock.start();

    const http::Response response = terminal.sale(100);

    EXPECT_GT(response.errorCode, 0);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(cashierPort.requests().size(), 1u);
}

} // namespace
