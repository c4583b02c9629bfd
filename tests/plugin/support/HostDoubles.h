#pragma once

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <deque>
#include <vector>

#include "Dialog.h"
#include "HttpResponse.h"
#include "MockFactory.h"
#include "RestClient.h"

// Puts a test double into the host's mock slot for the life of the guard.
template <class T>
class Mocked {
public:
    explicit Mocked(T& object) { MockFactory<T>::mocked = &object; }
    ~Mocked() { MockFactory<T>::mocked = nullptr; }
    Mocked(const Mocked&) = delete;
    Mocked& operator=(const Mocked&) = delete;
};

// An HTTP answer carrying the terminal's "response" object.
inline http::Response terminalAnswer(const QJsonObject& response)
{
    http::Response answer;
    answer.body = QJsonDocument(QJsonObject{{QStringLiteral("response"), response}}).toJson();
    return answer;
}

inline http::Response approved()
{
    return terminalAnswer({{QStringLiteral("responseCode"), QStringLiteral("00")}});
}

inline http::Response refused(const QString& description)
{
    return terminalAnswer({{QStringLiteral("responseCode"), QStringLiteral("05")},
        {QStringLiteral("responseDescription"), description}});
}

// The connection broke: no HTTP answer.
inline http::Response brokenExchange()
{
    http::Response answer;
    answer.errorCode = 2;
    return answer;
}

// Records what is sent and answers from a script; once the script is used up
// every exchange breaks.
class FakeRestClient : public RestClient {
public:
    struct Sent {
        QUrl url;
        QJsonDocument document;
        QHash<QString, QString> headers;

        QJsonObject request() const { return document.object().value(QStringLiteral("request")).toObject(); }
        QString operation() const { return request().value(QStringLiteral("operation")).toString(); }
        QString uid() const { return request().value(QStringLiteral("uid")).toString(); }
    };

    void setTimeout(int seconds) override { timeoutSeconds = seconds; }

    bool sendJson(const QUrl& url, const QJsonDocument& document, const QHash<QString, QString>& headers) override
    {
        sent.push_back({url, document, headers});
        current = brokenExchange();
        if (!answers.empty()) {
            current = answers.front();
            answers.pop_front();
        }
        return current.errorCode == 0;
    }

    http::Response lastResponse() const override { return current; }

    std::deque<http::Response> answers;
    std::vector<Sent> sent;
    int timeoutSeconds = 0;

private:
    http::Response current;
};

// Answers from a script (true picks the first choice); once it is used up,
// picks the second. Records every question.
class ScriptedDialog : public Dialog {
public:
    struct Question {
        tr::Tr text;
        tr::Tr firstChoice;
        tr::Tr secondChoice;
    };

    bool askChoice(const tr::Tr& text, int, const tr::Tr& firstChoice, const tr::Tr& secondChoice, int) override
    {
        asked.push_back({text, firstChoice, secondChoice});
        if (choices.empty())
            return false;
        const bool first = choices.front();
        choices.pop_front();
        return first;
    }

    std::deque<bool> choices;
    std::vector<Question> asked;
};
