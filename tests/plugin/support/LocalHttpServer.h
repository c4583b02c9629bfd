#pragma once

#include <QByteArray>
#include <QHash>
#include <QTcpServer>
#include <QUrl>

#include <vector>

// HTTP server on 127.0.0.1 with an ephemeral port. It lives on the test's
// thread and is served by whatever event loop runs there, such as the one
// RestClient runs while it waits.
class LocalHttpServer {
public:
    enum class Behaviour { Answer, CloseWithoutAnswer, NeverAnswer };

    struct Request {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    LocalHttpServer();

    QUrl url() const;
    quint16 port() const { return server.serverPort(); }

    void answerWith(int status, const QByteArray& body);
    void setBehaviour(Behaviour newBehaviour) { behaviour = newBehaviour; }
    const std::vector<Request>& requests() const { return received; }

private:
    void serve(QTcpSocket* socket);
    void respond(QTcpSocket* socket);

    QTcpServer server;
    Behaviour behaviour = Behaviour::Answer;
    int status = 200;
    QByteArray answerBody;
    std::vector<Request> received;
};
