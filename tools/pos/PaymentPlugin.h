#pragma once

#include <QPluginLoader>
#include <QString>

#include <memory>

#include "BasicPaymentProcessing.h"

// Loads a payment plug-in the way the host does: by its metadata and the
// factory's getObject, never by linking it.
class PaymentPlugin {
public:
    explicit PaymentPlugin(const QString& path);

    // A new adapter, or nothing with the reason in `error`.
    std::unique_ptr<BasicPaymentProcessing> createAdapter(QString& error);

private:
    QPluginLoader loader;
};
