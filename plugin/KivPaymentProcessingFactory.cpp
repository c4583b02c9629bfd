#include "plugin/KivPaymentProcessingFactory.h"

#include <QMetaType>

#include "plugin/Processing.h"

namespace kiv {

KivPaymentProcessingFactory::KivPaymentProcessingFactory()
{
    // The host calls getObject through the meta-object, naming its result type.
    qRegisterMetaType<AbstractPaymentProcessing*>("AbstractPaymentProcessing*");
}

AbstractPaymentProcessing* KivPaymentProcessingFactory::getObject()
{
    return new Processing;
}

} // namespace kiv
