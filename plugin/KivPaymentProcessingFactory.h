#pragma once

#include <QObject>
#include <QtPlugin>

#include "BasicPaymentProcessing.h"

namespace kiv {

// Entry point of libProcessingKiv: the host finds it by the plug-in's
// interface id and asks it for payment-processing objects.
class KivPaymentProcessingFactory : public QObject {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "KivPaymentProcessingRegisterFactory")

public:
    KivPaymentProcessingFactory();

    // A new adapter on every call; the caller owns it.
    Q_INVOKABLE AbstractPaymentProcessing* getObject();
};

} // namespace kiv
