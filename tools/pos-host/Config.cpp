#include "Config.h"

#include <QFile>
#include <QTextStream>
#include <QtDebug>

template <>
Config* Singleton<Config>::instance = nullptr;

namespace {

bool isComment(const QString& line)
{
    return line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'));
}

bool isSectionHeader(const QString& line)
{
    return line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'));
}

} // namespace

bool Config::load(const QString& path, const QString& group)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning().noquote() << "Config: cannot read" << path << "-" << file.errorString();
        return false;
    }

    QHash<QString, QString> loaded;
    QString prefix = group + QLatin1Char(':');
    QTextStream in(&file);
    for (int lineNumber = 1; !in.atEnd(); ++lineNumber) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || isComment(line))
            continue;
        if (isSectionHeader(line)) {
            prefix = group + QLatin1Char('.') + line.mid(1, line.size() - 2).trimmed() + QLatin1Char(':');
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString name = line.left(equals).trimmed();
        if (equals < 0 || name.isEmpty()) {
            qWarning().noquote()
                << QStringLiteral("Config: %1:%2: not a setting, skipped: %3").arg(path).arg(lineNumber).arg(line);
            continue;
        }
        loaded.insert(prefix + name, line.mid(equals + 1).trimmed());
    }

    const QString groupStart = group + QLatin1Char('.');
    const QString groupTop = group + QLatin1Char(':');
    values.removeIf([&](const QHash<QString, QString>::iterator& entry) {
        return entry.key().startsWith(groupStart) || entry.key().startsWith(groupTop);
    });
    values.insert(loaded);
    return true;
}

QString Config::getString(const QString& key, const QString& defaultValue) const
{
    return values.value(key, defaultValue);
}

int Config::getInt(const QString& key, int defaultValue) const
{
    const auto found = values.constFind(key);
    if (found == values.cend())
        return defaultValue;
    bool ok = false;
    const int value = found->toInt(&ok);
    if (!ok) {
        qWarning().noquote()
            << QStringLiteral("Config: %1 = \"%2\" is not an integer, using %3").arg(key, *found).arg(defaultValue);
        return defaultValue;
    }
    return value;
}
