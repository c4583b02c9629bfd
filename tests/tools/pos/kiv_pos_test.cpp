#include <gtest/gtest.h>

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>

#include "tests/plugin/support/LocalHttpServer.h"
#include "tests/plugin/support/QtTestApplication.h"

// kiv_pos with the built plug-in, against a loopback server standing in for the service.
namespace {

struct PosRun {
    int exitCode;
    QString out;
    QString err;
};

class KivPosTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureQtApplication(); }

    KivPosTest()
    {
        EXPECT_TRUE(settings.open());
        settings.write(QStringLiteral("[Kiv]\nurl=%1\ntimeout=5\n").arg(cashierPort.url().toString()).toUtf8());
        settings.close();
    }

    // Keeps this thread's event loop running, so the server is served while kiv_pos runs.
    PosRun run(const QStringList& arguments)
    {
        QProcess pos;
        QEventLoop loop;
        QObject::connect(&pos, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&pos, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        pos.start(QStringLiteral(KIV_POS_FILE), QStringList{"--config", settings.fileName()} + arguments);
        pos.closeWriteChannel();
        loop.exec();
        EXPECT_EQ(pos.state(), QProcess::NotRunning) << "kiv_pos did not end";
        if (pos.state() != QProcess::NotRunning) {
            pos.kill();
            pos.waitForFinished(5000);
        }
        return {pos.exitCode(), QString::fromUtf8(pos.readAllStandardOutput()), QString::fromUtf8(pos.readAllStandardError())};
    }

    LocalHttpServer cashierPort;
    QTemporaryFile settings;
};

TEST_F(KivPosTest, SalePrintsTheAnswerAndTheReceipt)
{
    cashierPort.answerWith(200, R"({"response":{"responseCode":"00","receiptData":"ОПЛАТА 15.00","authorizationCode":"AC77",)"
                                R"("referenceNumber":"RRN1","paymentMethod":"card"}})");

    const PosRun sale = run({"sale", "1500"});

    EXPECT_EQ(sale.exitCode, 0) << sale.err.toStdString();
    EXPECT_EQ(sale.out.toStdString(),
        "error: 0\nmessage: \nauthorizationCode: AC77\nreferenceNumber: RRN1\npaymentMethod: 1\nreceipt:\nОПЛАТА 15.00\n");
    ASSERT_EQ(cashierPort.requests().size(), 1u);
    const QJsonObject request = QJsonDocument::fromJson(cashierPort.requests()[0].body).object()["request"].toObject();
    EXPECT_EQ(request["operation"].toString(), "sale");
    EXPECT_EQ(request["amount"].toString(), "1500");
}

TEST_F(KivPosTest, RefusalEndsWithStatusOne)
{
    cashierPort.answerWith(200, R"({"response":{"responseCode":"51","responseDescription":"Недостаточно средств"}})");

    const PosRun refund = run({"refund", "700", "RRN1"});

    EXPECT_EQ(refund.exitCode, 1);
    EXPECT_TRUE(refund.out.contains("message: Недостаточно средств\n")) << refund.out.toStdString();
}

TEST_F(KivPosTest, BadCommandLinesAreRefusedBeforeAnythingIsSent)
{
    const QStringList cases[] = {
        {},
        {"sell", "100"},
        {"sale"},
        {"sale", "12.50"},
        {"sale", "0"},
        {"cashadvance", "100", "3000000000"},
        {"--plugin", "/nonexistent/libNothing.so", "test"},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const PosRun bad = run(arguments);
        EXPECT_EQ(bad.exitCode, 2);
        EXPECT_TRUE(bad.err.startsWith("kiv_pos: ")) << bad.err.toStdString();
    }
    EXPECT_TRUE(cashierPort.requests().empty());
}

} // namespace
