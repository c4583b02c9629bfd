#pragma once

#include <QHash>
#include <QJsonDocument>
#include <QMutex>
#include <QString>
#include <QUrl>

#include "HttpResponse.h"
#include "MockFactory.h"

// Blocking JSON-over-HTTP/1.1 client. Each exchange uses a new connection and
// sends the request exactly once: a payment must never be repeated behind the
// caller's back. Needs a QCoreApplication; runs a local event loop while the
// exchange lasts, so the caller's thread keeps serving its events.
class RestClient {
public:
    virtual ~RestClient() = default;

    // Limit for a whole exchange, in seconds. Values outside 1 to 2147483
    // are refused and the previous limit stays.
    virtual void setTimeout(int seconds);
    // POSTs the compact document with the given headers (plus Host and
    // Content-Length) to a "http" url and returns once the exchange has
    // ended; true when an HTTP answer arrived.
    virtual bool sendJson(const QUrl& url, const QJsonDocument& document, const QHash<QString, QString>& headers);
    virtual http::Response lastResponse() const;

private:
    int timeoutSeconds = 60;
    mutable QMutex responseMutex;
    http::Response last;
};

template <>
RestClient* MockFactory<RestClient>::mocked;
