#include <gtest/gtest.h>

#include <QTemporaryFile>

#include <functional>
#include <memory>

#include "Config.h"
#include "plugin/Processing.h"
#include "tests/plugin/support/AnswerMatching.h"
#include "tests/plugin/support/HostDoubles.h"
#include "tests/plugin/support/QtPrinters.h"

namespace {

const QString failed = QStringLiteral("Не удалось выполнить операцию");
const QString failedButReversed = QStringLiteral("Не удалось выполнить операцию. Выполнена техническая отмена");

PaymentProcessingRequest request(int type, qint64 amount, const QString& referenceNumber = QString(), qint32 cash = 0)
{
    PaymentProcessingRequest r;
    r.type = type;
    r.amount = amount;
    r.referenceNumber = referenceNumber;
    r.cashAdvanceAmount = cash;
    return r;
}

http::Response withBody(const QByteArray& body)
{
    http::Response exchange;
    exchange.body = body;
    return exchange;
}

class ProcessingTest : public ::testing::Test {
protected:
    ProcessingTest()
    {
        Singleton<Config>::instance = &config;
        adapter.init(PaymentProcessingContext());
    }
    ~ProcessingTest() override { Singleton<Config>::instance = nullptr; }

    const std::vector<FakeRestClient::Sent>& sent() const { return rest.sent; }

    Config config;
    FakeRestClient rest;
    Mocked<RestClient> mockedRest{rest};
    ScriptedDialog dialog;
    Mocked<Dialog> mockedDialog{dialog};
    kiv::Processing adapter;
};

TEST_F(ProcessingTest, DeclaresWhatItServes)
{
    for (int type : {1, 2, 3})
        EXPECT_TRUE(adapter.acceptsPaymentType(type)) << type;
    EXPECT_FALSE(adapter.acceptsPaymentType(4));
    EXPECT_TRUE(adapter.acceptsCancelType(1));
    EXPECT_FALSE(adapter.acceptsCancelType(3));
    EXPECT_TRUE(adapter.hasOption(EPaymentProcessingOption::CashAdvance));
    EXPECT_TRUE(adapter.hasOption(processing::Interrupt));
    EXPECT_TRUE(adapter.hasOption(processing::Reports));
}

struct OperationCase {
    const char* name;
    std::function<PaymentProcessingAnswer(kiv::Processing&)> call;
    QJsonObject members; // expected in the request besides uid and receipt settings
    PaymentProcessingAnswer answer;
};

TEST_F(ProcessingTest, EachHostOperationRunsItsTerminalOperationAndFillsItsFields)
{
    const http::Response full = terminalAnswer({{"responseCode", "00"}, {"responseDescription", "Одобрено"},
        {"receiptData", "RECEIPT"}, {"authorizationCode", "AUTH"}, {"referenceNumber", "REF"}, {"paymentMethod", "card"}});
    PaymentProcessingAnswer all;
    all.receiptTexts = QStringList{"RECEIPT"};
    all.authorizationCode = "AUTH";
    all.referenceNumber = "REF";
    all.paymentMethod = 1;
    PaymentProcessingAnswer receiptAndCodes = all;
    receiptAndCodes.paymentMethod = 0;
    PaymentProcessingAnswer receiptOnly;
    receiptOnly.receiptTexts = QStringList{"RECEIPT"};
    const QString creditVoucher = QString::fromUtf8("\xD1\x81reditvoucher");

    const std::vector<OperationCase> cases{
        {"sale", [](kiv::Processing& p) { return p.payment(request(1, 1500)); },
            {{"operation", "sale"}, {"amount", "1500"}, {"currency", "643"}}, all},
        {"credit voucher", [](kiv::Processing& p) { return p.payment(request(2, 1600)); },
            {{"operation", creditVoucher}, {"amount", "1600"}, {"currency", "643"}}, all},
        {"refund", [](kiv::Processing& p) { return p.payment(request(3, 1700, "R3")); },
            {{"operation", "refund"}, {"amount", "1700"}, {"currency", "643"}, {"referenceNumber", "R3"}}, all},
        {"cash advance", [](kiv::Processing& p) { return p.paymentWithCashAdvance(request(1, 5000, "", 1000)); },
            {{"operation", "sale_cashback"}, {"amount", "5000"}, {"currency", "643"}, {"cashabackAmount", "1000"}}, all},
        {"cancel", [](kiv::Processing& p) { return p.cancel(request(1, 1500, "R1")); },
            {{"operation", "customerreversal"}, {"amount", "1500"}, {"currency", "643"}, {"referenceNumber", "R1"}},
            receiptAndCodes},
        {"full report", [](kiv::Processing& p) { return p.printReport(); },
            {{"operation", "print"}, {"reportType", "audit"}}, receiptOnly},
        {"short report", [](kiv::Processing& p) { return p.printShortReport(); },
            {{"operation", "print"}, {"reportType", "summary"}}, receiptOnly},
        {"batch close", [](kiv::Processing& p) { return p.checkTotals(7); }, {{"operation", "closebatch"}}, receiptOnly},
        {"connection test", [](kiv::Processing& p) { return p.testConnection(); }, {{"operation", "test"}},
            PaymentProcessingAnswer()},
    };

    for (const OperationCase& operation : cases) {
        SCOPED_TRACE(operation.name);
        rest.sent.clear();
        rest.answers = {full};

        EXPECT_EQ(operation.call(adapter), operation.answer);

        ASSERT_EQ(sent().size(), 1u);
        QJsonObject expected = operation.members;
        expected.insert("uid", sent()[0].uid());
        expected.insert("receiptFormat", "utf8");
        expected.insert("receiptWidth", "32");
        EXPECT_EQ(sent()[0].request(), expected);
    }
    EXPECT_TRUE(dialog.asked.empty());
}

TEST_F(ProcessingTest, PaymentOfAnUnknownTypeSendsNothing)
{
    PaymentProcessingAnswer unsupported;
    unsupported.error = 1;
    EXPECT_EQ(adapter.payment(request(4, 1500)), unsupported);
    EXPECT_TRUE(sent().empty());
}

TEST_F(ProcessingTest, RefusalShowsTheTerminalsReasonWithoutReversal)
{
    rest.answers = {refused("Недостаточно средств")};

    EXPECT_EQ(adapter.payment(request(1, 1500)), failedAnswer("Недостаточно средств"));
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_TRUE(dialog.asked.empty());
}

TEST_F(ProcessingTest, BrokenPaymentIsReversedByItsUid)
{
    rest.answers = {brokenExchange(), approved()};

    EXPECT_EQ(adapter.payment(request(1, 1500)), failedAnswer(failedButReversed));

    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[1].operation(), "techreversal");
    EXPECT_EQ(sent()[1].uid(), sent()[0].uid());
    EXPECT_TRUE(dialog.asked.empty());
}

