#include "plugin/Response.h"

#include <QHash>

namespace kiv {

namespace {

const QHash<QString, int> paymentMethodCodes{
    {QStringLiteral("card"), 1},
    {QStringLiteral("qr"), 2},
    {QStringLiteral("bio"), 3},
};

} // namespace

Response::Response(const http::Response& exchange)
    : http::Response(exchange)
{
    const QJsonValue answer = responseObject().value(QStringLiteral("response"));
    hasAnswer = answer.isObject();
    response = answer.toObject();
}

bool Response::isSuccess() const
{
    const QString code = text(QStringLiteral("responseCode"));
    return code == QLatin1String("0") || code == QLatin1String("00");
}

QString Response::description() const
{
    return text(QStringLiteral("responseDescription"));
}

QStringList Response::receipt() const
{
    const QString key = QStringLiteral("receiptData");
    return response.contains(key) ? QStringList{text(key)} : QStringList{};
}

QString Response::authorizationCode() const
{
    return text(QStringLiteral("authorizationCode"));
}

QString Response::referenceNumber() const
{
    return text(QStringLiteral("referenceNumber"));
}

int Response::paymentMethod() const
{
    return paymentMethodCodes.value(text(QStringLiteral("paymentMethod")), 0);
}

QString Response::text(const QString& key) const
{
    return response.value(key).toString();
}

} // namespace kiv
