#include "RestClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutexLocker>
#include <QNetworkProxy>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>
#include <QtDebug>

#include <limits>

#include "HttpAnswerReader.h"

template <>
RestClient* MockFactory<RestClient>::mocked = nullptr;

namespace {

constexpr int maxTimeoutSeconds = std::numeric_limits<int>::max() / 1000;

QByteArray requestBytes(const QUrl& url, const QByteArray& body, const QHash<QString, QString>& headers)
{
    const QByteArray target = url.path(QUrl::FullyEncoded).isEmpty()
        ? QByteArray("/")
        : url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    QByteArray request = "POST " + target + " HTTP/1.1\r\n"
        + "Host: " + url.authority(QUrl::RemoveUserInfo | QUrl::FullyEncoded).toUtf8() + "\r\n";
    // Sorted, so that the same call always puts the same bytes on the wire.
    QStringList names = headers.keys();
    names.sort(Qt::CaseInsensitive);
    for (const QString& name : names) {
        if (name.compare(QLatin1String("Host"), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String("Content-Length"), Qt::CaseInsensitive) == 0)
            continue;
        request += name.toUtf8() + ": " + headers.value(name).toUtf8() + "\r\n";
    }
    request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    return request;
}

int errorCodeOf(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return http::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError:
        return http::HostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return http::TimedOut;
    default:
        return http::NetworkError;
    }
}

http::Response exchange(const QUrl& url, const QByteArray& request, int timeoutSeconds)
{
    http::Response response;
    response.errorCode = -1; // still running
    QEventLoop loop;
    HttpAnswerReader reader;
    QTcpSocket socket;
    // The peer is a local service; no proxy may get in between.
    socket.setProxy(QNetworkProxy::NoProxy);

    const auto end = [&](int errorCode) {
        if (response.errorCode >= 0)
            return;
        response.errorCode = errorCode;
        loop.quit();
    };
    const auto read = [&] {
        switch (reader.feed(socket.readAll())) {
        case HttpAnswerReader::State::Complete:
            end(http::NoError);
            break;
        case HttpAnswerReader::State::Malformed:
            end(http::MalformedAnswer);
            break;
        case HttpAnswerReader::State::Incomplete:
            break;
        }
    };
    const auto closedByPeer = [&] {
        read();
        end(reader.finish() == HttpAnswerReader::State::Complete ? http::NoError : http::ConnectionClosed);
    };

    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] { socket.write(request); });
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, read);
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, closedByPeer);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            closedByPeer();
        else
            end(errorCodeOf(error));
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { end(http::TimedOut); });

    deadline.start(timeoutSeconds * 1000);
    socket.connectToHost(url.host(), quint16(url.port(80)));
    if (response.errorCode < 0)
        loop.exec();
    // The exchange is over: aborting must not run the handlers again.
    QObject::disconnect(&socket, nullptr, &loop, nullptr);
    socket.abort();

    if (response.errorCode == http::NoError)
        response.body = reader.body();
    return response;
}

} // namespace

void RestClient::setTimeout(int seconds)
{
    if (seconds < 1 || seconds > maxTimeoutSeconds) {
        qWarning().noquote()
            << QStringLiteral("RestClient: time-out of %1 s refused, keeping %2 s").arg(seconds).arg(timeoutSeconds);
        return;
    }
    timeoutSeconds = seconds;
}

bool RestClient::sendJson(const QUrl& url, const QJsonDocument& document, const QHash<QString, QString>& headers)
{
    http::Response response;
    if (url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
        qWarning().noquote() << "RestClient: cannot send to" << url.toString()
                             << "- only http URLs with a host are served";
        response.errorCode = http::UnsupportedUrl;
    } else if (!QCoreApplication::instance()) {
        qWarning("RestClient: no QCoreApplication, nothing sent");
        response.errorCode = http::NetworkError;
    } else {
        response = exchange(url, requestBytes(url, document.toJson(QJsonDocument::Compact), headers), timeoutSeconds);
    }

    QMutexLocker lock(&responseMutex);
    last = response;
    return last.errorCode == http::NoError;
}

http::Response RestClient::lastResponse() const
{
    QMutexLocker lock(&responseMutex);
    return last;
}
