#pragma once

// HTTP as the point-of-sale side writes it to the terminal and reads it back.

#include "LibMisc/json.h"

#include <string>

// A POST as the plug-in makes it, with a Content-Length body.
inline std::string post(const std::string& body, const std::string& target = "/api/1/ecr/transaction")
{
    return "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1:10500\r\nContent-Type: application/json\r\n" +
           "Connection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// {"request": {...}} with the given members and the settings every request carries.
inline std::string requestBody(const std::string& members, const std::string& receiptWidth = "32")
{
    return "{\"request\": {" + members + ", \"uid\": \"5b1c0d2e-0000-4000-8000-000000000001\", " +
           "\"receiptFormat\": \"utf8\", \"receiptWidth\": \"" + receiptWidth + "\"}}";
}

struct HttpAnswer {
    std::string head; // status line and headers
    json::JSON body;

    // A member of "response"; "<absent>" or "<not text>" when it is no string.
    std::string member(const std::string& key)
    {
        if (!body.hasMember("response") || !body["response"].hasMember(key))
            return "<absent>";
        const json::JSON& value = body["response"][key];
        return value.kind() == json::JSON::StringValue ? value.stringValue() : "<not text>";
    }
};

inline HttpAnswer readAnswer(const std::string& http)
{
    const std::size_t headEnd = http.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return {http, json::JSON()};
    return {http.substr(0, headEnd), json::JSON::Load(http.substr(headEnd + 4))};
}
