#pragma once

// A sale as the point of sale asks for it, and the terminal's side of one
// whose payment takes no time.

#include <string>

#include "tools/terminal-sim/TerminalSimulator.h"

namespace kiv_bench {

// The HTTP POST of a sale of `amount` (in kopecks) named by `uid`.
std::string saleRequest(const std::string& amount, const std::string& uid);

// The HTTP 200 with a small JSON body that answers every sale.
const terminal_sim::Bytes& saleAnswer();

// Answers each whole HTTP request arriving in PMT_EVENT_DATA at once.
// Before the simulator starts.
void answerSalesAtOnce(terminal_sim::TerminalSimulator& terminal);

} // namespace kiv_bench
