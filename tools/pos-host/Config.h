#pragma once

#include <QHash>
#include <QString>

#include "Singleton.h"

// Settings of the host and its plug-ins, read from INI files.
//
// load(path, group) maps the file onto keys: "name=value" in section [Section]
// becomes the key "group.Section:name"; lines before the first section become
// "group:name". Names are case-sensitive; blanks around names and values are
// dropped; lines starting with ';' or '#' are comments.
class Config {
public:
    // Replaces every key of `group` with the file's contents. When the file
    // cannot be read, returns false and keeps what was loaded before.
    // Malformed lines are reported and skipped.
    bool load(const QString& path, const QString& group);

    QString getString(const QString& key, const QString& defaultValue) const;
    // A value that is not a decimal integer is reported and yields the default.
    int getInt(const QString& key, int defaultValue) const;

private:
    QHash<QString, QString> values;
};

template <>
Config* Singleton<Config>::instance;
