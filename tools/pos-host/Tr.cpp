#include "Tr.h"

namespace tr {

const QString undefined = QStringLiteral("undefined");

Tr::Tr(const QString& id, const QString& text)
    : id_(id)
    , text_(text)
{
}

Tr Tr::arg(const Tr& value) const
{
    return arg(value.text());
}

Tr Tr::arg(const QString& value) const
{
    return Tr(id_, text_.arg(value));
}

} // namespace tr
