#include "HttpAnswerReader.h"

namespace {

const QByteArray lineEnd = "\r\n";
const QByteArray headEnd = "\r\n\r\n";
// Terminal answers are a few kilobytes; a peer sending more is broken.
constexpr qint64 maxAnswerSize = 16 * 1024 * 1024;

} // namespace

HttpAnswerReader::State HttpAnswerReader::feed(const QByteArray& bytes)
{
    if (state != State::Incomplete)
        return state;
    buffer.append(bytes);
    if (buffer.size() + content.size() > maxAnswerSize)
        state = State::Malformed;
    else
        state = headRead ? readBody() : readHead();
    return state;
}

HttpAnswerReader::State HttpAnswerReader::finish()
{
    if (state == State::Incomplete && headRead && framing == Framing::UntilClose) {
        content = buffer;
        state = State::Complete;
    }
    return state;
}

HttpAnswerReader::State HttpAnswerReader::readHead()
{
    // Interim answers (100 Continue and the like) come before the real one.
    for (;;) {
        const qsizetype end = buffer.indexOf(headEnd);
        if (end < 0)
            return State::Incomplete;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        buffer.remove(0, end + headEnd.size());
        const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
        bool statusOk = false;
        const int statusCode = statusLine.size() >= 2 ? statusLine[1].toInt(&statusOk) : 0;
        if (!statusLine.first().startsWith("HTTP/1.") || !statusOk || statusCode < 100 || statusCode > 999)
            return State::Malformed;
        if (statusCode >= 200)
            return readHeaderFields(lines, statusCode);
    }
}

HttpAnswerReader::State HttpAnswerReader::readHeaderFields(const QList<QByteArray>& lines, int statusCode)
{
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            return State::Malformed;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        if (name == "transfer-encoding" && value.toLower().endsWith("chunked")) {
            framing = Framing::Chunked;
        } else if (name == "content-length" && framing != Framing::Chunked) {
            bool lengthOk = false;
            length = value.toLongLong(&lengthOk);
            if (!lengthOk || length < 0 || length > maxAnswerSize)
                return State::Malformed;
            framing = Framing::Length;
        }
    }
    if (statusCode == 204 || statusCode == 304) {
        framing = Framing::Length;
        length = 0;
    }
    headRead = true;
    return readBody();
}

HttpAnswerReader::State HttpAnswerReader::readBody()
{
    switch (framing) {
    case Framing::Length:
        if (buffer.size() < length)
            return State::Incomplete;
        content = buffer.left(length);
        return State::Complete;
    case Framing::Chunked:
        return readChunks();
    case Framing::UntilClose:
        return State::Incomplete;
    }
    return State::Malformed;
}

HttpAnswerReader::State HttpAnswerReader::readChunks()
{
    for (;;) {
        const qsizetype sizeEnd = buffer.indexOf(lineEnd);
        if (sizeEnd < 0)
            return State::Incomplete;
        bool sizeOk = false;
        const qint64 size = buffer.left(sizeEnd).split(';').first().trimmed().toLongLong(&sizeOk, 16);
        if (!sizeOk || size < 0)
            return State::Malformed;
        // Trailer fields after the last chunk carry nothing this client needs.
        if (size == 0)
            return State::Complete;
        const qsizetype dataStart = sizeEnd + lineEnd.size();
        if (buffer.size() - dataStart - lineEnd.size() < size)
            return State::Incomplete;
        if (buffer.mid(dataStart + size, lineEnd.size()) != lineEnd)
            return State::Malformed;
        content.append(buffer.mid(dataStart, size));
        buffer.remove(0, dataStart + size + lineEnd.size());
    }
}
