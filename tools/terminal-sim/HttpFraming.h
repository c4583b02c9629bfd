#pragma once

// The HTTP/1.1 the terminal reads from the point-of-sale side and writes back:
// one request with a Content-Length body per connection.

#include "tools/terminal-sim/TerminalWire.h"

#include <cstddef>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

namespace terminal_sim {

struct HttpRequest {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

// A request the terminal cannot serve; what() says why.
class HttpError : public std::runtime_error {
public:
    HttpError(int status, const std::string& why) : std::runtime_error(why), _status(status) {}
    int status() const { return _status; }

private:
    int _status;
};

// Gathers one request from bytes cut anywhere.
class HttpRequestReader {
public:
    static constexpr std::size_t maxHeaderBytes = 16 * 1024;
    static constexpr std::size_t maxBodyBytes = 64 * 1024;

    // The request once its body is complete; HttpError as soon as the bytes
    // cannot become one. Bytes after the body are ignored.
    std::optional<HttpRequest> feed(const Bytes& bytes);

private:
    void _readHead(const std::string& head);

    std::string _pending;
    std::optional<HttpRequest> _request; // once the head is read
    std::size_t _contentLength = 0;
};

// A complete response with a JSON body.
Bytes httpResponse(int status, const std::string& jsonBody);

} // namespace terminal_sim
