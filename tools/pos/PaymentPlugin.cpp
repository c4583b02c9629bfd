#include "tools/pos/PaymentPlugin.h"

#include <QJsonObject>
#include <QMetaObject>

namespace {

const QString factoryInterfaceId = QStringLiteral("KivPaymentProcessingRegisterFactory");
const QString factoryClassName = QStringLiteral("KivPaymentProcessingFactory");

} // namespace

PaymentPlugin::PaymentPlugin(const QString& path)
    : loader(path)
{
}

std::unique_ptr<BasicPaymentProcessing> PaymentPlugin::createAdapter(QString& error)
{
    const QJsonObject metaData = loader.metaData();
    if (metaData.isEmpty()) {
        error = QStringLiteral("%1 is not a Qt plug-in: %2").arg(loader.fileName(), loader.errorString());
        return nullptr;
    }
    const QString interfaceId = metaData.value(QStringLiteral("IID")).toString();
    const QString className = metaData.value(QStringLiteral("className")).toString();
    if (interfaceId != factoryInterfaceId || className != factoryClassName) {
        error = QStringLiteral("%1 is not a payment plug-in (interface \"%2\", class \"%3\")")
                    .arg(loader.fileName(), interfaceId, className);
        return nullptr;
    }

    QObject* factory = loader.instance();
    if (!factory) {
        error = QStringLiteral("cannot load %1: %2").arg(loader.fileName(), loader.errorString());
        return nullptr;
    }
    AbstractPaymentProcessing* adapter = nullptr;
    if (!QMetaObject::invokeMethod(factory, "getObject", Qt::DirectConnection,
            Q_RETURN_ARG(AbstractPaymentProcessing*, adapter))
        || !adapter) {
        error = QStringLiteral("the factory of %1 gave no payment object").arg(loader.fileName());
        return nullptr;
    }
    return std::unique_ptr<BasicPaymentProcessing>(adapter);
}
