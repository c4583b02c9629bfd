#pragma once

#include <QString>

#include "log4qt/logger.h"

namespace Log4Qt {

class LogManager {
public:
    // The one logger of that name, created on first request and kept for the
    // life of the process. The factory name is not used.
    static Logger* logger(const QString& name, const QString& factory = QString());
};

} // namespace Log4Qt
