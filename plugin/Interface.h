#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <memory>

#include "HttpResponse.h"
#include "RestClient.h"

namespace kiv {

// Client of the terminal's transaction interface: one JSON request per
// operation, posted through the service's cashier port.
class Interface {
public:
    Interface();
    virtual ~Interface() = default;

    // The transaction path replaces the base's path, query and fragment.
    void setUrl(const QUrl& base);
    void setTimeout(int seconds);
    void setCurrency(const QString& currencyCode);
    void setReceiptFormat(const QString& format);
    void setReceiptWidth(int width);
    // The cancel request goes to the service's local tunnel listener: the
    // current url with this port.
    void setBlPort(int port);

    // A new random uid: 36 lower-case characters, no braces.
    virtual QString makeUid() const;
    // uid of the last request sent, failed or not; empty before the first.
    QString lastOperationUid() const { return lastUid; }

    http::Response sale(qint64 amount);
    http::Response refund(const QString& referenceNumber, qint64 amount);
    http::Response customerReversal(const QString& referenceNumber, qint64 amount);
    // Carries the given uid, or a fresh one when it is empty.
    http::Response techReversal(const QString& uid);
    http::Response closeBatch();
    http::Response test();
    http::Response saleCashback(qint64 amount, qint64 cashAmount);
    http::Response printCopy(const QString& referenceNumber);
    http::Response printReport(const QString& reportType);
    http::Response creditVoucher(qint64 amount);
    http::Response balance();
    http::Response sbpSale(qint64 amount);
    http::Response sbpSaleStatus(qint64 amount, const QString& qrcId);
    http::Response sbpRefund(qint64 amount, const QString& referenceNumber, const QString& qrcId);
    http::Response sbpRefundStatus(qint64 amount, const QString& referenceNumber, const QString& qrcId);
    // Sent to the listener port, bare: no uid, receipt settings or
    // "Connection" header, and lastOperationUid stays as it was.
    http::Response cancelOperation();

private:
    QJsonObject moneyOperation(const QString& name, qint64 amount) const;
    http::Response sendRequest(QJsonObject& operation, const QString& uid);
    http::Response sendRequest(const QUrl& target, const QJsonObject& operation, QHash<QString, QString>& headers);

    std::shared_ptr<RestClient> restClient;
    QUrl url;
    QString currency;
    QString receiptFormat;
    QString receiptWidthText;
    QString lastUid;
    QUrl blUrl;
};

} // namespace kiv
