#pragma once

#include <QString>
#include <QStringList>

#include "Tr.h"

// What a payment plug-in reports back for one operation.
struct PaymentProcessingAnswer {
    int error = 0; // 0 done, 1 failed or refused
    tr::Tr message;
    QStringList receiptTexts;
    QString authorizationCode;
    QString referenceNumber;
    int paymentMethod = 0;
};
