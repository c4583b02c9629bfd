#pragma once

// One sale over the cashier port, as the point of sale makes it, told apart
// from every other by its amount.

#include <chrono>

namespace kiv_bench {

enum class SaleOutcome {
    Answered,    // approved, with this sale's amount on the receipt
    OtherAnswer, // a whole answer, but not this sale's approval
    Closed,      // the service closed the connection before a whole answer
    NoAnswer,    // nothing whole within the point of sale's patience
};

SaleOutcome runSale(int cashierPort, unsigned number, std::chrono::milliseconds patience);

const char* describe(SaleOutcome outcome);

} // namespace kiv_bench
