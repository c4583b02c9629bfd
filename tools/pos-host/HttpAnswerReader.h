#pragma once

#include <QByteArray>
#include <QList>

// Reads one HTTP/1.1 answer as its bytes arrive: the body is delimited by
// Content-Length, by chunked transfer coding, or else by the end of the connection.
class HttpAnswerReader {
public:
    enum class State { Incomplete, Complete, Malformed };

    State feed(const QByteArray& bytes);
    // The peer closed the connection; Incomplete means the answer was cut off.
    State finish();

    const QByteArray& body() const { return content; }

private:
    enum class Framing { Length, Chunked, UntilClose };

    State readHead();
    State readHeaderFields(const QList<QByteArray>& lines, int statusCode);
    State readBody();
    State readChunks();

    QByteArray buffer;
    bool headRead = false;
    Framing framing = Framing::UntilClose;
    qint64 length = 0;
    QByteArray content;
    State state = State::Incomplete;
};
