#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HttpAnswerReader.h"

namespace {

using State = HttpAnswerReader::State;

struct Outcome {
    State state;
    std::string body;
};

// Feeds the answer in pieces of `piece` bytes; closes the connection afterwards when asked.
Outcome read(const QByteArray& answer, int piece, bool close)
{
    HttpAnswerReader reader;
    State state = State::Incomplete;
    for (qsizetype at = 0; at < answer.size() && state == State::Incomplete; at += piece)
        state = reader.feed(answer.mid(at, piece));
    if (close)
        state = reader.finish();
    return {state, reader.body().toStdString()};
}

TEST(HttpAnswerReaderTest, FindsTheEndOfTheAnswer)
{
    const struct {
        const char* name;
        QByteArray answer;
        bool close;
        State state;
        std::string body;
    } cases[] = {
        {"content length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", false, State::Complete, "hello"},
        {"content length, more to come", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello", false, State::Incomplete, ""},
        {"cut off", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello", true, State::Incomplete, ""},
        {"error status is an answer too", "HTTP/1.1 500 Oops\r\ncontent-length: 2\r\n\r\n{}", false, State::Complete, "{}"},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=y\r\nhel\r\n2\r\nlo\r\n0\r\n\r\n", false,
            State::Complete, "hello"},
        {"chunked wins over length", "HTTP/1.1 200 OK\r\nContent-Length: 99\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nhi\r\n0\r\n\r\n",
            false, State::Complete, "hi"},
        {"until close", "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n{\"a\":1}", true, State::Complete, "{\"a\":1}"},
        {"until close, still open", "HTTP/1.0 200 OK\r\n\r\n{\"a\":1}", false, State::Incomplete, ""},
        {"interim answer first", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false,
            State::Complete, "ok"},
        {"no content", "HTTP/1.1 204 No Content\r\n\r\n", false, State::Complete, ""},
        {"closed before the head ends", "HTTP/1.1 200 OK\r\nContent-Le", true, State::Incomplete, ""},
        {"not HTTP", "SSH-2.0-server\r\n\r\n", false, State::Malformed, ""},
        {"bad status", "HTTP/1.1 2x0 OK\r\n\r\n", false, State::Malformed, ""},
        {"bad length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, State::Malformed, ""},
        {"huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n", false, State::Malformed, ""},
        {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false, State::Malformed, ""},
        {"huge chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\nab", true, State::Incomplete, ""},
        {"chunk without its line end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nhiXX0\r\n\r\n", false,
            State::Malformed, ""},
        {"header line without a name", "HTTP/1.1 200 OK\r\n: x\r\n\r\n", false, State::Malformed, ""},
    };
    for (const auto& c : cases) {
        for (int piece : {1, 7, 4096}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            const Outcome outcome = read(c.answer, piece, c.close);
            EXPECT_EQ(outcome.state, c.state);
            if (c.state == State::Complete) {
                EXPECT_EQ(outcome.body, c.body);
            }
        }
    }
}

TEST(HttpAnswerReaderTest, RefusesAnAnswerBeyondTheSizeLimit)
{
    HttpAnswerReader reader;
    ASSERT_EQ(reader.feed("HTTP/1.0 200 OK\r\n\r\n"), State::Incomplete);
    const QByteArray megabyte(1024 * 1024, 'x');
    State state = State::Incomplete;
    for (int i = 0; i < 20 && state == State::Incomplete; ++i)
        state = reader.feed(megabyte);
    EXPECT_EQ(state, State::Malformed);
}

} // namespace