TEST_F(ProcessingTest, FailedReversalIsRetriedWhileTheOperatorAsks)
{
    rest.answers = {brokenExchange(), brokenExchange(), brokenExchange()};
    dialog.choices = {true, false};

    EXPECT_EQ(adapter.payment(request(1, 1500)), failedAnswer(failed));

    ASSERT_EQ(sent().size(), 3u);
    EXPECT_EQ(sent()[1].uid(), sent()[0].uid());
    EXPECT_EQ(sent()[2].uid(), sent()[0].uid());
    ASSERT_EQ(dialog.asked.size(), 2u);
    for (const ScriptedDialog::Question& question : dialog.asked) {
        EXPECT_EQ(question.text,
            tr::Tr("paymentRetryDialogMessage", "Невозможно отменить операцию: нет связи с терминалом\nПовторить?"));
        EXPECT_EQ(question.firstChoice, tr::Tr("dialogChoiceOk", QString::fromUtf8("\xD0\x9E\xD0\x9A")));
        EXPECT_EQ(question.secondChoice, tr::Tr("dialogChoiceCancel", "Отмена"));
    }
}

TEST_F(ProcessingTest, RetryDialogNamesWhyTheReversalFailed)
{
    const struct {
        const char* name;
        http::Response reversal;
        QString reason;
    } cases[] = {
        {"no answer", brokenExchange(), "нет связи с терминалом"},
        {"refused in capitals", refused("ОПЕРАЦИЯ НЕ НАЙДЕНА"), "операция не найдена"},
        {"refused without reason", refused(""), "нет связи с терминалом"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialog.asked.clear();
        rest.answers = {brokenExchange(), c.reversal};

        adapter.cancel(request(1, 1500, "R1"));

        ASSERT_EQ(dialog.asked.size(), 1u);
        EXPECT_EQ(dialog.asked[0].text.text(), "Невозможно отменить операцию: " + c.reason + "\nПовторить?");
    }
}

TEST_F(ProcessingTest, BrokenBatchCloseReversesItself)
{
    rest.answers = {brokenExchange(), approved()};

    EXPECT_EQ(adapter.checkTotals(0), failedAnswer(failedButReversed));

    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0].operation(), "closebatch");
    EXPECT_EQ(sent()[1].operation(), "techreversal");
    EXPECT_EQ(sent()[1].uid(), sent()[0].uid());
}

