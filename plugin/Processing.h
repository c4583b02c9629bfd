#pragma once

#include <QObject>

#include <memory>
#include <optional>

#include "BasicPaymentProcessing.h"
#include "Tr.h"
#include "plugin/Interface.h"
#include "plugin/Response.h"

namespace kiv {

// The payment-processing object the host drives: each host operation becomes
// one terminal operation, and a money operation whose exchange broke down is
// undone by a technical reversal, retried for as long as the operator asks.
class Processing : public QObject, public BasicPaymentProcessing {
    Q_OBJECT
    Q_INTERFACES(BasicPaymentProcessing)

public:
    // Empty on success, else the text to show the operator.
    using Outcome = std::optional<tr::Tr>;

    Processing();

    // Reads the settings again on every call.
    void init(const PaymentProcessingContext& context) override;
    PaymentProcessingAnswer payment(const PaymentProcessingRequest& request) override;
    PaymentProcessingAnswer paymentWithCashAdvance(const PaymentProcessingRequest& request) override;
    PaymentProcessingAnswer cancel(const PaymentProcessingRequest& request) override;
    PaymentProcessingAnswer printReport() override;
    PaymentProcessingAnswer printShortReport() override;
    PaymentProcessingAnswer checkTotals(int shift) override;
    PaymentProcessingAnswer testConnection() override;
    bool interruptPayment() override;

    // Reverses the last request sent, by its uid.
    virtual Outcome reverseLastOperation() const;

private:
    // Answer fields filled on success besides error and message.
    enum class Filled { Nothing, Receipt, ReceiptAndCodes, All };

    PaymentProcessingAnswer answer(const http::Response& exchange, bool reverse, Filled filled) const;
    Outcome processError(const Response& response, bool reverse) const;
    bool operatorWantsRetry(const tr::Tr& reversalError) const;

    std::shared_ptr<Interface> interface;
};

} // namespace kiv
