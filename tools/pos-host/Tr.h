#pragma once

#include <QString>

namespace tr {

// Id of texts that have no entry in the translation catalogue.
extern const QString undefined;

// A text shown to the operator, with the id a translation is looked up by.
// The stand-in host has no catalogue: the text is shown as given.
class Tr {
public:
    Tr() = default;
    Tr(const QString& id, const QString& text);

    const QString& id() const { return id_; }
    const QString& text() const { return text_; }
    bool isEmpty() const { return text_.isEmpty(); }

    // Fill the lowest "%N" placeholder, like QString::arg.
    Tr arg(const Tr& value) const;
    Tr arg(const QString& value) const;

    bool operator==(const Tr& other) const { return id_ == other.id_ && text_ == other.text_; }
    bool operator!=(const Tr& other) const { return !(*this == other); }

private:
    QString id_;
    QString text_;
};

} // namespace tr
