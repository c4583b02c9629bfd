#pragma once

#include <QSet>
#include <QtPlugin>

#include "PaymentProcessingAnswer.h"
#include "PaymentProcessingContext.h"
#include "PaymentProcessingRequest.h"

// Capabilities a plug-in declares beyond plain payments.
namespace EPaymentProcessingOption {
enum Option { CashAdvance = 0x80000 };
} // namespace EPaymentProcessingOption

namespace processing {
enum Option { Reports = 0, Interrupt = 4 };
} // namespace processing

// The payment-processing interface the host drives. A plug-in object derives
// from QObject and from this class and declares, at construction, the request
// types and options it serves; the host offers only those.
class BasicPaymentProcessing {
public:
    virtual ~BasicPaymentProcessing() = default;

    // Called once before any other operation.
    virtual void init(const PaymentProcessingContext& context) = 0;
    virtual PaymentProcessingAnswer payment(const PaymentProcessingRequest& request) = 0;
    virtual PaymentProcessingAnswer paymentWithCashAdvance(const PaymentProcessingRequest& request) = 0;
    virtual PaymentProcessingAnswer cancel(const PaymentProcessingRequest& request) = 0;
    virtual PaymentProcessingAnswer printReport() = 0;
    virtual PaymentProcessingAnswer printShortReport() = 0;
    virtual PaymentProcessingAnswer checkTotals(int shift) = 0;
    virtual PaymentProcessingAnswer testConnection() = 0;
    virtual bool interruptPayment() = 0;

    bool acceptsPaymentType(int type) const { return paymentTypes.contains(type); }
    bool acceptsCancelType(int type) const { return cancelTypes.contains(type); }
    bool hasOption(EPaymentProcessingOption::Option option) const;
    bool hasOption(processing::Option option) const;

protected:
    void setOption(EPaymentProcessingOption::Option option, bool enabled);
    void setOption(processing::Option option, bool enabled);

    QSet<int> paymentTypes;
    QSet<int> cancelTypes;

private:
    QSet<int> paymentOptions;
    QSet<int> processingOptions;
};

// The name plug-in factories use for the object they hand out.
using AbstractPaymentProcessing = BasicPaymentProcessing;

Q_DECLARE_INTERFACE(BasicPaymentProcessing, "MerovaPaymentProcessing/1.0")