TEST_F(ProcessingTest, BrokenReportOrTestIsNotReversed)
{
    const std::pair<const char*, std::function<PaymentProcessingAnswer(kiv::Processing&)>> cases[] = {
        {"full report", [](kiv::Processing& p) { return p.printReport(); }},
        {"short report", [](kiv::Processing& p) { return p.printShortReport(); }},
        {"connection test", [](kiv::Processing& p) { return p.testConnection(); }},
    };
    for (const auto& [name, call] : cases) {
        SCOPED_TRACE(name);
        rest.sent.clear();

        EXPECT_EQ(call(adapter), failedAnswer(failed));
        EXPECT_EQ(sent().size(), 1u);
    }
    EXPECT_TRUE(dialog.asked.empty());
}

// An HTTP answer that is not the terminal's (a proxy page, a cut-off body)
// leaves the payment's fate unknown: it is handled like a broken exchange.
TEST_F(ProcessingTest, AnswerWithoutTerminalResponseIsReversedLikeABrokenExchange)
{
    rest.answers = {withBody("<html>Bad gateway</html>"), approved()};

    EXPECT_EQ(adapter.payment(request(1, 1500)), failedAnswer(failedButReversed));

    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[1].operation(), "techreversal");
}

TEST_F(ProcessingTest, InterruptSucceedsOnlyOnTheTerminalsApproval)
{
    const struct {
        const char* name;
        http::Response answer;
        bool interrupted;
    } cases[] = {
        {"approved", approved(), true},
        {"refused", refused("Нет операции"), false},
        {"broken", brokenExchange(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rest.sent.clear();
        rest.answers = {c.answer};

        EXPECT_EQ(adapter.interruptPayment(), c.interrupted);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0].operation(), "canceloperation");
    }
    EXPECT_TRUE(dialog.asked.empty());
}

class SettingsTest : public ::testing::Test {
protected:
    ~SettingsTest() override
    {
        delete Singleton<Config>::instance;
        Singleton<Config>::instance = nullptr;
    }

    // Runs a sale and a cancel request through a freshly initialised adapter.
    void saleAndCancel()
    {
        rest.answers = {approved(), approved()};
        kiv::Processing adapter;
        adapter.init(PaymentProcessingContext());
        adapter.payment(request(1, 100));
        adapter.interruptPayment();
        ASSERT_EQ(rest.sent.size(), 2u);
    }

    FakeRestClient rest;
    Mocked<RestClient> mockedRest{rest};
};

TEST_F(SettingsTest, DefaultsWhenTheHostHasNoSettings)
{
    ASSERT_EQ(Singleton<Config>::instance, nullptr);

    saleAndCancel();

    EXPECT_NE(Singleton<Config>::instance, nullptr);
    EXPECT_EQ(rest.timeoutSeconds, 120);
    EXPECT_EQ(rest.sent[0].url, QUrl("http://127.0.0.1:10500/api/1/ecr/transaction"));
    const QJsonObject sale = rest.sent[0].request();
    EXPECT_EQ(sale["currency"].toString(), "643");
    EXPECT_EQ(sale["receiptFormat"].toString(), "utf8");
    EXPECT_EQ(sale["receiptWidth"].toString(), "32");
    EXPECT_EQ(rest.sent[1].url, QUrl("http://127.0.0.1:12500/api/1/ecr/transaction"));
}

TEST_F(SettingsTest, SettingsFromTheHostConfig)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write("[Kiv]\n"
               "url = http://192.168.5.5:20500/ignored?x=1\n"
               "timeout = 45\n"
               "currency = 978\n"
               "receiptFormat = cp866\n"
               "receiptWidth = 40\n"
               "blPort = 22500\n");
    file.close();
    Singleton<Config>::instance = new Config;
    ASSERT_TRUE(Singleton<Config>::instance->load(file.fileName(), "processing"));

    saleAndCancel();

    EXPECT_EQ(rest.timeoutSeconds, 45);
    EXPECT_EQ(rest.sent[0].url, QUrl("http://192.168.5.5:20500/api/1/ecr/transaction"));
    const QJsonObject sale = rest.sent[0].request();
    EXPECT_EQ(sale["currency"].toString(), "978");
    EXPECT_EQ(sale["receiptFormat"].toString(), "cp866");
    EXPECT_EQ(sale["receiptWidth"].toString(), "40");
    EXPECT_EQ(rest.sent[1].url, QUrl("http://192.168.5.5:22500/api/1/ecr/transaction"));
}

} // namespace
