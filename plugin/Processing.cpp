#include "plugin/Processing.h"

#include <QUrl>

#include "Config.h"
#include "Dialog.h"
#include "log4qt/logmanager.h"
#include "plugin/HostObject.h"

namespace kiv {

namespace {

const QString settingsFile = QStringLiteral("/morvel/cash/paysystems/kiv/kiv.ini");
const QString settingsGroup = QStringLiteral("processing");

Config& hostConfig()
{
    if (!Singleton<Config>::instance)
        Singleton<Config>::instance = new Config;
    return *Singleton<Config>::instance;
}

} // namespace

Processing::Processing()
    : interface(std::make_shared<Interface>())
{
    // Registers the plug-in's logger with the host's log set-up; nothing is written to it.
    Log4Qt::LogManager::logger(QStringLiteral("kivprocessing"), QString());

    paymentTypes << PaymentProcessingRequest::Sale << PaymentProcessingRequest::Refund
                 << PaymentProcessingRequest::CreditVoucher;
    cancelTypes << PaymentProcessingRequest::Sale;
    setOption(EPaymentProcessingOption::CashAdvance, true);
    setOption(processing::Interrupt, true);
    setOption(processing::Reports, true);
}

void Processing::init(const PaymentProcessingContext&)
{
    Config& config = hostConfig();
    config.load(settingsFile, settingsGroup);

    const auto text = [&](const char* key, const char* defaultValue) {
        return config.getString(QLatin1String(key), QLatin1String(defaultValue));
    };
    const auto number = [&](const char* key, int defaultValue) { return config.getInt(QLatin1String(key), defaultValue); };

    interface->setUrl(QUrl(text("processing.Kiv:url", "http://127.0.0.1:10500"), QUrl::TolerantMode));
    interface->setTimeout(number("processing.Kiv:timeout", 120));
    interface->setCurrency(text("processing.Kiv:currency", "643"));
    interface->setReceiptFormat(text("processing.Kiv:receiptFormat", "utf8"));
    interface->setReceiptWidth(number("processing.Kiv:receiptWidth", 32));
    // After the url: the listener's address is the url with another port.
    interface->setBlPort(number("processing.Kiv:blPort", 12500));
}

PaymentProcessingAnswer Processing::payment(const PaymentProcessingRequest& request)
{
    switch (request.type) {
    case PaymentProcessingRequest::Sale:
        return answer(interface->sale(request.amount), true, Filled::All);
    case PaymentProcessingRequest::CreditVoucher:
        return answer(interface->creditVoucher(request.amount), true, Filled::All);
    case PaymentProcessingRequest::Refund:
        return answer(interface->refund(request.referenceNumber, request.amount), true, Filled::All);
    default: {
        PaymentProcessingAnswer unsupported;
        unsupported.error = 1;
        return unsupported;
    }
    }
}

PaymentProcessingAnswer Processing::paymentWithCashAdvance(const PaymentProcessingRequest& request)
{
    return answer(interface->saleCashback(request.amount, request.cashAdvanceAmount), true, Filled::All);
}

PaymentProcessingAnswer Processing::cancel(const PaymentProcessingRequest& request)
{
    return answer(interface->customerReversal(request.referenceNumber, request.amount), true, Filled::ReceiptAndCodes);
}

PaymentProcessingAnswer Processing::printReport()
{
    return answer(interface->printReport(QStringLiteral("audit")), false, Filled::Receipt);
}

PaymentProcessingAnswer Processing::printShortReport()
{
    return answer(interface->printReport(QStringLiteral("summary")), false, Filled::Receipt);
}

PaymentProcessingAnswer Processing::checkTotals(int)
{
    return answer(interface->closeBatch(), true, Filled::Receipt);
}

PaymentProcessingAnswer Processing::testConnection()
{
    return answer(interface->test(), false, Filled::Nothing);
}

bool Processing::interruptPayment()
{
    return !processError(Response(interface->cancelOperation()), false);
}

Processing::Outcome Processing::reverseLastOperation() const
{
    const Response response(interface->techReversal(interface->lastOperationUid()));
    if (response.errorCode == 0 && response.isSuccess())
        return std::nullopt;

    const QString description = response.description();
    const QString reason = !response.isSuccess() && !description.isEmpty()
        ? description.toLower()
        : QStringLiteral("нет связи с терминалом");
    return tr::Tr(tr::undefined, QStringLiteral("Невозможно отменить операцию: %1")).arg(reason);
}

PaymentProcessingAnswer Processing::answer(const http::Response& exchange, bool reverse, Filled filled) const
{
    const Response response(exchange);
    PaymentProcessingAnswer result;
    if (const Outcome error = processError(response, reverse)) {
        result.error = 1;
        result.message = *error;
        return result;
    }

    if (filled >= Filled::Receipt)
        result.receiptTexts = response.receipt();
    if (filled >= Filled::ReceiptAndCodes) {
        result.authorizationCode = response.authorizationCode();
        result.referenceNumber = response.referenceNumber();
    }
    if (filled >= Filled::All)
        result.paymentMethod = response.paymentMethod();
    return result;
}

Processing::Outcome Processing::processError(const Response& response, bool reverse) const
{
    // A body without the terminal's answer leaves the outcome unknown, the
    // same as a broken exchange: the money operation may have gone through.
    if (response.errorCode <= 0 && response.hasTerminalAnswer()) {
        if (response.isSuccess())
            return std::nullopt;
        return tr::Tr(tr::undefined, response.description());
    }

    QString suffix;
    while (reverse) {
        const Outcome reversalError = reverseLastOperation();
        if (!reversalError) {
            suffix = QStringLiteral(". Выполнена техническая отмена");
            break;
        }
        if (!operatorWantsRetry(*reversalError))
            break;
    }
    return tr::Tr(tr::undefined, QStringLiteral("Не удалось выполнить операцию") + suffix);
}

bool Processing::operatorWantsRetry(const tr::Tr& reversalError) const
{
    const tr::Tr question = tr::Tr(QStringLiteral("paymentRetryDialogMessage"), QStringLiteral("%1\nПовторить?"))
                                .arg(reversalError);
    // "ОК" in Cyrillic capitals.
    const tr::Tr retry(QStringLiteral("dialogChoiceOk"), QStringLiteral(u"\u041E\u041A"));
    const tr::Tr giveUp(QStringLiteral("dialogChoiceCancel"), QStringLiteral("Отмена"));
    return makeHostObject<Dialog>()->askChoice(question, 0, retry, giveUp, 0);
}

} // namespace kiv
