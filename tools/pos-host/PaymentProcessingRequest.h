#pragma once

#include <QString>
#include <QtGlobal>

// One payment or cancellation as the cashier entered it. Amounts are in minor units.
struct PaymentProcessingRequest {
    enum Type { Sale = 1, CreditVoucher = 2, Refund = 3 };

    int type = Sale;
    qint64 amount = 0;
    qint32 cashAdvanceAmount = 0;
    QString referenceNumber;
};
