#include "HttpResponse.h"

#include <QJsonDocument>

namespace http {

QJsonObject Response::responseObject() const
{
    return QJsonDocument::fromJson(body).object();
}

} // namespace http
