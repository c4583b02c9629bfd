#pragma once

// The terminal's side of a sale whose payment takes no time.

#include "tools/terminal-sim/TerminalSimulator.h"

namespace kiv_bench {

// The HTTP 200 with a small JSON body that answers every sale.
const terminal_sim::Bytes& saleAnswer();

// Answers each whole HTTP request arriving in PMT_EVENT_DATA at once.
// Before the simulator starts.
void answerSalesAtOnce(terminal_sim::TerminalSimulator& terminal);

} // namespace kiv_bench
