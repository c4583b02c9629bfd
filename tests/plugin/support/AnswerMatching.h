#pragma once

#include <ostream>

#include "PaymentProcessingAnswer.h"

inline bool operator==(const PaymentProcessingAnswer& a, const PaymentProcessingAnswer& b)
{
    return a.error == b.error && a.message == b.message && a.receiptTexts == b.receiptTexts
        && a.authorizationCode == b.authorizationCode && a.referenceNumber == b.referenceNumber
        && a.paymentMethod == b.paymentMethod;
}

inline void PrintTo(const PaymentProcessingAnswer& answer, std::ostream* out)
{
    *out << "{error " << answer.error << ", message [" << answer.message.id().toStdString() << "] \""
         << answer.message.text().toStdString() << "\", receipt \"" << answer.receiptTexts.join('|').toStdString()
         << "\", authorization \"" << answer.authorizationCode.toStdString() << "\", reference \""
         << answer.referenceNumber.toStdString() << "\", method " << answer.paymentMethod << '}';
}

inline PaymentProcessingAnswer failedAnswer(const QString& message)
{
    PaymentProcessingAnswer answer;
    answer.error = 1;
    answer.message = tr::Tr(tr::undefined, message);
    return answer;
}
