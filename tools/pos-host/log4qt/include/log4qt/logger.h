#pragma once

#include <QString>

namespace Log4Qt {

// A named logger. This minimal layer only hands loggers out; it writes nothing.
class Logger {
public:
    explicit Logger(const QString& name);

    const QString& name() const { return loggerName; }

private:
    QString loggerName;
};

} // namespace Log4Qt
