#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "PaymentProcessingRequest.h"

enum class PosOperation { Payment, CashAdvance, Cancel, ShortReport, Report, CloseBatch, Test, Interrupt };

// One operation asked for on the command line.
struct PosCommand {
    PosOperation operation = PosOperation::Payment;
    PaymentProcessingRequest request;
};

// The commands and their arguments, for the usage text.
QString posCommandsHelp();

// Reads "sale 1500", "refund 1500 REF" and the like; amounts are whole
// numbers in minor units above zero. On failure, returns nothing and says why in `error`.
std::optional<PosCommand> parsePosCommand(const QStringList& arguments, QString& error);
