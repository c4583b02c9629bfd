#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "HttpResponse.h"

namespace kiv {

// The terminal's answer to one request: the exchange's outcome as the host
// reported it, plus the "response" object of the body.
class Response : public http::Response {
public:
    explicit Response(const http::Response& exchange);

    // The body carried a "response" object, i.e. it is the terminal's answer.
    bool hasTerminalAnswer() const { return hasAnswer; }
    bool isSuccess() const;
    QString description() const;
    // One text when the answer carries "receiptData", none otherwise.
    QStringList receipt() const;
    QString authorizationCode() const;
    QString referenceNumber() const;
    // 1 card, 2 qr, 3 bio, 0 anything else.
    int paymentMethod() const;

private:
    QString text(const QString& key) const;

    QJsonObject response;
    bool hasAnswer;
};

} // namespace kiv
