#include "tools/pos/PosCommand.h"

#include <QtGlobal>

#include <array>
#include <limits>

namespace {

enum class Argument { Amount, Reference, Cash };

struct CommandForm {
    const char* name;
    PosOperation operation;
    int requestType;
    QList<Argument> arguments;
    const char* help;
};

const std::array<CommandForm, 10>& commandForms()
{
    using A = Argument;
    static const std::array<CommandForm, 10> forms{{
        {"sale", PosOperation::Payment, PaymentProcessingRequest::Sale, {A::Amount}, "sale AMOUNT"},
        {"refund", PosOperation::Payment, PaymentProcessingRequest::Refund, {A::Amount, A::Reference}, "refund AMOUNT REFERENCE"},
        {"creditvoucher", PosOperation::Payment, PaymentProcessingRequest::CreditVoucher, {A::Amount}, "creditvoucher AMOUNT"},
        {"cashadvance", PosOperation::CashAdvance, PaymentProcessingRequest::Sale, {A::Amount, A::Cash}, "cashadvance AMOUNT CASH"},
        {"cancel", PosOperation::Cancel, PaymentProcessingRequest::Sale, {A::Amount, A::Reference}, "cancel AMOUNT REFERENCE"},
        {"shortreport", PosOperation::ShortReport, 0, {}, "shortreport"},
        {"report", PosOperation::Report, 0, {}, "report"},
        {"closebatch", PosOperation::CloseBatch, 0, {}, "closebatch"},
        {"test", PosOperation::Test, 0, {}, "test"},
        {"interrupt", PosOperation::Interrupt, 0, {}, "interrupt"},
    }};
    return forms;
}

std::optional<qint64> positiveNumber(const QString& text, qint64 maximum)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value <= 0 || value > maximum)
        return std::nullopt;
    return value;
}

bool readArgument(Argument argument, const QString& text, PaymentProcessingRequest& request, QString& error)
{
    switch (argument) {
    case Argument::Amount:
        if (const auto amount = positiveNumber(text, std::numeric_limits<qint64>::max())) {
            request.amount = *amount;
            return true;
        }
        error = QStringLiteral("amount must be a whole number above zero, not \"%1\"").arg(text);
        return false;
    case Argument::Cash:
        if (const auto cash = positiveNumber(text, std::numeric_limits<qint32>::max())) {
            request.cashAdvanceAmount = qint32(*cash);
            return true;
        }
        error = QStringLiteral("cash amount must be a whole number from 1 to %1, not \"%2\"")
                    .arg(std::numeric_limits<qint32>::max())
                    .arg(text);
        return false;
    case Argument::Reference:
        request.referenceNumber = text;
        return true;
    }
    return false;
}

} // namespace

QString posCommandsHelp()
{
    QStringList lines;
    for (const CommandForm& form : commandForms())
        lines << QStringLiteral("  ") + QLatin1String(form.help);
    return lines.join(QLatin1Char('\n'));
}

std::optional<PosCommand> parsePosCommand(const QStringList& arguments, QString& error)
{
    if (arguments.isEmpty()) {
        error = QStringLiteral("no command given");
        return std::nullopt;
    }
    for (const CommandForm& form : commandForms()) {
        if (arguments.first() != QLatin1String(form.name))
            continue;
        if (arguments.size() - 1 != form.arguments.size()) {
            error = QStringLiteral("usage: %1").arg(QLatin1String(form.help));
            return std::nullopt;
        }
        PosCommand command;
        command.operation = form.operation;
        command.request.type = form.requestType;
        for (qsizetype i = 0; i < form.arguments.size(); ++i) {
            if (!readArgument(form.arguments[i], arguments[i + 1], command.request, error))
                return std::nullopt;
        }
        return command;
    }
    error = QStringLiteral("unknown command \"%1\"").arg(arguments.first());
    return std::nullopt;
}
