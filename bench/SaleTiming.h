#pragma once

// The point of sale's side of a sale, timed: one connection per sale to a
// port that relays it to the terminal, the same for every relay measured.

#include <string>
#include <vector>

namespace kiv_bench {

// The HTTP request of every sale; the answer is saleAnswer().
const std::string& saleRequest();

// A connection per sale, as the point of sale makes them, or one kept open
// for all of them (socat without a fork per connection: the least a relay
// costs per exchange).
enum class Connections { PerSale, OneForAll };

struct SaleTimes {
    Connections connections = Connections::PerSale;
    int tried = 0;
    std::vector<double> milliseconds; // of the sales answered, sorted

    bool complete() const; // every sale tried and answered
    double median() const; // the two need at least one sale answered
    double percentile99() const;
};

// A fixed number of sales, one after the other with a pause between.
SaleTimes timeSales(int port, Connections connections = Connections::PerSale);

// Counts, sizes and the spread of the times.
void printSales(const SaleTimes& sales);

} // namespace kiv_bench
