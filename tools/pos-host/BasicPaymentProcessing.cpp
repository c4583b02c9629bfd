#include "BasicPaymentProcessing.h"

namespace {

void setMember(QSet<int>& set, int value, bool enabled)
{
    if (enabled)
        set.insert(value);
    else
        set.remove(value);
}

} // namespace

bool BasicPaymentProcessing::hasOption(EPaymentProcessingOption::Option option) const
{
    return paymentOptions.contains(option);
}

bool BasicPaymentProcessing::hasOption(processing::Option option) const
{
    return processingOptions.contains(option);
}

void BasicPaymentProcessing::setOption(EPaymentProcessingOption::Option option, bool enabled)
{
    setMember(paymentOptions, option, enabled);
}

void BasicPaymentProcessing::setOption(processing::Option option, bool enabled)
{
    setMember(processingOptions, option, enabled);
}
