#include "tools/terminal-sim/HttpFraming.h"

#include <algorithm>
#include <cctype>

namespace terminal_sim {

namespace {

const std::string endOfHead = "\r\n\r\n";

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::size_t contentLength(const std::string& text)
{
    const auto digit = [](unsigned char c) { return std::isdigit(c) != 0; };
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), digit))
        throw HttpError(400, "bad Content-Length \"" + text + "\"");
    const std::size_t length = std::stoul(text);
    if (length > HttpRequestReader::maxBodyBytes)
        throw HttpError(413, "body of " + text + " bytes is too large");
    return length;
}

const char* reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    default: return "Error";
    }
}

} // namespace

std::optional<HttpRequest> HttpRequestReader::feed(const Bytes& bytes)
{
    _pending.append(bytes.begin(), bytes.end());
    if (!_request) {
        const std::size_t end = _pending.find(endOfHead);
        if (end == std::string::npos) {
            if (_pending.size() > maxHeaderBytes)
                throw HttpError(431, "no end of the headers within " + std::to_string(maxHeaderBytes) + " bytes");
            return std::nullopt;
        }
        _readHead(_pending.substr(0, end));
        _pending.erase(0, end + endOfHead.size());
    }
    if (_pending.size() < _contentLength)
        return std::nullopt;
    _request->body = _pending.substr(0, _contentLength);
    return _request;
}

void HttpRequestReader::_readHead(const std::string& head)
{
    HttpRequest request;
    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const std::size_t firstSpace = requestLine.find(' ');
    const std::size_t secondSpace =
        firstSpace == std::string::npos ? firstSpace : requestLine.find(' ', firstSpace + 1);
    const std::string version = secondSpace == std::string::npos ? std::string() : requestLine.substr(secondSpace + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        throw HttpError(400, "bad request line \"" + requestLine + "\"");
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);

    while (lineEnd != std::string::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            throw HttpError(400, "bad header line \"" + line + "\"");
        const std::string name = lowerCase(line.substr(0, colon));
        if (request.headers.count(name) != 0)
            throw HttpError(400, "header " + name + " given twice");
        request.headers[name] = trimmed(line.substr(colon + 1));
    }

    if (request.headers.count("transfer-encoding") != 0)
        throw HttpError(501, "Transfer-Encoding is not supported; send a Content-Length");
    const auto length = request.headers.find("content-length");
    if (length == request.headers.end())
        throw HttpError(411, "no Content-Length");
    _contentLength = contentLength(length->second);
    _request = std::move(request);
}

Bytes httpResponse(int status, const std::string& jsonBody)
{
    const std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) +
                             "\r\n"
                             "Content-Type: application/json\r\n"
                             "Content-Length: " +
                             std::to_string(jsonBody.size()) +
                             "\r\n"
                             "Connection: close\r\n"
                             "\r\n";
    Bytes bytes(head.begin(), head.end());
    bytes.insert(bytes.end(), jsonBody.begin(), jsonBody.end());
    return bytes;
}

} // namespace terminal_sim
