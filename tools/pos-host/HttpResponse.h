#pragma once

#include <QByteArray>
#include <QJsonObject>

namespace http {

// Why an exchange brought no answer.
enum ErrorCode {
    NoError = 0,
    ConnectionRefused = 1,
    ConnectionClosed = 2, // closed before the answer was complete
    HostNotFound = 3,
    TimedOut = 4,
    MalformedAnswer = 5,
    UnsupportedUrl = 6,
    NetworkError = 99,
};

// Outcome of one HTTP exchange.
struct Response {
    // 0 when an HTTP answer arrived (whatever its status), positive when the
    // connection, the time-out or the transfer failed.
    int errorCode = NoError;
    QByteArray body;

    // The body as a JSON object; empty when it is not one.
    QJsonObject responseObject() const;
};

} // namespace http
