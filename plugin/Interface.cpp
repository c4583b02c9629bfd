#include "plugin/Interface.h"

#include <QJsonDocument>
#include <QUuid>

#include "plugin/HostObject.h"

namespace kiv {

namespace {

QJsonObject operationNamed(const QString& name)
{
    return QJsonObject{{QStringLiteral("operation"), name}};
}

} // namespace

Interface::Interface()
    : restClient(makeHostObject<RestClient>())
{
}

void Interface::setUrl(const QUrl& base)
{
    url = base.resolved(QUrl(QStringLiteral("/api/1/ecr/transaction")));
}

void Interface::setTimeout(int seconds)
{
    restClient->setTimeout(seconds);
}

void Interface::setCurrency(const QString& currencyCode)
{
    currency = currencyCode;
}

void Interface::setReceiptFormat(const QString& format)
{
    receiptFormat = format;
}

void Interface::setReceiptWidth(int width)
{
    receiptWidthText = QString::number(width);
}

void Interface::setBlPort(int port)
{
    blUrl = url;
    blUrl.setPort(port);
}

QString Interface::makeUid() const
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

http::Response Interface::sale(qint64 amount)
{
    QJsonObject operation = moneyOperation(QStringLiteral("sale"), amount);
    return sendRequest(operation, QString());
}

http::Response Interface::refund(const QString& referenceNumber, qint64 amount)
{
    QJsonObject operation = moneyOperation(QStringLiteral("refund"), amount);
    operation.insert(QStringLiteral("referenceNumber"), referenceNumber);
    return sendRequest(operation, QString());
}

http::Response Interface::customerReversal(const QString& referenceNumber, qint64 amount)
{
    QJsonObject operation = moneyOperation(QStringLiteral("customerreversal"), amount);
    operation.insert(QStringLiteral("referenceNumber"), referenceNumber);
    return sendRequest(operation, QString());
}

http::Response Interface::techReversal(const QString& uid)
{
    QJsonObject operation = operationNamed(QStringLiteral("techreversal"));
    return sendRequest(operation, uid);
}

http::Response Interface::closeBatch()
{
    QJsonObject operation = operationNamed(QStringLiteral("closebatch"));
    return sendRequest(operation, QString());
}

http::Response Interface::test()
{
    QJsonObject operation = operationNamed(QStringLiteral("test"));
    return sendRequest(operation, QString());
}

http::Response Interface::saleCashback(qint64 amount, qint64 cashAmount)
{
    QJsonObject operation = moneyOperation(QStringLiteral("sale_cashback"), amount);
    // The terminal expects the key spelled this way.
    operation.insert(QStringLiteral("cashabackAmount"), QString::number(cashAmount));
    return sendRequest(operation, QString());
}

http::Response Interface::printCopy(const QString& referenceNumber)
{
    QJsonObject operation = operationNamed(QStringLiteral("print"));
    operation.insert(QStringLiteral("referenceNumber"), referenceNumber);
    return sendRequest(operation, QString());
}

http::Response Interface::printReport(const QString& reportType)
{
    QJsonObject operation = operationNamed(QStringLiteral("print"));
    operation.insert(QStringLiteral("reportType"), reportType);
    return sendRequest(operation, QString());
}

http::Response Interface::creditVoucher(qint64 amount)
{
    // The terminal expects a Cyrillic first letter (U+0441) in this name.
    QJsonObject operation = moneyOperation(QStringLiteral(u"\u0441reditvoucher"), amount);
    return sendRequest(operation, QString());
}

http::Response Interface::balance()
{
    QJsonObject operation = operationNamed(QStringLiteral("balance"));
    return sendRequest(operation, QString());
}

http::Response Interface::sbpSale(qint64 amount)
{
    QJsonObject operation = moneyOperation(QStringLiteral("sbpsale"), amount);
    return sendRequest(operation, QString());
}

http::Response Interface::sbpSaleStatus(qint64 amount, const QString& qrcId)
{
    QJsonObject operation = moneyOperation(QStringLiteral("sbpsalestatus"), amount);
    operation.insert(QStringLiteral("qrcId"), qrcId);
    return sendRequest(operation, QString());
}

http::Response Interface::sbpRefund(qint64 amount, const QString& referenceNumber, const QString& qrcId)
{
    QJsonObject operation = moneyOperation(QStringLiteral("sbprefund"), amount);
    operation.insert(QStringLiteral("referenceNumber"), referenceNumber);
    operation.insert(QStringLiteral("qrcId"), qrcId);
    return sendRequest(operation, QString());
}

http::Response Interface::sbpRefundStatus(qint64 amount, const QString& referenceNumber, const QString& qrcId)
{
    QJsonObject operation = moneyOperation(QStringLiteral("sbprefundstatus"), amount);
    operation.insert(QStringLiteral("referenceNumber"), referenceNumber);
    operation.insert(QStringLiteral("qrcId"), qrcId);
    return sendRequest(operation, QString());
}

http::Response Interface::cancelOperation()
{
    QHash<QString, QString> headers;
    return sendRequest(blUrl, operationNamed(QStringLiteral("canceloperation")), headers);
}

QJsonObject Interface::moneyOperation(const QString& name, qint64 amount) const
{
    QJsonObject operation = operationNamed(name);
    operation.insert(QStringLiteral("currency"), currency);
    operation.insert(QStringLiteral("amount"), QString::number(amount));
    return operation;
}

http::Response Interface::sendRequest(QJsonObject& operation, const QString& uid)
{
    const QString requestUid = uid.isEmpty() ? makeUid() : uid;
    operation.insert(QStringLiteral("uid"), requestUid);
    operation.insert(QStringLiteral("receiptFormat"), receiptFormat);
    operation.insert(QStringLiteral("receiptWidth"), receiptWidthText);
    // Set before sending, so that a reversal can name a request whose exchange broke.
    lastUid = requestUid;
    QHash<QString, QString> headers{{QStringLiteral("Connection"), QStringLiteral("close")}};
    return sendRequest(url, operation, headers);
}

http::Response Interface::sendRequest(const QUrl& target, const QJsonObject& operation, QHash<QString, QString>& headers)
{
    headers.insert(QStringLiteral("Content-Type"), QStringLiteral("application/json"));
    const QJsonDocument document(QJsonObject{{QStringLiteral("request"), operation}});
    restClient->sendJson(target, document, headers);
    return restClient->lastResponse();
}

} // namespace kiv
