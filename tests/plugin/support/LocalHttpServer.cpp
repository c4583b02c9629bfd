#include "tests/plugin/support/LocalHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <memory>
#include <stdexcept>

namespace {

const QByteArray headerEnd = "\r\n\r\n";

// A complete request at the start of `buffer`, if there is one.
bool parseRequest(const QByteArray& buffer, LocalHttpServer::Request& request)
{
    const qsizetype headEnd = buffer.indexOf(headerEnd);
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    // A malformed request line shows up whole as the method, for the test to report.
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    request.method = requestLine.size() == 3 ? requestLine[0] : lines.first();
    request.path = requestLine.size() == 3 ? requestLine[1] : QByteArray();
    request.headers.clear();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    const qsizetype bodyStart = headEnd + headerEnd.size();
    if (buffer.size() < bodyStart + length)
        return false;
    request.body = buffer.mid(bodyStart, length);
    return true;
}

} // namespace

LocalHttpServer::LocalHttpServer()
{
    if (!server.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("cannot listen: " + server.errorString().toStdString());
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
        while (QTcpSocket* socket = server.nextPendingConnection())
            serve(socket);
    });
}

QUrl LocalHttpServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
}

void LocalHttpServer::answerWith(int newStatus, const QByteArray& body)
{
    behaviour = Behaviour::Answer;
    status = newStatus;
    answerBody = body;
}

void LocalHttpServer::serve(QTcpSocket* socket)
{
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
        buffer->append(socket->readAll());
        Request request;
        if (!parseRequest(*buffer, request))
            return;
        buffer->clear();
        received.push_back(request);
        respond(socket);
    });
}

void LocalHttpServer::respond(QTcpSocket* socket)
{
    switch (behaviour) {
    case Behaviour::Answer:
        socket->write(QByteArray("HTTP/1.1 ") + QByteArray::number(status) + " Status\r\n"
            + "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(answerBody.size())
            + "\r\nConnection: close\r\n\r\n" + answerBody);
        socket->disconnectFromHost();
        break;
    case Behaviour::CloseWithoutAnswer:
        socket->abort();
        break;
    case Behaviour::NeverAnswer:
        break;
    }
}
